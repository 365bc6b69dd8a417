#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <array>

namespace q7rk {

// One button of the toolbar, addressed by its key ("test13", "RJ45_connect", ...).
struct ToolButton {
    QString key;
    QString caption;
    QString tooltip;
    bool enabled = true;
};

// One entry of the menu bar. Items with an empty `parent` are top-level menus; an item
// whose name is empty is a separator.
struct MenuItem {
    QString name;
    QString caption;
    QString parent;
    QString shortcut; // QKeySequence text, e.g. "Ctrl+S"
    bool enabled = true;
    bool isSeparator() const { return name.isEmpty(); }
};

// The window's shell without widgets: status bar panels 1..7, toolbar buttons by key and
// menu items by name, with their captions and enabled states. The link, run control and
// the rest change captions here; the window mirrors them, and tests read them.
class ShellModel : public QObject {
    Q_OBJECT
public:
    static constexpr int StatusPanelCount = 7;
    static constexpr int LinkPanel = 7; // panel 7: link status and save count

    explicit ShellModel(QObject* parent = nullptr);

    // Panels 1..6 read "第", the channel number and a phrase: 第2路TV测试结束.
    static QString channelStatus(int channel, const QString& phrase);

    QString statusText(int panel) const; // panel 1..7
    void setStatusText(int panel, const QString& text);
    QStringList statusTexts() const;

    // What is left of a running channel's test, shown beside its curve (channel 0..5);
    // empty while the channel does not run.
    QString remainingTime(int channel) const;
    void setRemainingTime(int channel, const QString& text);

    const QList<ToolButton>& buttons() const { return m_buttons; }
    const ToolButton* button(const QString& key) const;
    void setButtonCaption(const QString& key, const QString& caption);
    void setButtonEnabled(const QString& key, bool enabled);
    bool toolbarVisible() const { return m_toolbarVisible; }
    void setToolbarVisible(bool visible);

    const QList<MenuItem>& menuItems() const { return m_menu; }
    const MenuItem* menuItem(const QString& name) const;
    void setMenuCaption(const QString& name, const QString& caption);
    void setMenuEnabled(const QString& name, bool enabled);

signals:
    void statusChanged(int panel, const QString& text);
    void remainingTimeChanged(int channel, const QString& text);
    void buttonChanged(const QString& key);
    void toolbarVisibleChanged(bool visible);
    void menuItemChanged(const QString& name);

private:
    ToolButton* findButton(const QString& key);
    MenuItem* findMenu(const QString& name);

    std::array<QString, StatusPanelCount> m_status;
    std::array<QString, 6> m_remaining;
    QList<ToolButton> m_buttons;
    QList<MenuItem> m_menu;
    bool m_toolbarVisible = false;
};

} // namespace q7rk
