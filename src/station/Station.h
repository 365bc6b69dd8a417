#pragma once

#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "execution/Evaluator.h"
#include "execution/RunController.h"
#include "execution/SamplingTick.h"
#include "link/EthernetLink.h"
#include "link/SerialLink.h"
#include "params/PanelModel.h"
#include "settings/ChannelModel.h"
#include "settings/SampleStore.h"
#include "settings/SettingsStore.h"
#include "settings/Timing.h"
#include "shell/ShellModel.h"

#include <QObject>
#include <QString>

namespace q7rk {

class Prompter;

// The program without its widgets: it owns every long-lived part (settings, the channel and
// panel models, charts, the shell model, both links, the run), wires them together once,
// runs the start-up sequence, the new-test reset and the shutdown, and dispatches menu items
// (by name) and toolbar buttons (by key). The window, the headless runner and the tests each
// hold one and differ only in the Prompter and Timing they hand in.
class Station : public QObject {
    Q_OBJECT
public:
    Station(const QString& settingsPath, Prompter& prompter, const Timing& timing = Timing{},
            QObject* parent = nullptr);
    ~Station() override;

    // Loads the settings of channels 1-3 (the calibration factors of all six) into the
    // models, restores the group options, frames the charts and sets up toolbar and menus.
    void startUp();
    // 新建: clears the readouts, results and status texts of channels 1..lastChannel+1.
    void newTestReset();
    // Stops a run without asking anything and closes the links; writes no setting.
    void shutdown();
    // 退出 and closing the window: a finished test whose results were not saved is not
    // given up without asking. False when the operator stays.
    bool mayQuit();
    // The last run finished at least one channel's test and nothing has saved it since.
    bool hasUnsavedResults() const { return m_unsavedResults; }
    // Called once the save pass has stored the last run's results.
    void markResultsSaved() { m_unsavedResults = false; }

    // A toolbar button by key; unknown keys do nothing.
    void toolbarClicked(const QString& key);
    // A menu item by name; items whose work comes later do nothing yet.
    void menuTriggered(const QString& name);

    SettingsStore& settings() { return m_settings; }
    ChannelModel& channels() { return m_channels; }
    const ChannelModel& channels() const { return m_channels; }
    PanelModel& panel() { return m_panel; }
    const PanelModel& panel() const { return m_panel; }
    ChartSet& charts() { return m_charts; }
    ShellModel& shell() { return m_shell; }
    const ShellModel& shell() const { return m_shell; }
    Prompter& prompter() { return m_prompter; }
    const Timing& timing() const { return m_timing; }
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
    void noteRunEnded();
    void rescaleCharts(void (ChartSet::*command)(), bool comparison);
    void loadFactors(int i);
    void saveChartBitmaps();

    // Declaration order is construction order; each part only refers to those above it.
    Prompter& m_prompter;
    Timing m_timing;
    bool m_unsavedResults = false; // the last run finished a test that nothing has saved
    SettingsStore m_settings;
    ChannelModel m_channels;
    PanelModel m_panel;
    ChartSet m_charts;
    ShellModel m_shell;
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
