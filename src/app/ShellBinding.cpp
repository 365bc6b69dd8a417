#include "ShellBinding.h"

#include "shell/ShellModel.h"
#include "station/Station.h"

#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QStatusBar>
#include <QToolBar>

namespace q7rk {

ShellBinding::ShellBinding(ShellModel& shell, Station& station, QMainWindow& window,
                           QObject* parent)
    : QObject(parent), m_shell(shell), m_station(station) {
    static_assert(std::tuple_size_v<decltype(m_panels)> == ShellModel::StatusPanelCount);
    buildMenu(window);
    buildToolbar(window);
    buildStatusBar(window);
    connect(&m_shell, &ShellModel::menuItemChanged, this, &ShellBinding::showMenuItem);
    connect(&m_shell, &ShellModel::buttonChanged, this, &ShellBinding::showButton);
    connect(&m_shell, &ShellModel::statusChanged, this, &ShellBinding::showStatus);
    connect(&m_shell, &ShellModel::toolbarVisibleChanged, m_toolbar, &QToolBar::setVisible);
}

void ShellBinding::buildMenu(QMainWindow& window) {
    QSet<QString> parents;
    for (const MenuItem& item : m_shell.menuItems())
        parents.insert(item.parent);

    QHash<QString, QMenu*> menus; // item name -> its submenu
    QMenuBar* bar = window.menuBar();
    for (const MenuItem& item : m_shell.menuItems()) {
        QMenu* owner = menus.value(item.parent);
        if (item.isSeparator()) {
            if (owner) owner->addSeparator();
            continue;
        }
        QAction* action = nullptr;
        if (parents.contains(item.name)) {
            QMenu* menu = owner ? owner->addMenu(item.caption) : bar->addMenu(item.caption);
            menu->setObjectName(item.name);
            menus.insert(item.name, menu);
            action = menu->menuAction();
        } else {
            action = owner ? owner->addAction(item.caption) : bar->addAction(item.caption);
            if (!item.shortcut.isEmpty()) action->setShortcut(QKeySequence(item.shortcut));
            connect(action, &QAction::triggered, this,
                    [this, name = item.name] { m_station.menuTriggered(name); });
        }
        action->setObjectName(item.name);
        action->setEnabled(item.enabled);
        m_menuActions.insert(item.name, action);
    }
}

void ShellBinding::buildToolbar(QMainWindow& window) {
    m_toolbar = new QToolBar(&window);
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setMovable(false);
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    // The toolbar follows the link, not the operator's context menu.
    m_toolbar->toggleViewAction()->setVisible(false);
    window.addToolBar(Qt::TopToolBarArea, m_toolbar);
    for (const ToolButton& button : m_shell.buttons()) {
        QAction* action = m_toolbar->addAction(button.caption);
        action->setObjectName(button.key);
        action->setToolTip(button.tooltip.isEmpty() ? button.caption : button.tooltip);
        action->setEnabled(button.enabled);
        if (QWidget* widget = m_toolbar->widgetForAction(action)) widget->setObjectName(button.key);
        connect(action, &QAction::triggered, this,
                [this, key = button.key] { m_station.toolbarClicked(key); });
        m_buttonActions.insert(button.key, action);
    }
    m_toolbar->setVisible(m_shell.toolbarVisible());
}

void ShellBinding::buildStatusBar(QMainWindow& window) {
    QStatusBar* bar = window.statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    for (int panel = 1; panel <= ShellModel::StatusPanelCount; ++panel) {
        auto* label = new QLabel(m_shell.statusText(panel), bar);
        label->setObjectName(QStringLiteral("panel%1").arg(panel));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMinimumWidth(110);
        // The link panel takes what is left, like the last panel of the original bar.
        bar->addPermanentWidget(label, panel == ShellModel::LinkPanel ? 1 : 0);
        m_panels[panel - 1] = label;
    }
}

void ShellBinding::showMenuItem(const QString& name) {
    QAction* action = m_menuActions.value(name);
    const MenuItem* item = m_shell.menuItem(name);
    if (!action || !item) return;
    action->setText(item->caption);
    action->setEnabled(item->enabled);
}

void ShellBinding::showButton(const QString& key) {
    QAction* action = m_buttonActions.value(key);
    const ToolButton* button = m_shell.button(key);
    if (!action || !button) return;
    action->setText(button->caption);
    action->setToolTip(button->tooltip.isEmpty() ? button->caption : button->tooltip);
    action->setEnabled(button->enabled);
}

void ShellBinding::showStatus(int panel, const QString& text) {
    if (panel >= 1 && panel <= ShellModel::StatusPanelCount) m_panels[panel - 1]->setText(text);
}

} // namespace q7rk
