#include "ShellModel.h"

namespace q7rk {

ShellModel::ShellModel(QObject* parent) : QObject(parent) {
    for (const CommandSpec& c : commands::table()) {
        Places& places = m_places[std::size_t(c.id)];
        if (c.toolbarSlot > 0)
            places.button =
                ToolButton{QString::fromUtf8(c.buttonCaption), QString::fromUtf8(c.buttonTip)};
        if (c.menu != Menu::None)
            places.item = MenuItem{QString::fromUtf8(c.menuCaption), true,
                                   c.checkable ? std::optional<bool>(false) : std::nullopt};
    }
    for (int m = 0; m < MenuCount; ++m)
        m_menus[std::size_t(m)].caption = QString::fromUtf8(commands::menu(Menu(m)).caption);
}

QString ShellModel::channelStatus(int channel, const QString& phrase) {
    return QStringLiteral("第") + QString::number(channel + 1) + phrase;
}

QString ShellModel::statusText(int panel) const {
    return panel >= 1 && panel <= StatusPanelCount ? m_status[panel - 1] : QString();
}

void ShellModel::setStatusText(int panel, const QString& text) {
    if (panel < 1 || panel > StatusPanelCount || m_status[panel - 1] == text) return;
    m_status[panel - 1] = text;
    emit statusChanged(panel, text);
}

QStringList ShellModel::statusTexts() const {
    return QStringList(m_status.begin(), m_status.end());
}

QString ShellModel::recalledTest(int channel) const {
    return channel >= 0 && channel < int(m_recalled.size()) ? m_recalled[channel] : QString();
}

void ShellModel::setRecalledTest(int channel, const QString& text) {
    if (channel < 0 || channel >= int(m_recalled.size()) || m_recalled[channel] == text) return;
    m_recalled[channel] = text;
    emit recalledTestChanged(channel, text);
}

QString ShellModel::remainingTime(int channel) const {
    return channel >= 0 && channel < int(m_remaining.size()) ? m_remaining[channel] : QString();
}

void ShellModel::setRemainingTime(int channel, const QString& text) {
    if (channel < 0 || channel >= int(m_remaining.size()) || m_remaining[channel] == text) return;
    m_remaining[channel] = text;
    emit remainingTimeChanged(channel, text);
}

const ToolButton* ShellModel::button(Command command) const {
    const auto& button = m_places[std::size_t(command)].button;
    return button ? &*button : nullptr;
}

void ShellModel::setButtonCaption(Command command, const QString& caption) {
    auto& button = m_places[std::size_t(command)].button;
    if (!button || button->caption == caption) return;
    button->caption = caption;
    emit buttonChanged(command);
}

void ShellModel::setButtonEnabled(Command command, bool enabled) {
    auto& button = m_places[std::size_t(command)].button;
    if (!button || button->enabled == enabled) return;
    button->enabled = enabled;
    emit buttonChanged(command);
}

void ShellModel::setButtonVisible(Command command, bool visible) {
    auto& button = m_places[std::size_t(command)].button;
    if (!button || button->visible == visible) return;
    button->visible = visible;
    emit buttonChanged(command);
}

void ShellModel::setToolbarVisible(bool visible) {
    if (m_toolbarVisible == visible) return;
    m_toolbarVisible = visible;
    emit toolbarVisibleChanged(visible);
}

const MenuItem* ShellModel::menuItem(Command command) const {
    const auto& item = m_places[std::size_t(command)].item;
    return item ? &*item : nullptr;
}

void ShellModel::setMenuCaption(Command command, const QString& caption) {
    auto& item = m_places[std::size_t(command)].item;
    if (!item || item->caption == caption) return;
    item->caption = caption;
    emit menuItemChanged(command);
}

void ShellModel::setMenuEnabled(Command command, bool enabled) {
    auto& item = m_places[std::size_t(command)].item;
    if (!item || item->enabled == enabled) return;
    item->enabled = enabled;
    emit menuItemChanged(command);
}

void ShellModel::setMenuChecked(Command command, bool checked) {
    auto& item = m_places[std::size_t(command)].item;
    if (!item || !item->checked || *item->checked == checked) return;
    item->checked = checked;
    emit menuItemChanged(command);
}

void ShellModel::setMenuEnabled(Menu menu, bool enabled) {
    MenuItem& m = m_menus[std::size_t(menu)];
    if (m.enabled == enabled) return;
    m.enabled = enabled;
    emit menuChanged(menu);
}

} // namespace q7rk
