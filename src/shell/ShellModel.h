#pragma once

#include "shell/Commands.h"

#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <optional>

namespace q7rk {

// One button of the toolbar as it stands now.
struct ToolButton {
    QString caption;
    QString tooltip; // empty: the caption
    bool enabled = true;
    bool visible = true;
};

// One menu item, or one menu, as it stands now.
struct MenuItem {
    QString caption;
    bool enabled = true;
    std::optional<bool> checked; // a check box's mark; nothing for a plain item
};

// The window's shell without widgets: status bar panels 1..8, toolbar buttons and menu items
// by command and the menus themselves, with their captions and enabled states. The link, run
// control and the rest change captions here; the window mirrors them, and tests read them.
class ShellModel : public QObject {
    Q_OBJECT
public:
    static constexpr int StatusPanelCount = 8;
    static constexpr int LinkPanel = 7; // panel 7: link status (and its health during a run)
    static constexpr int SavePanel = 8; // panel 8: what the last save stored

    explicit ShellModel(QObject* parent = nullptr);

    // Panels 1..6 read "第", the channel number and a phrase: 第2路TV测试结束.
    static QString channelStatus(int channel, const QString& phrase);

    QString statusText(int panel) const; // panel 1..8
    void setStatusText(int panel, const QString& text);
    QStringList statusTexts() const;

    // What is left of a running channel's test, shown beside its curve (channel 0..5);
    // empty while the channel does not run.
    QString remainingTime(int channel) const;
    void setRemainingTime(int channel, const QString& text);
    // Which stored test a channel's chart shows after 显示记录 ("记录 T0012 水煮前"); empty
    // while the chart shows a test of this program's runs, or nothing.
    QString recalledTest(int channel) const;
    void setRecalledTest(int channel, const QString& text);

    // Null for a command that is not on the toolbar (or not in the menus).
    const ToolButton* button(Command command) const;
    void setButtonCaption(Command command, const QString& caption);
    void setButtonEnabled(Command command, bool enabled);
    void setButtonVisible(Command command, bool visible);
    bool toolbarVisible() const { return m_toolbarVisible; }
    void setToolbarVisible(bool visible);

    const MenuItem* menuItem(Command command) const;
    void setMenuCaption(Command command, const QString& caption);
    void setMenuEnabled(Command command, bool enabled);
    void setMenuChecked(Command command, bool checked); // a check box's mark
    const MenuItem& menu(Menu menu) const { return m_menus[std::size_t(menu)]; }
    void setMenuEnabled(Menu menu, bool enabled);

signals:
    void statusChanged(int panel, const QString& text);
    void remainingTimeChanged(int channel, const QString& text);
    void recalledTestChanged(int channel, const QString& text);
    void buttonChanged(q7rk::Command command);
    void toolbarVisibleChanged(bool visible);
    void menuItemChanged(q7rk::Command command);
    void menuChanged(q7rk::Menu menu);

private:
    // Each command's button and menu item; an absent place stays empty.
    struct Places {
        std::optional<ToolButton> button;
        std::optional<MenuItem> item;
    };

    std::array<QString, StatusPanelCount> m_status;
    std::array<QString, 6> m_remaining;
    std::array<QString, 6> m_recalled;
    std::array<Places, CommandCount> m_places;
    std::array<MenuItem, MenuCount> m_menus;
    bool m_toolbarVisible = false;
};

} // namespace q7rk
