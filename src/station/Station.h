#pragma once

#include "calibration/CalibrationModel.h"
#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "execution/Evaluator.h"
#include "execution/RunController.h"
#include "execution/SamplingTick.h"
#include "link/ActiveLink.h"
#include "link/EthernetLink.h"
#include "link/SerialLink.h"
#include "params/PanelModel.h"
#include "plant/PlantPage.h"
#include "reports/ReportPrinter.h"
#include "reports/StoredTestDisplay.h"
#include "results/QueryModel.h"
#include "results/ResultStore.h"
#include "results/SavePass.h"
#include "settings/ChannelModel.h"
#include "settings/SampleStore.h"
#include "settings/SettingsStore.h"
#include "settings/Timing.h"
#include "shell/Prompter.h"
#include "shell/ShellModel.h"
#include "station/CommandRules.h"
#include "station/LinkSupervisor.h"
#include "station/TestLifecycle.h"

#include <QObject>
#include <QString>
#include <functional>

namespace q7rk {

// The program without its widgets: it owns every long-lived part (settings, the channel and
// panel models, charts, the shell model, both links, the run, the result files, the report
// and the calibration), wires them together once,
// runs the start-up sequence, the new-test reset and the shutdown, and performs the commands
// of the menus and the toolbar. The window, the headless runner and the tests each
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
    // 新建 as the operator gives it: refused during a run, asked when it would give up a
    // finished test that is not stored. False when nothing was reset.
    bool newTest();
    // The reset itself: clears the readouts, results and status texts of channels
    // 1..lastChannel+1 (also run before every start, once the operator said Yes).
    void newTestReset();
    // Stops a run without asking anything and closes the links; writes no setting.
    void shutdown();
    // 退出 and closing the window. True when the window may close now. A finished test
    // that is not stored is not given up without asking; during a run the operator is asked,
    // the run is stopped as the stop button does, and quitRequested follows once the
    // instrument has had both result frames (false until then).
    bool mayQuit();
    // SIGTERM or SIGINT: as 退出 answered Yes to every question but the save question, which
    // nobody is there to answer.
    void quitWithoutQuestions();
    // Where each channel's test stands.
    const TestLifecycle& tests() const { return m_tests; }
    // A finished test of the last run that nothing has stored yet.
    bool hasUnsavedResults() const { return !m_tests.unsaved().isEmpty(); }
    // The rule book applied: true when the command may run now (a refusal has been told, a
    // question answered Yes).
    bool permits(Command command, int first = 0, int last = ChannelCount - 1);

    // A menu item or toolbar button as the operator gives it.
    void perform(Command command);

    SettingsStore& settings() { return m_settings; }
    ChannelModel& channels() { return m_channels; }
    const ChannelModel& channels() const { return m_channels; }
    PanelModel& panel() { return m_panel; }
    const PanelModel& panel() const { return m_panel; }
    ChartSet& charts() { return m_charts; }
    ShellModel& shell() { return m_shell; }
    const ShellModel& shell() const { return m_shell; }
    Prompter& prompter() { return m_prompter; }
    // For windows that stay open during a run (calibration): their messages do not wait
    // while the run's timers are live.
    Prompter& runAwarePrompter() { return m_runAware; }
    const Timing& timing() const { return m_timing; }
    SerialLink& serialLink() { return m_serial; }
    EthernetLink& ethernetLink() { return m_ethernet; }
    LinkSupervisor& links() { return m_links; }
    const ActiveLink& activeLink() const { return m_activeLink; }
    RunController& run() { return m_run; }
    SampleStore& samples() { return m_samples; }
    const SampleStore& samples() const { return m_samples; }
    const RunStates& runStates() const { return m_runs; }
    CurvePlotter& plotter() { return m_plotter; }
    ResultStore& results() { return m_results; }
    QueryModel& query() { return m_query; }
    // 显示记录 of the query window: a stored test into a channel and its charts.
    DisplayOutcome displayStoredTest(const DisplayRequest& request);
    ReportPrinter& report() { return m_report; }
    CalibrationModel& calibration() { return m_calibration; }
    PlantPage& plant() { return m_plant; }
    const PlantPage& plant() const { return m_plant; }

