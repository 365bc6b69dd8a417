#include "Station.h"

#include "execution/LinkHealth.h"
#include "execution/RemainingTime.h"
#include "kinds/TestKindDescription.h"
#include "params/StoredBoxes.h"
#include "plant/PlantInput.h"
#include "plant/PlantTexts.h"
#include "results/MeasuredRecord.h"
#include "settings/ProgramTitle.h"
#include "settings/SettingsKeys.h"
#include "station/InstrumentAddress.h"
#include "station/StoredPieceUpload.h"
#include "version/Version.h"

#include <QFileInfo>

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

Station::Station(const QString& settingsPath, Prompter& prompter, const Timing& timing,
                 QObject* parent)
    : QObject(parent), m_prompter(prompter), m_timing(timing), m_settings(settingsPath),
      m_panel(m_channels, m_settings), m_charts(m_channels, m_panel, m_settings),
      m_serial(m_settings, timing), m_ethernet(timing),
      m_links(m_serial, m_ethernet, m_activeLink, m_panel, m_shell, prompter),
      m_plotter(m_charts, m_channels, m_panel, m_samples, m_settings),
      m_run(m_channels, m_runs, m_tick, m_evaluator, m_events, m_activeLink, timing),
      m_start(m_channels, m_runs, m_panel, m_shell, prompter, m_activeLink, m_run),
      m_report(m_panel, m_charts, m_plotter, m_samples, m_settings),
      m_calibration(m_channels, m_settings),
      m_oldData([this] { return QFileInfo(m_results.locateDbFile(TestKind::Tv)).absolutePath(); }) {
    m_start.setNewTestReset([this] {
        newTestReset();
        // Only a start of channels 1-3 begins a new foil's pieces.
        if (m_channels.lastChannel == ChannelsPerGroup - 1) m_plant.resetPieceGrid();
    });
    // A test that runs or waits to be stored keeps the set values and marks it was run with:
    // they are what its record will say. While a run lasts every channel is held: the poll
    // carries the set values of all six, in the group or not.
    m_tests.setObserver([this](int k, TestState state) {
        holdChannels();
        m_report.setRecalled(k, state == TestState::Recalled);
        m_recovery.stateChanged(k, state);
        if (state != TestState::Recalled) m_shell.setRecalledTest(k, {});
    });
    connect(&m_run, &RunController::channelJudged, this, [this](int k) {
        // The sample that judged it is the newest: the channel's curve ends there.
        m_tests.judged(k, measuredRecord(m_runs[k], m_samples, k, m_channels.sampleIndex - 1));
        m_recovery.judged(k);
    });
    m_plant.setNewTestReset([this] { newTestReset(); });
    // Opening or deleting a foil resets the channels and writes their numbers: never during a
    // run, and not over a finished test that is not stored without asking.
    m_plant.setCommandGate(
        [this](Command command) { return permits(command, 0, m_channels.lastChannel); });
    // An opened foil's curves are shown as recalled tests of their channels.
    connect(&m_plant, &PlantPage::curveRecalled, this,
            [this](int k, const QString& serial, const std::vector<float>& columns) {
                m_display.showPlantCurve(k, columns);
                recall(k, serial);
            });
    // As the old program did, the cursor of the sampling is left at the length of the last
    // piece's curve sent to the plant; the poll carries it to the instrument until the next run.
    connect(&m_pieceUpload, &PieceUploadWorkflow::sending, this,
            [this](int, int columns) { m_channels.sampleIndex = qint16(columns); });
    connect(&m_plantQueue, &PlantQueuePresenter::queueRetried, this, [this](int, int left) {
        m_saving.plantQueueRetried(left);
        m_quit.finishWhenStopped(); // a quit may have waited for the pass
    });
    // A start gives up the finished tests not stored, in its group (the reset) and outside
    // it (only the last run's tests are saved): the operator is asked first.
    m_start.setGate([this](Command group) { return permits(group) && parametersForStart(); });
    // Corrections, deletions and restores are signed with the name on screen when the change
    // is made (channel 1's operator of the record's kind), or the one the operator gave when
    // none was shown.
    m_results.setOperatorSource([this](TestKind kind) {
        const QString shown = operatorOnScreen(kind);
        return shown.isEmpty() ? m_signerGiven : shown;
    });
    m_query.setSignerCheck([this](TestKind kind) { return signerReady(kind); });
    m_query.setSparkRuleSource([this] {
        return sparkVoltageRule(m_settings.read(section::Canshu, key::SparkVerdictVoltage));
    });
    // The calibration log names the operator on screen: channel 1's 测试人 of its kind.
    m_calibration.setOperatorSource(
        [this] { return m_panel.text(0, description(m_channels.kind(0)).operatorBox); });
    // A number is taken once the kind's result file holds a test under it.
    m_start.setDuplicateCheck(
        [this](TestKind kind, const TestKey& key) { return m_results.checkTestTable(kind, key); });
    connect(&m_run, &RunController::runStarted, &m_plotter, &CurvePlotter::resetForRun);
    connect(&m_run, &RunController::runStarted, this, [this] {
        holdChannels();
        m_tests.runStarted(m_channels.firstChannel, m_channels.lastChannel);
        m_saving.runStarted();
    });
    connect(&m_run, &RunController::ticked, this, [this](int n) { m_tests.sampleTaken(n); });
    connect(&m_run, &RunController::resultsSent, &m_quit, &QuitGuard::resultFramesSent);
    // A new test voltage asks for new axes; the chart set draws them.
    connect(&m_panel, &PanelModel::chartAxesRequested, this, [this](int k) {
        m_charts.frameChannelChart(k);
        m_plotter.redrawChannelCurves(k); // the curves shown, to the new scale
    });
    connect(&m_panel, &PanelModel::groupChartAxesRequested, this, [this](int n) {
        m_charts.frameGroupChart(n);
        m_plotter.redrawComparisonCurves(n);
    });
    // What is left of each running channel's test, beside its curve.
    const auto showRemaining = [this] {
        for (int k = 0; k < ChannelCount; ++k)
            m_shell.setRemainingTime(k, remainingTimeText(k, m_channels, m_runs[k]));
    };
    connect(&m_run, &RunController::runStarted, this, showRemaining);
    connect(&m_run, &RunController::ticked, this, showRemaining);
    connect(&m_run, &RunController::runEnded, this, [this, showRemaining] {
        // A stopped channel stops waiting for its spark before anything is asked.
        showRemaining();
        holdChannels(); // channels outside the run take typing again
        m_quit.holdDuring([this] { m_saving.runEnded(m_quit.silent()); });
    });
    connect(&m_saving, &SaveWorkflow::missingBoxShown, this, &Station::missingBoxShown);
    connect(&m_quit, &QuitGuard::quitReady, this, &Station::quitRequested);
    connect(&m_ethernet, &EthernetLink::handshakeReplied, this,
            [this] { rememberInstrumentAddress(m_settings, m_panel); });
    new LinkHealth(m_shell, m_activeLink, m_run, m_timing, this);
}

