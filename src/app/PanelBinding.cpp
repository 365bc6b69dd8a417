#include "PanelBinding.h"

#include "EntryHint.h"
#include "app/UiLog.h"
#include "kinds/TestKindDescription.h"
#include "params/TestOnPanel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <algorithm>

namespace q7rk {

namespace {

constexpr ReadoutLabel kLabels[] = {ReadoutLabel::Label49, ReadoutLabel::Label50,
                                    ReadoutLabel::Label51, ReadoutLabel::Label52};
constexpr Option kOptions[] = {Option::BeforeBoiling, Option::AfterBoiling,    Option::TvTest,
                               Option::LeakageTest,   Option::ElectrolyteTest, Option::Linked,
                               Option::NotLinked};

int labelSlot(ReadoutLabel label) {
    return int(label) - int(ReadoutLabel::Label49);
}

// Replaces a line edit's text without throwing the operator's cursor to the end when the
// model rewrites the box being typed in (Text2 checks on every change).
void replaceText(QLineEdit* edit, const QString& text) {
    if (edit->text() == text) return;
    const int cursor = edit->cursorPosition();
    edit->setText(text);
    if (edit->hasFocus()) edit->setCursorPosition(std::min<int>(cursor, int(text.size())));
}

QColor verdictColour(const QString& verdict) {
    if (verdict == QStringLiteral("合格")) return QColor(0, 150, 0);
    if (verdict == QStringLiteral("不合格")) return QColor(210, 0, 0);
    return QColor(150, 150, 150);
}

bool isVerdictBox(Box box) {
    return box == Box::TvVerdict || box == Box::LeakageVerdict || box == Box::ElectrolyteVerdict;
}

} // namespace

PanelBinding::PanelBinding(PanelModel& panel, QObject* parent) : QObject(parent), m_panel(panel) {
    connect(&m_panel, &PanelModel::textChanged, this, &PanelBinding::showText);
    connect(&m_panel, &PanelModel::enabledChanged, this, &PanelBinding::showEnabled);
    connect(&m_panel, &PanelModel::labelChanged, this, &PanelBinding::showLabel);
    connect(&m_panel, &PanelModel::comboItemsChanged, this, &PanelBinding::showComboItems);
    connect(&m_panel, &PanelModel::optionChanged, this, &PanelBinding::showOption);
    connect(&m_panel, &PanelModel::readOnlyChanged, this, &PanelBinding::showReadOnly);
    connect(&m_panel, &PanelModel::optionEnabledChanged, this, &PanelBinding::showOptionEnabled);
    connect(&m_panel, &PanelModel::entryReplaced, this, &PanelBinding::showReplacement);
    // The badge follows the verdict box, and the kind switch (which re-captions the
    // readout labels) may make another box the verdict.
    connect(&m_panel, &PanelModel::textChanged, this, [this](int channel, Box box) {
        if (isVerdictBox(box)) showVerdict(channel);
    });
    connect(&m_panel, &PanelModel::labelChanged, this,
            [this](int channel) { showVerdict(channel); });
}

void PanelBinding::registerBox(int channel, Box box, QWidget* widget) {
    m_boxes[channel][boxIndex(box)] = widget;
    m_keys.insert(widget, BoxKey{channel, box});
    widget->installEventFilter(this);
}

void PanelBinding::addLineEdit(int channel, Box box, QLineEdit* edit) {
    registerBox(channel, box, edit);
    connect(edit, &QLineEdit::textEdited, this, [this, channel, box, edit](const QString& text) {
        if (m_updating) return;
        hideHints();
        const QScopedValueRollback<const QLineEdit*> typing(m_typingIn, edit);
        m_panel.type(channel, box, text);
        // A refused entry does not stay on screen as if it counted.
        if (m_panel.text(channel, box) != text) {
            qCDebug(uiLog).noquote()
                << "entry refused in" << boxName(box) << "of channel" << channel + 1;
            showText(channel, box, m_panel.text(channel, box));
        }
    });
    // Return leaves the box as far as the checks are concerned; focus-out is the filter's.
    connect(edit, &QLineEdit::returnPressed, this,
            [this, channel, box] { m_panel.leave(channel, box); });
}

void PanelBinding::addCombo(int channel, Box box, QComboBox* combo) {
    registerBox(channel, box, combo);
    connect(combo, &QComboBox::currentTextChanged, this, [this, channel, box](const QString& text) {
        if (!m_updating) m_panel.setText(channel, box, text);
    });
}

void PanelBinding::addLabel(int channel, ReadoutLabel label, QLabel* caption) {
    m_labels[channel][labelSlot(label)] = caption;
}

void PanelBinding::addOption(Option option, int group, QAbstractButton* button) {
    m_options[group][int(option)] = button;
    // A checked button clicked again would uncheck itself; the model decides what is
    // selected, so the button always ends showing the model's state.
    connect(button, &QAbstractButton::clicked, this, [this, option, group] {
        m_panel.clickOption(option, group);
        showOption(option, group, m_panel.option(option, group));
    });
}

void PanelBinding::addVerdictBadge(int channel, QLabel* badge) {
    m_badges[channel] = badge;
    badge->setAutoFillBackground(true);
    badge->setAlignment(Qt::AlignCenter);
    QFont font = badge->font();
    font.setBold(true);
    badge->setFont(font);
    showVerdict(channel);
}

void PanelBinding::refresh() {
    for (int k = 0; k < ChannelCount; ++k) {
        for (int b = 1; b <= BoxCount; ++b) {
            const Box box = Box(b);
            if (!m_boxes[k][boxIndex(box)]) continue;
            if (box == Box::SamplePosition || box == Box::ElectrolyteSamplePosition)
                showComboItems(k, box);
            showText(k, box, m_panel.text(k, box));
            showEnabled(k, box, m_panel.isEnabled(k, box));
            if (m_panel.isReadOnly(k, box)) showReadOnly(k, box, true);
        }
        for (ReadoutLabel label : kLabels)
            showLabel(k, label, m_panel.labelCaption(k, label));
        showVerdict(k);
    }
    for (int g = 0; g < GroupCount; ++g) {
        for (Option option : kOptions) {
            showOption(option, g, m_panel.option(option, g));
            showOptionEnabled(option, g, m_panel.isOptionEnabled(option, g));
        }
    }
}

void PanelBinding::showReadOnly(int channel, Box box, bool readOnly) {
    if (auto* edit = qobject_cast<QLineEdit*>(m_boxes[channel][boxIndex(box)]))
        edit->setReadOnly(readOnly);
}

void PanelBinding::showOptionEnabled(Option option, int group, bool enabled) {
    if (QAbstractButton* button = m_options[group][int(option)]) button->setEnabled(enabled);
}

void PanelBinding::showVerdict(int channel) {
    QLabel* badge = m_badges[channel];
    if (!badge) return;
    const QString verdict = verdictOf(m_panel, channel);
    badge->setText(verdict);
    QPalette palette = badge->palette();
    palette.setColor(QPalette::Window, verdictColour(verdict));
    palette.setColor(QPalette::WindowText, Qt::white);
    badge->setPalette(palette);
}

// The page the box sits on: the content of its scroll area, or the tab page itself.
static QWidget* pageOf(QWidget* box) {
    QWidget* w = box;
    while (QWidget* parent = w->parentWidget()) {
        if (qobject_cast<QStackedWidget*>(parent)) return w;
        if (parent->parentWidget() && qobject_cast<QScrollArea*>(parent->parentWidget())) return w;
        w = parent;
    }
    return w;
}

// The hint says what the box now holds, and for the formation voltage that the slip went
// nowhere else.
void PanelBinding::showReplacement(int channel, Box box, const QString& replacement,
                                   bool restored) {
    QWidget* widget = m_boxes[channel][boxIndex(box)];
    if (!widget || !widget->isVisible()) return;
    QPointer<EntryHint>& hint = m_hints[widget];
    if (!hint) hint = new EntryHint(pageOf(widget));
    hint->setProperty("replacement", replacement);
    hint->showBeside(
        widget, restored ? QStringLiteral("输入无效，已恢复为 %1，其他通道未改").arg(replacement)
                         : QStringLiteral("输入无效，已改为 ") + replacement);
}

void PanelBinding::hideHints() {
    for (const QPointer<EntryHint>& hint : std::as_const(m_hints))
        if (hint) hint->hide();
}

void PanelBinding::showText(int channel, Box box, const QString& text) {
    QWidget* widget = m_boxes[channel][boxIndex(box)];
    if (!widget) return;
    // A hint about a text the box no longer shows would mislead.
    if (EntryHint* hint = m_hints.value(widget);
        hint && hint->property("replacement").toString() != text)
        hint->hide();
    const QScopedValueRollback guard(m_updating, true);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        replaceText(edit, text);
        // A copy from a linked channel into the box the operator is entering (the click that
        // left the other box gave it the focus) is selected once the click has placed the
        // cursor: what is typed next replaces it instead of joining it ("zhangsan" + "zhangsan").
        if (edit->hasFocus() && edit != m_typingIn)
            QTimer::singleShot(0, edit, [edit] { edit->selectAll(); });
    }
    else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->currentText() != text)
        combo->setEditText(text);
}

