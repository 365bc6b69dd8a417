#pragma once

#include "shell/Commands.h"

#include <QObject>
#include <array>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QToolBar;

namespace q7rk {

class Station;
class ShellModel;

// Builds the menu bar, the toolbar `Toolbar1` and the status bar `StatusBar1` of a main
// window from the command table, mirrors the ShellModel's captions, enabled states, toolbar
// visibility and status texts, and hands every menu item and button to the station by its
// command.
class ShellBinding : public QObject {
    Q_OBJECT
public:
    ShellBinding(ShellModel& shell, Station& station, QMainWindow& window,
                 QObject* parent = nullptr);

    QToolBar* toolbar() const { return m_toolbar; }

private:
    QMenu* menuFor(Menu menu, QMainWindow& window);
    void buildMenu(QMainWindow& window);
    void buildToolbar(QMainWindow& window);
    void buildStatusBar(QMainWindow& window);
    void showMenuItem(Command command);
    void showMenu(Menu menu);
    void showButton(Command command);
    void showStatus(int panel, const QString& text);

    ShellModel& m_shell;
    Station& m_station;
    std::array<QAction*, CommandCount> m_menuActions{};
    std::array<QAction*, CommandCount> m_buttonActions{};
    std::array<QMenu*, MenuCount> m_menus{};
    QToolBar* m_toolbar = nullptr;
    std::array<QLabel*, 8> m_panels{};
};

} // namespace q7rk
