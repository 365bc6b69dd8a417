#pragma once

#include "app/HelpWindow.h"
#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "params/PanelModel.h"
#include "settings/ChannelModel.h"
#include "settings/SampleStore.h"
#include "settings/SettingsStore.h"
#include "settings/Timing.h"
#include "shell/MainController.h"
#include "shell/Prompter.h"
#include "shell/ShellModel.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QTabWidget;

namespace q7rk {

class PanelBinding;
class ShellBinding;

// `main`: owns the program's long-lived objects, builds the widgets, binds them to the
// models and hands clicks to the controller. Nothing here decides anything.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* Title = "Q-7RK-M-2011060705ERP-1.15智能TV仪测试系统";

    // Without a prompter the window shows real message boxes.
    explicit MainWindow(const QString& settingsPath = SettingsStore::defaultFilePath(),
                        std::unique_ptr<Prompter> prompter = nullptr,
                        const Timing& timing = Timing{}, QWidget* parent = nullptr);
    ~MainWindow() override;

    SettingsStore& settings() { return m_settings; }
    ChannelModel& channels() { return m_channels; }
    PanelModel& panel() { return m_panel; }
    ChartSet& charts() { return m_charts; }
    SampleStore& samples() { return m_controller.samples(); }
    CurvePlotter& plotter() { return m_controller.plotter(); }
    ShellModel& shell() { return m_shell; }
    Prompter& prompter() { return *m_prompter; }
    MainController& controller() { return m_controller; }
    QTabWidget* tabs() const { return m_tabs; }
    // The help window once it has been asked for; null before.
    HelpWindow* helpWindow() const { return m_help; }

public slots:
    void showHelp();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildTabs();
    void tabChanged(int tab);
    void placeOnScreen();

    // Declaration order is construction order; each object only refers to those above it.
    SettingsStore m_settings;
    ChannelModel m_channels;
    PanelModel m_panel;
    ChartSet m_charts;
    ShellModel m_shell;
    std::unique_ptr<Prompter> m_prompter;
    MainController m_controller;
    // The bindings go first on the way out, so no widget event reaches a model being torn
    // down.
    std::unique_ptr<PanelBinding> m_binding;
    std::unique_ptr<ShellBinding> m_shellBinding;
    QTabWidget* m_tabs = nullptr;
    QPointer<HelpWindow> m_help;
};

} // namespace q7rk
