#pragma once

#include "charts/CurvePlotter.h"
#include "execution/Evaluator.h"
#include "execution/RunController.h"
#include "execution/SamplingTick.h"
#include "link/EthernetLink.h"
#include "link/SerialLink.h"
#include "settings/SampleStore.h"
#include "settings/Timing.h"

#include <QObject>
#include <QString>

namespace q7rk {

class ChartSet;
class PanelModel;
class Prompter;
class SettingsStore;
class ShellModel;
struct ChannelModel;

// The main window's behaviour without its widgets: the start-up sequence, the dispatch of
// menu items (by name) and toolbar buttons (by key), the new-test reset and the shutdown.
// The window owns it together with the models it is given, binds the widgets to those
// models and forwards clicks here.
class MainController : public QObject {
    Q_OBJECT
public:
    MainController(SettingsStore& settings, ChannelModel& channels, PanelModel& panel,
                   ChartSet& charts, ShellModel& shell, Prompter& prompter,
                   const Timing& timing = Timing{}, QObject* parent = nullptr);

    // Loads the settings of channels 1-3 into the model and the panel, restores the group
    // options, frames the charts and sets up the toolbar and menus.
    void startUp();
    // 新建: clears the readouts, results and status texts of channels 1..lastChannel+1.
    void newTestReset();
    // Closes the links; writes no setting.
    void shutdown();

    // A toolbar button by key; unknown keys do nothing.
    void toolbarClicked(const QString& key);
    // A menu item by name; items whose work comes later do nothing yet.
    void menuTriggered(const QString& name);

    SerialLink& serialLink() { return m_serial; }
    EthernetLink& ethernetLink() { return m_ethernet; }
    RunController& run() { return m_run; }
    SampleStore& samples() { return m_samples; }
    const SampleStore& samples() const { return m_samples; }
    const RunStates& runStates() const { return m_runs; }
    CurvePlotter& plotter() { return m_plotter; }

signals:
    // The window shows its help document.
    void helpRequested();
    // 退出: the window closes (and calls shutdown() on its way out).
    void quitRequested();

private:
    void loadChannel(int i);

    SettingsStore& m_settings;
    ChannelModel& m_channels;
    PanelModel& m_panel;
    ChartSet& m_charts;
    ShellModel& m_shell;
    Prompter& m_prompter;
    Timing m_timing;
    SerialLink m_serial;
    EthernetLink m_ethernet;
    // The run: the sample store and per-channel state, the curves, the sampling tick, the
    // evaluation and the run control that drives them.
    SampleStore m_samples;
    RunStates m_runs{};
    CurvePlotter m_plotter;
    SamplingTick m_tick;
    Evaluator m_evaluator;
    RunController m_run;
};

} // namespace q7rk
