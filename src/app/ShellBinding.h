#pragma once

#include <QHash>
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
// window from the ShellModel, mirrors the model's captions, enabled states, toolbar
// visibility and status texts, and forwards every menu item and button to the controller
// by its name or key.
class ShellBinding : public QObject {
    Q_OBJECT
public:
    ShellBinding(ShellModel& shell, Station& station, QMainWindow& window,
                 QObject* parent = nullptr);

    QAction* menuAction(const QString& name) const { return m_menuActions.value(name); }
    QAction* buttonAction(const QString& key) const { return m_buttonActions.value(key); }
    QToolBar* toolbar() const { return m_toolbar; }

private:
    void buildMenu(QMainWindow& window);
    void buildToolbar(QMainWindow& window);
    void buildStatusBar(QMainWindow& window);
    void showMenuItem(const QString& name);
    void showButton(const QString& key);
    void showStatus(int panel, const QString& text);

    ShellModel& m_shell;
    Station& m_station;
    QHash<QString, QAction*> m_menuActions;
    QHash<QString, QAction*> m_buttonActions;
    QToolBar* m_toolbar = nullptr;
    std::array<QLabel*, 7> m_panels{};
};

} // namespace q7rk