    // The queue window's 全部补传 (no entries named) and 补传所选: a pass on its own thread,
    // held entries too, when the rules allow it now; false when refused or not started.
    bool retryPlant(const std::vector<qint64>& entries = {});

    // 保存: the finished, unsaved tests of the last run into the result files, then the TV
    // pieces to the plant; false when it refused or failed (the operator has been told why).
    bool save();
    const SaveReport& lastSave() const { return m_lastSave; }
    // Printing is the window's: it shows a preview first (or, without a printer, offers a
    // PDF). Without a window there is no printer, and the report goes to a PDF the operator
    // names.
    void setPrintPreview(std::function<void(const ReportPrinter&)> preview) {
        m_printPreview = std::move(preview);
    }

signals:
    // The window shows its help document.
    void helpRequested();
    // 退出: the window closes (and calls shutdown() on its way out).
    void quitRequested();
    // 查询 and 电压电流校准: the window opens the query or the calibration window.
    void queryRequested();
    void calibrationRequested();
    // 补传工厂数据: the window opens the queue window.
    void plantQueueRequested();
    // A save was refused for a required box left empty: the window shows it.
    void missingBoxShown(int channel, q7rk::Box box);

private:
    // Passes everything to the program's prompter, but a message that would wait for the
    // operator is shown without waiting while a run is live.
    class RunAwarePrompter : public Prompter {
    public:
        RunAwarePrompter(Prompter& inner, const RunController& run) : m_inner(inner), m_run(run) {}
        void inform(const QString& title, const QString& text) override {
            if (m_run.isRunning())
                m_inner.notify(title, text);
            else
                m_inner.inform(title, text);
        }
        void notify(const QString& title, const QString& text) override {
            m_inner.notify(title, text);
        }
        bool ask(QuestionKey question, const QString& title, const QString& text) override {
            return m_inner.ask(question, title, text);
        }
        QString saveFileName(const QString& title, const QString& proposedName,
                             const QString& filter) override {
            return m_inner.saveFileName(title, proposedName, filter);
        }
        QString openFileName(const QString& title, const QString& filter) override {
            return m_inner.openFileName(title, filter);
        }

    private:
        Prompter& m_inner;
        const RunController& m_run;
    };

    void loadChannel(int i);
    void onRunEnded();
    void finishQuitWhenStopped();
    void rescaleCharts(void (ChartSet::*command)(), bool comparison);
    void loadFactors(int i);
    void saveChartBitmaps();
    void printGroups(Command command, int first, int last);
    void printToPdf();
    void startMergedReportProgram();

    // Declaration order is construction order; each part only refers to those above it.
    Prompter& m_prompter;
    Timing m_timing;
    TestLifecycle m_tests;
    // 退出 was confirmed; while a run stops, the window waits for its result frames.
    bool m_quitConfirmed = false;
    bool m_quitSilently = false;
    bool m_awaitingResultFrames = false;
    QString m_savedStatus; // panel 7 after the last save, without the plant's note
    SettingsStore m_settings;
    ChannelModel m_channels;
    PanelModel m_panel;
    ChartSet m_charts;
    ShellModel m_shell;
    SerialLink m_serial;
    EthernetLink m_ethernet;
    ActiveLink m_activeLink{m_serial, m_ethernet};
    LinkSupervisor m_links;
    // The run: the sample store and per-channel state, the curves, the sampling tick, the
    // evaluation and the run control that drives them.
    SampleStore m_samples;
    RunStates m_runs{};
    CurvePlotter m_plotter;
    SamplingTick m_tick;
    Evaluator m_evaluator;
    RunController m_run;
    // The working directory's result files, the report of the shown tests, calibration.
    ResultStore m_results;
    SavePass m_savePass{m_results};
    QueryModel m_query{m_results};
    SaveReport m_lastSave;
    ReportPrinter m_report;
    CalibrationModel m_calibration;
    // The plant database page and the upload of finished pieces.
    PlantPage m_plant{m_channels, m_panel, m_charts, m_plotter, m_samples, m_settings, m_prompter};
    std::function<void(const ReportPrinter&)> m_printPreview;
    RunAwarePrompter m_runAware{m_prompter, m_run};
    StoredTestDisplay m_display{m_panel,   m_channels, m_charts,  m_plotter,
                                m_samples, m_results,  m_prompter};
};

} // namespace q7rk