// A recalled test is shown, not run again: what the displays changed in the group goes back
// before the start question, which says so. Linked channels that still disagree on a linked
// value do not start.
bool Station::parametersForStart() {
    const int first = m_channels.firstChannel, last = m_channels.lastChannel;
    if (m_paramsBeforeDisplay.restore(m_panel, first, last))
        m_start.setStartNote(QStringLiteral("（已恢复显示记录之前设定的测试参数）"));
    const QString differing = differingLinkedValue(m_panel, first, last);
    if (differing.isEmpty()) return true;
    m_prompter.inform(programTitle::full(), differing);
    return false;
}

QString Station::operatorOnScreen(TestKind kind) const {
    return m_panel.text(0, description(kind).operatorBox).trimmed();
}

bool Station::signerReady(TestKind kind) {
    if (!operatorOnScreen(kind).isEmpty()) return true;
    const auto name = m_prompter.askText(Question::SignerName, programTitle::full(),
                                         QStringLiteral("测试人一栏为空。请输入操作人姓名，"
                                                        "修改、删除或恢复的记录将以此署名："),
                                         {});
    if (!name || name->trimmed().isEmpty()) return false;
    m_signerGiven = name->trimmed();
    return true;
}

void Station::recall(int k, const QString& testNumber) {
    m_tests.recalled(k, testNumber);
    m_shell.setRecalledTest(k, recalledCaption(k));
}

