#include "ShellBinding.h"

#include "app/UiLog.h"
#include "shell/ShellModel.h"
#include "station/Station.h"

#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
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
    connect(&m_shell, &ShellModel::menuChanged, this, &ShellBinding::showMenu);
    connect(&m_shell, &ShellModel::buttonChanged, this, &ShellBinding::showButton);
    connect(&m_shell, &ShellModel::statusChanged, this, &ShellBinding::showStatus);
    connect(&m_shell, &ShellModel::toolbarVisibleChanged, m_toolbar, &QToolBar::setVisible);
}

// A menu is made where its first item goes, so the table's order is the menus' order.
QMenu* ShellBinding::menuFor(Menu id, QMainWindow& window) {
    QMenu*& menu = m_menus[std::size_t(id)];
    if (menu) return menu;
    const MenuSpec& spec = commands::menu(id);
    const QString caption = m_shell.menu(id).caption;
    menu = spec.parent == Menu::Bar ? window.menuBar()->addMenu(caption)
                                    : menuFor(spec.parent, window)->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(spec.objectName));
    menu->menuAction()->setObjectName(QString::fromLatin1(spec.objectName));
    menu->menuAction()->setEnabled(m_shell.menu(id).enabled);
    return menu;
}

void ShellBinding::buildMenu(QMainWindow& window) {
    for (const CommandSpec& c : commands::table()) {
        if (c.menu == Menu::None) continue;
        QMenu* owner = c.menu == Menu::Bar ? nullptr : menuFor(c.menu, window);
        if (owner && c.separatorBefore) owner->addSeparator();
        const MenuItem& item = *m_shell.menuItem(c.id);
        QAction* action =
            owner ? owner->addAction(item.caption) : window.menuBar()->addAction(item.caption);
        if (*c.shortcut) action->setShortcut(QKeySequence(QString::fromLatin1(c.shortcut)));
        connect(action, &QAction::triggered, this, [this, id = c.id] { m_station.perform(id); });
        action->setObjectName(QString::fromLatin1(c.menuName));
        action->setEnabled(item.enabled);
        action->setCheckable(item.checked.has_value());
        action->setChecked(item.checked.value_or(false));
        m_menuActions[std::size_t(c.id)] = action;
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
    for (Command id : commands::toolbar()) {
        const QString name = QString::fromLatin1(commands::spec(id).buttonName);
        QAction* action = m_toolbar->addAction(QString());
        action->setObjectName(name);
        if (QWidget* widget = m_toolbar->widgetForAction(action)) widget->setObjectName(name);
        connect(action, &QAction::triggered, this, [this, id] { m_station.perform(id); });
        m_buttonActions[std::size_t(id)] = action;
        showButton(id);
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

void ShellBinding::showMenuItem(Command command) {
    QAction* action = m_menuActions[std::size_t(command)];
    const MenuItem* item = m_shell.menuItem(command);
    if (!action || !item) return;
    action->setText(item->caption);
    action->setEnabled(item->enabled);
    // A check box shows the model's mark, not the one a click toggled on its own.
    action->setChecked(item->checked.value_or(false));
}

void ShellBinding::showMenu(Menu id) {
    if (QMenu* menu = m_menus[std::size_t(id)]) {
        menu->menuAction()->setText(m_shell.menu(id).caption);
        menu->menuAction()->setEnabled(m_shell.menu(id).enabled);
    }
}

void ShellBinding::showButton(Command command) {
    QAction* action = m_buttonActions[std::size_t(command)];
    const ToolButton* button = m_shell.button(command);
    if (!action || !button) return;
    action->setText(button->caption);
    action->setToolTip(button->tooltip.isEmpty() ? button->caption : button->tooltip);
    action->setEnabled(button->enabled);
    action->setVisible(button->visible);
}

// The model tells only changes: each new text is logged once.
void ShellBinding::showStatus(int panel, const QString& text) {
    if (panel < 1 || panel > ShellModel::StatusPanelCount) return;
    m_panels[panel - 1]->setText(text);
    uilog::status(m_panels[panel - 1]->objectName(), text);
}

} // namespace q7rk
