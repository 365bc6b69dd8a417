#include "Station.h"

#include "calibration/CalibrationModel.h"
#include "charts/ChartSet.h"
#include "charts/CurvePlotter.h"
#include "execution/Evaluator.h"
#include "execution/LinkHealth.h"
#include "execution/RemainingTime.h"
#include "execution/RunController.h"
#include "execution/RunEvents.h"
#include "execution/SamplingTick.h"
#include "kinds/TestKindDescription.h"
#include "link/ActiveLink.h"
#include "link/EthernetLink.h"
#include "link/SerialLink.h"
#include "params/PanelModel.h"
#include "params/StoredBoxes.h"
#include "plant/PlantInput.h"
#include "plant/PlantPage.h"
#include "plant/PlantQueuePresenter.h"
#include "plant/PlantTexts.h"
#include "reports/ReportPrinter.h"
#include "reports/StoredTestDisplay.h"
#include "results/MeasuredRecord.h"
#include "results/QueryModel.h"
#include "results/ResultStore.h"
#include "settings/ChannelModel.h"
#include "settings/ProgramTitle.h"
#include "settings/SampleStore.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "settings/Timing.h"
#include "shell/Prompter.h"
#include "shell/ShellModel.h"
#include "station/CommandGate.h"
#include "station/CommandRules.h"
#include "station/DiagnosticsExport.h"
#include "station/InstrumentAddress.h"
#include "station/LinkSupervisor.h"
#include "station/LinkTracing.h"
#include "station/NewTestReset.h"
#include "station/OldDataImport.h"
#include "station/OldSettingsImport.h"
#include "station/ParametersBeforeDisplay.h"
#include "station/PieceUploadWorkflow.h"
#include "station/QuitGuard.h"
#include "station/ReportActions.h"
#include "station/RunAwarePrompter.h"
#include "station/RunConditionsRecorder.h"
#include "station/RunPresenter.h"
#include "station/SaveWorkflow.h"
#include "station/StartRun.h"
#include "station/StartupLoader.h"
#include "station/StoredPieceUpload.h"
#include "station/TestLifecycle.h"
#include "station/TestRecovery.h"
#include "version/Version.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

namespace q7rk {

namespace {

// 关于: which build answers, for a call about a fault (the Qt it runs on may be newer than the
// one it was built with).
QString aboutText() {
    return programTitle::full() +
           QStringLiteral("\n版本 %1\nQt %2（构建时 %3）\n构建日期 %4")
               .arg(QString::fromLatin1(version::Number), QString::fromLatin1(qVersion()),
                    QStringLiteral(QT_VERSION_STR), QString::fromLatin1(version::BuildDate));
}

} // namespace

struct Station::Parts {
    Parts(const QString& settingsPath, Prompter& prompter, const Timing& timing)
        : m_prompter(prompter), m_timing(timing), m_settings(settingsPath),
          m_panel(m_channels, m_settings), m_charts(m_channels, m_panel, m_settings),
          m_serial(m_settings, timing), m_ethernet(timing),
          m_links(m_serial, m_ethernet, m_activeLink, m_panel, m_shell, prompter),
          m_plotter(m_charts, m_channels, m_panel, m_samples, m_settings),
          m_run(m_channels, m_runs, m_tick, m_evaluator, m_events, m_activeLink, timing),
          m_start(m_channels, m_runs, m_panel, m_shell, prompter, m_activeLink, m_run),
          m_report(m_panel, m_charts, m_plotter, m_samples, m_settings),
          m_calibration(m_channels, m_settings), m_oldData([this] {
              return QFileInfo(m_results.locateDbFile(TestKind::Tv)).absolutePath();
          }) {}