// "记录 T0012 水煮前" over a recalled test's chart: its number and, for the kinds that keep
// them, the boiling mark the display put into the group's options.
QString Station::recalledCaption(int k) const {
    QString caption = QStringLiteral("记录 ") + m_tests[k].recalledNumber;
    if (!description(m_channels.kind(k)).storesBoilingMarks) return caption;
    if (m_panel.option(Option::BeforeBoiling, groupOf(k)))
        return caption + QStringLiteral(" 水煮前");
    if (m_panel.option(Option::AfterBoiling, groupOf(k)))
        return caption + QStringLiteral(" 水煮后");
    return caption;
}

void Station::holdChannels() {
    for (int k = 0; k < ChannelCount; ++k) {
        const TestState state = m_tests.state(k);
        m_panel.setHeld(k, m_run.isRunning() || state == TestState::Running ||
                               state == TestState::Finished);
    }
}

Station::~Station() {
    shutdown();
}

bool Station::newTest() {
    if (!permits(Command::NewTest, 0, m_channels.lastChannel)) return false;
    newTestReset();
    return true;
}

void Station::shutdown() {
    // Nothing is written to the store at shutdown, and nothing is asked.
    m_run.shutdown();
    m_oldData.cancel(); // the tool ends its batch if it has the time
    if (m_quit.confirmedByOperator()) m_recovery.giveUpAll();
    m_plantQueue.cancelRetry(); // its thread is joined when it goes
    m_links.shutdown();
}

// A scale command reframes its charts; the curves they showed, during a run or after it,
// are drawn again to the new time axis.
void Station::rescaleCharts(void (ChartSet::*command)(), bool comparison) {
    (m_charts.*command)();
    if (comparison) {
        for (int n = 0; n < ChartSet::GroupChartCount; ++n)
            m_plotter.redrawComparisonCurves(n);
    } else {
        for (int k = 0; k < ChannelCount; ++k)
            m_plotter.redrawChannelCurves(k);
    }
}

// Every command once, and no default: a new command is a compile error until it is given work.
void Station::perform(Command command) {
    // A name or value typed and not yet left counts: the start question and the save see it
    // in every linked channel.
    m_panel.finishTyping();
    switch (command) {
    case Command::NewTest:
        newTest();
        return;
    case Command::Save:
        save();
        return;
    case Command::SaveChartBitmaps:
        saveChartBitmaps();
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
        if (permits(command, 0, m_channels.lastChannel)) emit oldSettingsImportRequested();
        return;
    case Command::PrintSetup:
        return; // the preview chooses the printer and its settings
    case Command::PrintChannels13:
        printGroups(command, 0, 0);
        return;
    case Command::PrintChannels46:
        printGroups(command, 1, 1);
        return;
    case Command::PrintAllChannels:
        printGroups(command, 0, 1);
        return;
    case Command::PrintReport:
        printGroups(command, m_report.printFirstGroup(), m_report.printLastGroup());
        return;
    case Command::PrintToPdf:
        printToPdf();
        return;
    case Command::Quit:
        if (mayQuit()) emit quitRequested();
        return;
    case Command::Calibrate:
        emit calibrationRequested();
        return;
    case Command::ShowCurrentCurves:
    case Command::HideCurrentCurves:
        m_channels.showCurrentCurve = command == Command::ShowCurrentCurves;
        return;
    case Command::ToggleEthernet:
        if (m_ethernet.state() == EthernetLink::Closed)
            m_links.toggleEthernet();
        else
            closeLink(m_ethernet, [this] { m_links.toggleEthernet(); });
        return;
    case Command::OpenSerialCom1:
    case Command::OpenSerialCom2:
    case Command::OpenSerialCom3:
    case Command::OpenSerialCom4:
    case Command::OpenSerialCom5:
        m_links.openSerial(int(command) - int(Command::OpenSerialCom1) + 1);
        return;
    case Command::CloseSerial:
        closeLink(m_serial, [this] { m_links.closeSerial(); });
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
        startMergedReportProgram();
        return;
    case Command::Help:
        emit helpRequested();
        return;
    case Command::About:
        m_runAware.inform(QStringLiteral("关于"), aboutText());
        return;
    case Command::RunChannels123:
    case Command::RunChannels12:
    case Command::RunChannel1:
        m_start.startOrStop(command);
        return;
    case Command::StopAll:
        m_start.stopAll();
        return;
    case Command::OpenFoil:
        m_plant.openFoil();
        return;
    case Command::DeleteFoil:
        m_plant.deleteFoil();
        return;
    case Command::RetryPlant:
        retryPlant();
        return;
    case Command::DisplayStored:
        return; // needs the test to show: displayStoredTest()
    }
}