void PanelBinding::showEnabled(int channel, Box box, bool enabled) {
    if (QWidget* widget = m_boxes[channel][boxIndex(box)]) widget->setEnabled(enabled);
}

void PanelBinding::showLabel(int channel, ReadoutLabel label, const QString& caption) {
    if (QLabel* widget = m_labels[channel][labelSlot(label)]) widget->setText(caption);
}

void PanelBinding::showComboItems(int channel, Box combo) {
    auto* widget = qobject_cast<QComboBox*>(m_boxes[channel][boxIndex(combo)]);
    if (!widget) return;
    // Filling the list selects its first item; the box keeps the model's text.
    const QScopedValueRollback guard(m_updating, true);
    widget->clear();
    widget->addItems(m_panel.comboItems(channel, combo));
    widget->setEditText(m_panel.text(channel, combo));
}

void PanelBinding::showOption(Option option, int group, bool value) {
    if (QAbstractButton* button = m_options[group][int(option)]) button->setChecked(value);
}

bool PanelBinding::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // A menu, a context menu or a switch to another application does not leave the box.
        const bool leaves = reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason &&
                            reason != Qt::ActiveWindowFocusReason;
        const auto it = m_keys.constFind(watched);
        if (leaves && it != m_keys.constEnd()) m_panel.leave(it->channel, it->box);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace q7rk