    // Declaration order is construction order; each part only refers to those above it.
    Prompter& m_prompter;
    QString m_signerGiven; // the name the operator gave while none was on screen
    ParametersBeforeDisplay m_paramsBeforeDisplay;
    Timing m_timing;
    TestLifecycle m_tests;
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
    ChannelTests m_runs{};
    RunEvents m_events;
    CurvePlotter m_plotter;
    SamplingTick m_tick{m_channels, m_samples, m_runs, m_events, MeasurementTables{}};
    Evaluator m_evaluator{m_channels, m_samples, m_runs, m_events, m_settings};
    RunController m_run;
    // What the operator sees of the run, and how a run starts.
    RunPresenter m_presenter{m_events, m_runs, m_samples, m_panel, m_plotter, m_shell, m_settings};
    StartRun m_start;
    // Counts the run's polls and lost replies; first to hear of its end, before any save.
    RunConditionsRecorder m_conditions{m_run, m_activeLink, m_channels};
    // Records of the link: the session's (--trace) and the next run's (the check box).
    LinkTracing m_tracing{
        m_serial, m_ethernet, m_activeLink,
        m_run,    m_shell,    QFileInfo(QCoreApplication::applicationFilePath()).fileName()};
    // The working directory's result files, the report of the shown tests, calibration.
    ResultStore m_results;
    QueryModel m_query{m_results};
    ReportPrinter m_report;
    CalibrationModel m_calibration;
    // The plant database page, its outbox and the upload of finished pieces.
    PlantPage m_plant{m_panel, m_settings, m_prompter};
    PlantQueuePresenter m_plantQueue{m_plant, m_prompter};
    PieceUploadWorkflow m_pieceUpload{m_plant, m_plantQueue, m_prompter};
    RunAwarePrompter m_runAware{m_prompter, m_run};
    StoredTestDisplay m_display{m_panel,   m_channels, m_runs,    m_charts,
                                m_plotter, m_samples,  m_results, m_prompter};
    // The jobs, each over the parts above.
    CommandGate m_gate{m_tests, m_run, m_prompter};
    StartupLoader m_startup{m_settings, m_channels, m_panel,     m_charts,
                            m_shell,    m_plant,    m_plantQueue};
    NewTestReset m_reset{m_tests, m_channels, m_panel, m_shell, m_runs, m_plotter, m_charts};
    SaveWorkflow m_saving{{m_gate, m_tests, m_results, m_channels, m_panel, m_run, m_conditions,
                           m_pieceUpload, m_settings, m_shell, m_prompter}};
    QuitGuard m_quit{m_gate, m_run, m_plantQueue};
    ReportActions m_reports{m_gate, m_report, m_charts, m_settings, m_run, m_plotter, m_prompter};
    TestRecovery m_recovery{
        {m_tests, m_channels, m_panel, m_samples, m_conditions, m_display, m_prompter, m_runAware}};
    OldDataImport m_oldData;
    OldSettingsImport m_oldSettings;
    // The archive for support, of the folders and files this station works with.
    DiagnosticsExport m_diagnostics{
        m_runAware, [this] {
            DiagnosticsInput input;
            input.dataFolder = QFileInfo(m_results.locateDbFile(TestKind::Tv)).absolutePath();
            input.settingsFile = QFileInfo(m_settings.filePath()).absoluteFilePath();
            input.queueFile = QFileInfo(m_plantQueue.outbox().path()).absoluteFilePath();
            input.program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
            return input;
        }};
};

Station::Station(const QString& settingsPath, Prompter& prompter, const Timing& timing,
                 QObject* parent)
    : QObject(parent), m_parts(std::make_unique<Parts>(settingsPath, prompter, timing)) {
    m_parts->m_start.setNewTestReset([this] {
        newTestReset();
        // Only a start of channels 1-3 begins a new foil's pieces.
        if (m_parts->m_channels.lastChannel == ChannelsPerGroup - 1)
            m_parts->m_plant.resetPieceGrid();
    });
    // A test that runs or waits to be stored keeps the set values and marks it was run with:
    // they are what its record will say. While a run lasts every channel is held: the poll
    // carries the set values of all six, in the group or not.
    m_parts->m_tests.setObserver([this](int k, TestState state) {
        holdChannels();
        m_parts->m_report.setRecalled(k, state == TestState::Recalled);
        m_parts->m_recovery.stateChanged(k, state);
        if (state != TestState::Recalled) m_parts->m_shell.setRecalledTest(k, {});
    });
    connect(&m_parts->m_run, &RunController::channelJudged, this, [this](int k) {
        // The sample that judged it is the newest: the channel's curve ends there.
        m_parts->m_tests.judged(k, measuredRecord(m_parts->m_runs[k], m_parts->m_samples, k,
                                                  m_parts->m_channels.sampleIndex - 1));
        m_parts->m_recovery.judged(k);
    });
    m_parts->m_plant.setNewTestReset([this] { newTestReset(); });
    // Opening or deleting a foil resets the channels and writes their numbers: never during a
    // run, and not over a finished test that is not stored without asking.
    m_parts->m_plant.setCommandGate(
        [this](Command command) { return permits(command, 0, m_parts->m_channels.lastChannel); });
    // An opened foil's curves are shown as recalled tests of their channels.
    connect(&m_parts->m_plant, &PlantPage::curveRecalled, this,
            [this](int k, const QString& serial, const std::vector<float>& columns) {
                m_parts->m_display.showPlantCurve(k, columns);
                recall(k, serial);
            });
    // As the old program did, the cursor of the sampling is left at the length of the last
    // piece's curve sent to the plant; the poll carries it to the instrument until the next run.
    connect(&m_parts->m_pieceUpload, &PieceUploadWorkflow::sending, this,
            [this](int, int columns) { m_parts->m_channels.sampleIndex = qint16(columns); });
    connect(&m_parts->m_plantQueue, &PlantQueuePresenter::queueRetried, this,
            [this](int, int left) {
                m_parts->m_saving.plantQueueRetried(left);
                m_parts->m_quit.finishWhenStopped(); // a quit may have waited for the pass
            });
    // A start gives up the finished tests not stored, in its group (the reset) and outside
    // it (only the last run's tests are saved): the operator is asked first.
    m_parts->m_start.setGate(
        [this](Command group) { return permits(group) && parametersForStart(); });
    // Corrections, deletions and restores are signed with the name on screen when the change
    // is made (channel 1's operator of the record's kind), or the one the operator gave when
    // none was shown.
    m_parts->m_results.setOperatorSource([this](TestKind kind) {
        const QString shown = operatorOnScreen(kind);
        return shown.isEmpty() ? m_parts->m_signerGiven : shown;
    });
    m_parts->m_query.setSignerCheck([this](TestKind kind) { return signerReady(kind); });
    m_parts->m_query.setSparkRuleSource([this] {
        return sparkVoltageRule(
            m_parts->m_settings.read(section::Canshu, key::SparkVerdictVoltage));
    });
    // The calibration log names the operator on screen: channel 1's 测试人 of its kind.
    m_parts->m_calibration.setOperatorSource([this] {
        return m_parts->m_panel.text(0, description(m_parts->m_channels.kind(0)).operatorBox);
    });
    // A number is taken once the kind's result file holds a test under it.
    m_parts->m_start.setDuplicateCheck([this](TestKind kind, const TestKey& key) {
        return m_parts->m_results.checkTestTable(kind, key);
    });
    connect(&m_parts->m_run, &RunController::runStarted, &m_parts->m_plotter,
            &CurvePlotter::resetForRun);
    connect(&m_parts->m_run, &RunController::runStarted, this, [this] {
        holdChannels();
        m_parts->m_tests.runStarted(m_parts->m_channels.firstChannel,
                                    m_parts->m_channels.lastChannel);
        m_parts->m_saving.runStarted();
    });
    connect(&m_parts->m_run, &RunController::ticked, this,
            [this](int n) { m_parts->m_tests.sampleTaken(n); });
    connect(&m_parts->m_run, &RunController::resultsSent, &m_parts->m_quit,
            &QuitGuard::resultFramesSent);
    // A new test voltage asks for new axes; the chart set draws them.
    connect(&m_parts->m_panel, &PanelModel::chartAxesRequested, this, [this](int k) {
        m_parts->m_charts.frameChannelChart(k);
        m_parts->m_plotter.redrawChannelCurves(k); // the curves shown, to the new scale
    });
    connect(&m_parts->m_panel, &PanelModel::groupChartAxesRequested, this, [this](int n) {
        m_parts->m_charts.frameGroupChart(n);
        m_parts->m_plotter.redrawComparisonCurves(n);
    });
    // What is left of each running channel's test, beside its curve.
    const auto showRemaining = [this] {
        for (int k = 0; k < ChannelCount; ++k)
            m_parts->m_shell.setRemainingTime(
                k, remainingTimeText(k, m_parts->m_channels, m_parts->m_runs[k]));
    };
    connect(&m_parts->m_run, &RunController::runStarted, this, showRemaining);
    connect(&m_parts->m_run, &RunController::ticked, this, showRemaining);
    connect(&m_parts->m_run, &RunController::runEnded, this, [this, showRemaining] {
        // A stopped channel stops waiting for its spark before anything is asked.
        showRemaining();
        holdChannels(); // channels outside the run take typing again
        m_parts->m_quit.holdDuring(
            [this] { m_parts->m_saving.runEnded(m_parts->m_quit.silent()); });
    });
    connect(&m_parts->m_saving, &SaveWorkflow::missingBoxShown, this, &Station::missingBoxShown);
    connect(&m_parts->m_quit, &QuitGuard::quitReady, this, &Station::quitRequested);
    connect(&m_parts->m_ethernet, &EthernetLink::handshakeReplied, this,
            [this] { rememberInstrumentAddress(m_parts->m_settings, m_parts->m_panel); });
    new LinkHealth(m_parts->m_shell, m_parts->m_activeLink, m_parts->m_run, m_parts->m_timing,
                   this);
}

// A recalled test is shown, not run again: what the displays changed in the group goes back
// before the start question, which says so. Linked channels that still disagree on a linked
// value do not start.
bool Station::parametersForStart() {
    const int first = m_parts->m_channels.firstChannel, last = m_parts->m_channels.lastChannel;
    if (m_parts->m_paramsBeforeDisplay.restore(m_parts->m_panel, first, last))
        m_parts->m_start.setStartNote(QStringLiteral("（已恢复显示记录之前设定的测试参数）"));
    const QString differing = differingLinkedValue(m_parts->m_panel, first, last);
    if (differing.isEmpty()) return true;
    m_parts->m_prompter.inform(programTitle::full(), differing);
    return false;
}

QString Station::operatorOnScreen(TestKind kind) const {
    return m_parts->m_panel.text(0, description(kind).operatorBox).trimmed();
}

bool Station::signerReady(TestKind kind) {
    if (!operatorOnScreen(kind).isEmpty()) return true;
    const auto name =
        m_parts->m_prompter.askText(Question::SignerName, programTitle::full(),
                                    QStringLiteral("测试人一栏为空。请输入操作人姓名，"
                                                   "修改、删除或恢复的记录将以此署名："),
                                    {});
    if (!name || name->trimmed().isEmpty()) return false;
    m_parts->m_signerGiven = name->trimmed();
    return true;
}

void Station::recall(int k, const QString& testNumber) {
    m_parts->m_tests.recalled(k, testNumber);
    m_parts->m_shell.setRecalledTest(k, recalledCaption(k));
}

// "记录 T0012 水煮前" over a recalled test's chart: its number and, for the kinds that keep
// them, the boiling mark the display put into the group's options.
QString Station::recalledCaption(int k) const {
    QString caption = QStringLiteral("记录 ") + m_parts->m_tests[k].recalledNumber;
    if (!description(m_parts->m_channels.kind(k)).storesBoilingMarks) return caption;
    if (m_parts->m_panel.option(Option::BeforeBoiling, groupOf(k)))
        return caption + QStringLiteral(" 水煮前");
    if (m_parts->m_panel.option(Option::AfterBoiling, groupOf(k)))
        return caption + QStringLiteral(" 水煮后");
    return caption;
}

void Station::holdChannels() {
    for (int k = 0; k < ChannelCount; ++k) {
        const TestState state = m_parts->m_tests.state(k);
        m_parts->m_panel.setHeld(k, m_parts->m_run.isRunning() || state == TestState::Running ||
                                        state == TestState::Finished);
    }
}

Station::~Station() {
    shutdown();
}

bool Station::newTest() {
    if (!permits(Command::NewTest, 0, m_parts->m_channels.lastChannel)) return false;
    newTestReset();
    return true;
}

void Station::shutdown() {
    // Nothing is written to the store at shutdown, and nothing is asked.
    m_parts->m_run.shutdown();
    m_parts->m_oldData.cancel(); // the tool ends its batch if it has the time
    if (m_parts->m_quit.confirmedByOperator()) m_parts->m_recovery.giveUpAll();
    m_parts->m_plantQueue.cancelRetry(); // its thread is joined when it goes
    m_parts->m_links.shutdown();
}

// A scale command reframes its charts; the curves they showed, during a run or after it,
// are drawn again to the new time axis.
void Station::rescaleCharts(void (ChartSet::*command)(), bool comparison) {
    (m_parts->m_charts.*command)();
    if (comparison) {
        for (int n = 0; n < ChartSet::GroupChartCount; ++n)
            m_parts->m_plotter.redrawComparisonCurves(n);
    } else {
        for (int k = 0; k < ChannelCount; ++k)
            m_parts->m_plotter.redrawChannelCurves(k);
    }
}

// Every command once, and no default: a new command is a compile error until it is given work.
void Station::perform(Command command) {
    // A name or value typed and not yet left counts: the start question and the save see it
    // in every linked channel.
    m_parts->m_panel.finishTyping();
    switch (command) {
    case Command::NewTest:
        newTest();
        return;
    case Command::Save:
        save();
        return;
    case Command::SaveChartBitmaps:
        m_parts->m_reports.saveChartBitmaps();
        return;
    case Command::Query:
        emit queryRequested();
        return;
    case Command::QualityTrend:
        emit trendRequested();
        return;
    case Command::OpenPlantQueue:
        emit plantQueueRequested();
        return;
    case Command::ImportOldData:
        if (permits(command)) emit oldDataImportRequested();
        return;
    case Command::ImportOldSettings:
        // As 新建: the channels of the last run are loaded again.
        if (permits(command, 0, m_parts->m_channels.lastChannel)) emit oldSettingsImportRequested();
        return;
    case Command::PrintSetup:
        return; // the preview chooses the printer and its settings
    case Command::PrintChannels13:
        m_parts->m_reports.printGroups(command, 0, 0);
        return;
    case Command::PrintChannels46:
        m_parts->m_reports.printGroups(command, 1, 1);
        return;
    case Command::PrintAllChannels:
        m_parts->m_reports.printGroups(command, 0, 1);
        return;
    case Command::PrintReport:
        m_parts->m_reports.printGroups(command, m_parts->m_report.printFirstGroup(),
                                       m_parts->m_report.printLastGroup());
        return;
    case Command::PrintToPdf:
        m_parts->m_reports.printToPdf();
        return;
    case Command::Quit:
        if (mayQuit()) emit quitRequested();
        return;
    case Command::Calibrate:
        emit calibrationRequested();
        return;
    case Command::ShowCurrentCurves:
    case Command::HideCurrentCurves:
        m_parts->m_channels.showCurrentCurve = command == Command::ShowCurrentCurves;
        return;
    case Command::ToggleEthernet:
        if (m_parts->m_ethernet.state() == EthernetLink::Closed)
            m_parts->m_links.toggleEthernet();
        else
            closeLink(m_parts->m_ethernet, [this] { m_parts->m_links.toggleEthernet(); });
        return;
    case Command::OpenSerialCom1:
    case Command::OpenSerialCom2:
    case Command::OpenSerialCom3:
    case Command::OpenSerialCom4:
    case Command::OpenSerialCom5:
        m_parts->m_links.openSerial(int(command) - int(Command::OpenSerialCom1) + 1);
        return;
    case Command::CloseSerial:
        closeLink(m_parts->m_serial, [this] { m_parts->m_links.closeSerial(); });
        return;
    case Command::TraceNextRun:
        m_parts->m_tracing.setNextRunTraced(!m_parts->m_tracing.nextRunTraced());
        return;
    case Command::WidenTimeAxes:
        rescaleCharts(&ChartSet::widenTimeAxes, false);
        return;
    case Command::NarrowTimeAxes:
        rescaleCharts(&ChartSet::narrowTimeAxes, false);
        return;
    case Command::WidenGroupTimeAxes:
        rescaleCharts(&ChartSet::widenGroupTimeAxes, true);
        return;
    case Command::NarrowGroupTimeAxes:
        rescaleCharts(&ChartSet::narrowGroupTimeAxes, true);
        return;
    case Command::MergedReport:
        m_parts->m_reports.startMergedReportProgram();
        return;
    case Command::Help:
        emit helpRequested();
        return;
    case Command::MessageLog:
        emit messageLogRequested();
        return;
    case Command::ExportDiagnostics:
        // Its file dialog would hold up a run's timers.
        if (permits(command)) m_parts->m_diagnostics.start();
        return;
    case Command::About:
        m_parts->m_runAware.inform(QStringLiteral("关于"), aboutText());
        return;
    case Command::RunChannels123:
    case Command::RunChannels12:
    case Command::RunChannel1:
        m_parts->m_start.startOrStop(command);
        return;
    case Command::StopAll:
        m_parts->m_start.stopAll();
        return;
    case Command::OpenFoil:
        m_parts->m_plant.openFoil();
        return;
    case Command::DeleteFoil:
        m_parts->m_plant.deleteFoil();
        return;
    case Command::RetryPlant:
        retryPlant();
        return;
    case Command::DisplayStored:
        return; // needs the test to show: displayStoredTest()
    }
}

void Station::closeLink(const InstrumentLink& link, std::function<void()> close) {
    if (&m_parts->m_activeLink.current() != &link) {
        close();
        return;
    }
    if (m_parts->m_run.isRunning() &&
        !m_parts->m_prompter.ask(Question::DisconnectDuringRun, programTitle::product(),
                                 QStringLiteral("测试正在进行，确定要停止测试并断开连接吗？")))
        return;
    // Also just after a run: the second result frame may still be due on this link.
    m_parts->m_run.stopThen(std::move(close));
}

OldSettingsOutcome Station::importOldSettings(const QString& regFile) {
    if (m_parts->m_run.isRunning())
        return {{}, QStringLiteral("测试正在进行，请在测试结束后再导入旧版设置。")};
    OldSettingsOutcome outcome = importOldSettingsFile(regFile, m_parts->m_settings);
    if (outcome.done.written == 0) return outcome;
    // The operator agreed to give up what the channels showed when the command began.
    newTestReset();
    m_parts->m_paramsBeforeDisplay.forget();
    m_parts->m_startup.reload();
    return outcome;
}

bool Station::retryPlant(const std::vector<qint64>& entries) {
    if (!permits(Command::RetryPlant)) return false;
    return m_parts->m_plantQueue.retryQueue(PlantQueuePresenter::RetryMode::Operator, entries);
}

bool Station::uploadStoredTest(const TestKey& key) {
    const auto test = m_parts->m_results.load(TestKind::Tv, key);
    if (!test) {
        m_parts->m_prompter.inform(programTitle::full(), plantTexts::noStoredTest(shownKey(key)));
        return false;
    }
    const PieceAddress proposed = proposedAddress(m_parts->m_plantQueue.outbox(), *test);
    const QString title = QStringLiteral("上传到工厂数据库");
    const auto serial = m_parts->m_prompter.askText(
        Question::UploadStoredSerial, title,
        QStringLiteral("测试%1上传到卷号：").arg(shownKey(key)), proposed.serial);
    if (!serial) return false;
    const auto piece = m_parts->m_prompter.askText(
        Question::UploadStoredPiece, title, QStringLiteral("片号（1、2、3，水煮后1'、2'、3'）："),
        plantTexts::pieceLabel(proposed.piece));
    if (!piece) return false;
    const auto added =
        putStoredTestInOutbox(m_parts->m_results, m_parts->m_plantQueue.outbox(), key,
                              {*serial, pieceNumberFromLabel(*piece).value_or(0)});
    if (!added.ok()) {
        m_parts->m_prompter.inform(programTitle::full(), added.status.message);
        return false;
    }
    // A pass already running leaves the entry listed; the next one sends it.
    m_parts->m_plantQueue.retryQueue(PlantQueuePresenter::RetryMode::Operator, {added.value});
    return true;
}

QHash<QString, QString> Station::plantDeliveries() const {
    return deliveryTexts(m_parts->m_plantQueue.outbox());
}

void Station::setPlantSource(const PlantSource& source, const QString& queuePath) {
    m_parts->m_plant.setSource(source);
    m_parts->m_plantQueue.setSource(source, queuePath);
}

DisplayOutcome Station::displayStoredTest(const DisplayRequest& request) {
    const int k = displayChannel(request.slot, request.group);
    if (!permits(Command::DisplayStored, k, k)) return {};
    m_parts->m_tests.clear(k, k); // the operator gave up what the channel showed
    m_parts->m_paramsBeforeDisplay.beforeDisplay(m_parts->m_panel);
    const DisplayOutcome outcome = m_parts->m_display.show(request);
    m_parts->m_paramsBeforeDisplay.afterDisplay(m_parts->m_panel);
    if (outcome.channel >= 0) recall(outcome.channel, request.key.number);
    return outcome;
}

void Station::connectEthernet(const QString& address, const QString& port) {
    m_parts->m_panel.setText(0, Box::InstrumentAddress, address);
    m_parts->m_panel.setText(0, Box::InstrumentPort, port);
    if (m_parts->m_ethernet.state() == EthernetLink::Closed) m_parts->m_links.toggleEthernet();
}

void Station::searchSerialAt(const QString& device) {
    m_parts->m_settings.write(section::Canshu, QStringLiteral("comdev(1)"), device);
    for (int port = 2; port <= SerialLink::LastPort; ++port)
        m_parts->m_settings.write(section::Canshu, indexedKey(QStringLiteral("comdev("), port),
                                  QStringLiteral("/nonexistent/q7rk-port"));
    m_parts->m_links.openSerial(1);
}

bool Station::openFoil(const QString& serial) {
    m_parts->m_plant.setText(FoilBox::Serial, serial);
    return m_parts->m_plant.openFoil();
}

void Station::startUp() {
    m_parts->m_startup.load();
}

void Station::newTestReset() {
    m_parts->m_reset.reset();
}

TestRecovery::Outcome Station::offerRecovery() {
    return m_parts->m_recovery.offer([this] { return save(); });
}

RecoveryJournal::Contents Station::pendingRecovery() const {
    return m_parts->m_recovery.pending();
}

void Station::giveUpUnsaved() {
    m_parts->m_recovery.giveUpAll();
}

bool Station::mayQuit() {
    return m_parts->m_quit.mayQuit();
}

void Station::quitWithoutQuestions() {
    m_parts->m_quit.quitWithoutQuestions();
}

const TestLifecycle& Station::tests() const {
    return m_parts->m_tests;
}

bool Station::hasUnsavedResults() const {
    return !m_parts->m_tests.unsaved().isEmpty();
}

bool Station::permits(Command command, int first, int last) {
    return m_parts->m_gate.permits(command, first, last);
}

QString Station::writeReportPdf(int firstGroup, int lastGroup, const QString& path) {
    return m_parts->m_reports.writePdf(firstGroup, lastGroup, path);
}

// The parts, as the header lists them.
ChannelModel& Station::channels() {
    return m_parts->m_channels;
}

const ChannelModel& Station::channels() const {
    return m_parts->m_channels;
}

PanelModel& Station::panel() {
    return m_parts->m_panel;
}

const PanelModel& Station::panel() const {
    return m_parts->m_panel;
}

ChartSet& Station::charts() {
    return m_parts->m_charts;
}

ShellModel& Station::shell() {
    return m_parts->m_shell;
}

const ShellModel& Station::shell() const {
    return m_parts->m_shell;
}

CurvePlotter& Station::plotter() {
    return m_parts->m_plotter;
}

QueryModel& Station::query() {
    return m_parts->m_query;
}

CalibrationModel& Station::calibration() {
    return m_parts->m_calibration;
}

PlantPage& Station::plant() {
    return m_parts->m_plant;
}

const PlantPage& Station::plant() const {
    return m_parts->m_plant;
}

PlantQueuePresenter& Station::plantQueue() {
    return m_parts->m_plantQueue;
}

const PlantQueuePresenter& Station::plantQueue() const {
    return m_parts->m_plantQueue;
}

PieceUploadWorkflow& Station::pieceUpload() {
    return m_parts->m_pieceUpload;
}

const PieceUploadWorkflow& Station::pieceUpload() const {
    return m_parts->m_pieceUpload;
}

Prompter& Station::prompter() {
    return m_parts->m_prompter;
}

Prompter& Station::runAwarePrompter() {
    return m_parts->m_runAware;
}

const Timing& Station::timing() const {
    return m_parts->m_timing;
}

const SettingsStore& Station::settings() const {
    return m_parts->m_settings;
}

const SerialLink& Station::serialLink() const {
    return m_parts->m_serial;
}

const EthernetLink& Station::ethernetLink() const {
    return m_parts->m_ethernet;
}

const LinkSupervisor& Station::links() const {
    return m_parts->m_links;
}

const ActiveLink& Station::activeLink() const {
    return m_parts->m_activeLink;
}

RunConditions Station::runConditions(int channel) const {
    return m_parts->m_conditions.conditionsOf(channel);
}

LinkTracing& Station::linkTracing() {
    return m_parts->m_tracing;
}

const RunController& Station::run() const {
    return m_parts->m_run;
}

const SampleStore& Station::samples() const {
    return m_parts->m_samples;
}

const ChannelTests& Station::runTests() const {
    return m_parts->m_runs;
}

SettingsStore& Station::settings() {
    return m_parts->m_settings;
}

SampleStore& Station::samples() {
    return m_parts->m_samples;
}

ChannelTests& Station::runTests() {
    return m_parts->m_runs;
}

RunEvents& Station::runEvents() {
    return m_parts->m_events;
}

const ResultStore& Station::results() const {
    return m_parts->m_results;
}

const ReportPrinter& Station::report() const {
    return m_parts->m_report;
}

OldDataImport& Station::oldDataImport() {
    return m_parts->m_oldData;
}

OldSettingsImport& Station::oldSettingsImport() {
    return m_parts->m_oldSettings;
}

void Station::takeTestsAtStart() {
    m_parts->m_start.takeTests();
}

bool Station::save() {
    return m_parts->m_saving.save();
}

const SaveReport& Station::lastSave() const {
    return m_parts->m_saving.lastSave();
}

void Station::setPrintPreview(std::function<void(const ReportPrinter&)> preview) {
    m_parts->m_reports.setPrintPreview(std::move(preview));
}

} // namespace q7rk