void Station::closeLink(const InstrumentLink& link, std::function<void()> close) {
    if (&m_activeLink.current() != &link) {
        close();
        return;
    }
    if (m_run.isRunning() &&
        !m_prompter.ask(Question::DisconnectDuringRun, programTitle::product(),
                        QStringLiteral("测试正在进行，确定要停止测试并断开连接吗？")))
        return;
    // Also just after a run: the second result frame may still be due on this link.
    m_run.stopThen(std::move(close));
}

OldSettingsOutcome Station::importOldSettings(const QString& regFile) {
    if (m_run.isRunning())
        return {{}, QStringLiteral("测试正在进行，请在测试结束后再导入旧版设置。")};
    OldSettingsOutcome outcome = importOldSettingsFile(regFile, m_settings);
    if (outcome.done.written == 0) return outcome;
    // The operator agreed to give up what the channels showed when the command began.
    newTestReset();
    m_paramsBeforeDisplay.forget();
    m_startup.reload();
    return outcome;
}

bool Station::retryPlant(const std::vector<qint64>& entries) {
    if (!permits(Command::RetryPlant)) return false;
    return m_plantQueue.retryQueue(PlantQueuePresenter::RetryMode::Operator, entries);
}

bool Station::uploadStoredTest(const TestKey& key) {
    const auto test = m_results.load(TestKind::Tv, key);
    if (!test) {
        m_prompter.inform(programTitle::full(), plantTexts::noStoredTest(shownKey(key)));
        return false;
    }
    const PieceAddress proposed = proposedAddress(m_plantQueue.outbox(), *test);
    const QString title = QStringLiteral("上传到工厂数据库");
    const auto serial = m_prompter.askText(Question::UploadStoredSerial, title,
                                           QStringLiteral("测试%1上传到卷号：").arg(shownKey(key)),
                                           proposed.serial);
    if (!serial) return false;
    const auto piece = m_prompter.askText(Question::UploadStoredPiece, title,
                                          QStringLiteral("片号（1、2、3，水煮后1'、2'、3'）："),
                                          plantTexts::pieceLabel(proposed.piece));
    if (!piece) return false;
    const auto added = putStoredTestInOutbox(m_results, m_plantQueue.outbox(), key,
                                             {*serial, pieceNumberFromLabel(*piece).value_or(0)});
    if (!added.ok()) {
        m_prompter.inform(programTitle::full(), added.status.message);
        return false;
    }
    // A pass already running leaves the entry listed; the next one sends it.
    m_plantQueue.retryQueue(PlantQueuePresenter::RetryMode::Operator, {added.value});
    return true;
}

QHash<QString, QString> Station::plantDeliveries() const {
    return deliveryTexts(m_plantQueue.outbox());
}

void Station::setPlantSource(const PlantSource& source, const QString& queuePath) {
    m_plant.setSource(source);
    m_plantQueue.setSource(source, queuePath);
}

DisplayOutcome Station::displayStoredTest(const DisplayRequest& request) {
    const int k = displayChannel(request.slot, request.group);
    if (!permits(Command::DisplayStored, k, k)) return {};
    m_tests.clear(k, k); // the operator gave up what the channel showed
    m_paramsBeforeDisplay.beforeDisplay(m_panel);
    const DisplayOutcome outcome = m_display.show(request);
    m_paramsBeforeDisplay.afterDisplay(m_panel);
    if (outcome.channel >= 0) recall(outcome.channel, request.key.number);
    return outcome;
}

void Station::connectEthernet(const QString& address, const QString& port) {
    m_panel.setText(0, Box::InstrumentAddress, address);
    m_panel.setText(0, Box::InstrumentPort, port);
    if (m_ethernet.state() == EthernetLink::Closed) m_links.toggleEthernet();
}

void Station::searchSerialAt(const QString& device) {
    m_settings.write(section::Canshu, QStringLiteral("comdev(1)"), device);
    for (int port = 2; port <= SerialLink::LastPort; ++port)
        m_settings.write(section::Canshu, indexedKey(QStringLiteral("comdev("), port),
                         QStringLiteral("/nonexistent/q7rk-port"));
    m_links.openSerial(1);
}

bool Station::openFoil(const QString& serial) {
    m_plant.setText(FoilBox::Serial, serial);
    return m_plant.openFoil();
}

} // namespace q7rk
