#include "Station.h"

#include "charts/ChartExport.h"
#include "charts/ChartSet.h"
#include "execution/LinkHealth.h"
#include "execution/RemainingTime.h"
#include "kinds/TestKindDescription.h"
#include "link/InstrumentAddress.h"
#include "link/LinkTexts.h"
#include "params/PanelModel.h"
#include "params/StoredBoxes.h"
#include "reports/MergedReport.h"
#include "results/ResultTexts.h"
#include "settings/ChannelModel.h"
#include "settings/NumberText.h"
#include "settings/ProgramTitle.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "settings/TimeScale.h"
#include "shell/Prompter.h"
#include "shell/ShellModel.h"
#include "version/Version.h"

#include <QDate>
#include <algorithm>
#include <cmath>

namespace q7rk {

using enum Box;

namespace {

const QString kInfoTitle = QStringLiteral("信息提示");

// 关于: which build answers, for a call about a fault (the Qt it runs on may be newer than the
// one it was built with).
QString aboutText() {
    return programTitle::full() +
           QStringLiteral("\n版本 %1\nQt %2（构建时 %3）\n构建日期 %4")
               .arg(QString::fromLatin1(version::Number), QString::fromLatin1(qVersion()),
                    QStringLiteral(QT_VERSION_STR), QString::fromLatin1(version::BuildDate));
}

// "第1、2路" for channels 0 and 1.
QString channelList(const QList<int>& channels) {
    QStringList numbers;
    for (int k : channels)
        numbers << QString::number(k + 1);
    return QStringLiteral("第") + numbers.join(QStringLiteral("、")) + QStringLiteral("路");
}

QString today() {
    return QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"));
}

// The order in which the group options are restored; a restored option runs its click.
constexpr Option kRestoreOrder[] = {Option::BeforeBoiling, Option::AfterBoiling,    Option::TvTest,
                                    Option::LeakageTest,   Option::ElectrolyteTest, Option::Linked,
                                    Option::NotLinked};

} // namespace

Station::Station(const QString& settingsPath, Prompter& prompter, const Timing& timing,
                 QObject* parent)
    : QObject(parent), m_prompter(prompter), m_timing(timing), m_settings(settingsPath),
      m_panel(m_channels, m_settings), m_charts(m_channels, m_panel, m_settings),
      m_serial(m_settings, timing), m_ethernet(timing),
      m_links(m_serial, m_ethernet, m_panel, m_shell, prompter),
      m_plotter(m_charts, m_channels, m_panel, m_samples, m_settings),
      m_tick(m_channels, m_panel, m_samples, m_runs, m_plotter, MeasurementTables{}),
      m_evaluator(m_channels, m_panel, m_samples, m_runs, m_plotter, m_shell, m_settings),
      m_run(m_channels, m_runs, m_panel, m_tick, m_evaluator, m_shell, prompter, m_settings,
            m_links, timing),
      m_report(m_panel, m_charts, m_settings), m_calibration(m_channels, m_settings) {
    m_run.setNewTestReset([this] {
        newTestReset();
        // Only a start of channels 1-3 begins a new foil's pieces.
        if (m_channels.lastChannel == ChannelsPerGroup - 1) m_plant.resetPieceGrid();
    });
    // A test that runs or waits to be stored keeps the set values and marks it was run with:
    // they are what its record will say.
    m_tests.setObserver([this](int k, TestState state) {
        m_panel.setHeld(k, state == TestState::Running || state == TestState::Finished);
    });
    m_plant.setNewTestReset([this] { newTestReset(); });
    // Opening or deleting a foil resets the channels and writes their numbers: never during a
    // run, and not over a finished test that is not stored without asking.
    m_plant.setCommandGate([this](PlantCommand command) {
        return permits(command == PlantCommand::OpenFoil ? Command::OpenFoil : Command::DeleteFoil,
                       0, m_channels.lastChannel);
    });
    connect(&m_plant, &PlantPage::curveRecalled, this,
            [this](int k, const QString& number) { m_tests.recalled(k, number); });
    // The note that pieces did not reach the plant goes once the queue has sent them all,
    // unless a piece was refused (it never will).
    connect(&m_plant, &PlantPage::queueRetried, this, [this](int, int left) {
        if (left == 0 && m_plant.lastUpload().failed.isEmpty() && !m_savedStatus.isEmpty())
            m_shell.setStatusText(ShellModel::LinkPanel, m_savedStatus);
        finishQuitWhenStopped(); // a quit may have waited for the pass
    });
    // A start gives up the finished tests not stored, in its group (the reset) and outside
    // it (only the last run's tests are saved): the operator is asked first.
    m_run.setStartGate([this] { return permits(Command::StartRun); });
    // A number is taken once the kind's result file holds a test under it.
    m_run.setDuplicateCheck([this](TestKind kind, const QString& number) {
        return m_results.checkTestTable(kind, number);
    });
    connect(&m_run, &RunController::runStarted, &m_plotter, &CurvePlotter::resetForRun);
    connect(&m_run, &RunController::runStarted, this, [this] {
        m_tests.runStarted(m_channels.firstChannel, m_channels.lastChannel);
        m_savePass.newRun();
        m_lastSave = SaveReport{};
    });
    connect(&m_run, &RunController::ticked, this, [this](int n) { m_tests.sampleTaken(n); });
    connect(&m_run, &RunController::resultsSent, this, [this] {
        m_awaitingResultFrames = false;
        finishQuitWhenStopped();
    });
    // A new test voltage asks for new axes; the chart set draws them.
    connect(&m_panel, &PanelModel::chartAxesRequested, this, [this](int k) {
        m_charts.frameChannelChart(k);
        m_plotter.redrawChannelCurves(k); // the curves shown, to the new scale
    });
    connect(&m_panel, &PanelModel::groupChartAxesRequested, this, [this](int n) {
        m_charts.frameGroupChart(n);
        m_plotter.redrawComparisonCurves(n);
    });
    connect(&m_run, &RunController::runEnded, this, &Station::onRunEnded);
    connect(&m_ethernet, &EthernetLink::handshakeReplied, this,
            [this] { rememberInstrumentAddress(m_settings, m_panel); });
    new LinkHealth(m_shell, m_links, m_run, m_timing, this);
    // What is left of each running channel's test, beside its curve.
    const auto showRemaining = [this] {
        for (int k = 0; k < ChannelCount; ++k)
            m_shell.setRemainingTime(k, remainingTimeText(k, m_channels, m_runs[k], m_panel));
    };
    connect(&m_run, &RunController::runStarted, this, showRemaining);
    connect(&m_run, &RunController::ticked, this, showRemaining);
    connect(&m_run, &RunController::runEnded, this, showRemaining);
}

Station::~Station() {
    shutdown();
}

// A parameter box is filled with the stored text as it stands, unless that text is not a
// number: then the key's initial value goes in, so a damaged file cannot put garbage into a
// box that the poll and the evaluation convert.
static QString storedNumberText(const SettingsStore& s, const QString& key) {
    const QString text = s.read(section::Canshu, key);
    return parseNumber(text) ? text.trimmed() : initialValue(section::Canshu, key);
}

static float storedFactor(const SettingsStore& s, const QString& key) {
    return float(s.readNumber(section::Canshu, key));
}

// A time scale of 0 or less would divide the curve mapping by zero: it reads as 1.
static float storedTimeScale(const SettingsStore& s, const QString& key) {
    const double v = s.readNumber(section::Canshu, key);
    return std::isfinite(v) && v > 0 ? float(v) : 1.0f;
}

// The calibration factors of every channel: the end of a run writes all six back, so all
// six must be read, or channels 4-6 would lose their trim after the first run.
void Station::loadFactors(int i) {
    const SettingsStore& s = m_settings;
    auto channelKey = [i](const char* base) { return indexedKey(QString::fromUtf8(base), i); };
    m_channels.voltageAdjust[i] = storedFactor(s, channelKey(key::VoltageAdjust));
    m_channels.currentAdjust[i] = storedFactor(s, channelKey(key::CurrentAdjust));
    m_channels.KV[i] = storedFactor(s, channelKey(key::VoltageControl));
    m_channels.KI[i] = storedFactor(s, channelKey(key::CurrentControl));
}

void Station::loadChannel(int i) {
    const SettingsStore& s = m_settings;
    auto channelKey = [i](const char* base) { return indexedKey(QString::fromUtf8(base), i); };
    auto load = [&](StoredBox::Page page) {
        for (const StoredBox& entry : storedBoxes()) {
            if (entry.page != page || !entry.loadedAtStartUp) continue;
            const QString stored = storedKey(entry, i);
            m_panel.setText(i, entry.box,
                            entry.numeric ? storedNumberText(s, stored)
                                          : s.read(entry.section, stored));
        }
    };

    m_channels.timeScale[i] = storedTimeScale(s, channelKey(key::TimeScale));
    load(StoredBox::TvPage);
    m_panel.setText(i, TvTestDate, today());

    m_channels.currentColour[i] = quint32(s.readNumber(section::Canshu, channelKey("Currency_C(")));
    m_channels.voltageColour[i] = quint32(s.readNumber(section::Canshu, channelKey("Voltage_C(")));

    if (i < GroupCount) {
        for (Option o : kRestoreOrder) {
            const QString optionKey = indexedKey(QStringLiteral("option%1(").arg(int(o)), i);
            m_panel.restoreOption(o, i, s.readBool(section::Canshu, optionKey));
        }
    }

    load(StoredBox::ElectrolytePage);
    m_panel.setText(i, ElectrolyteTestDate, today());

    m_panel.setComboItems(i, Box::SamplePosition, samplePositions());
    m_panel.setComboItems(i, Box::ElectrolyteSamplePosition, samplePositions());

    m_channels.setKind(i, TestKind::Tv);
    m_panel.setParamLinked(i, true);
    m_channels.channelStopped[i] = true;
}

void Station::startUp() {
    // The first start finds an empty store; every key gets its initial value so that the
    // file shows the operator what can be set.
    m_settings.writeInitialValues();
    restoreInstrumentAddress(m_settings, m_panel);

    m_channels.lastChannel = 2;
    m_channels.firstChannel = 0;
    // Channels 4-6 keep the form's own texts: their parameters are never read.
    for (int i = 0; i < ChannelsPerGroup; ++i)
        loadChannel(i);
    // The boiling preset ran while the channels were loaded one by one; a channel loaded
    // after it kept its stored delay. Once all are loaded it applies to every one of them,
    // so the pieces of one foil are judged after the same delay.
    for (int g = 0; g < GroupCount; ++g)
        for (Option o : {Option::BeforeBoiling, Option::AfterBoiling})
            if (m_panel.option(o, g)) m_panel.clickOption(o, g);
    for (int i = 0; i < ChannelCount; ++i)
        loadFactors(i);
    m_channels.groupTimeScale = storedTimeScale(m_settings, QString::fromUtf8(key::GroupTimeScale));

    m_settings.write(section::Canshu, QStringLiteral("存储运行标志"), QStringLiteral("0"));

    m_channels.showCurrentCurve = false;
    m_channels.sampleIndex = 1;
    m_plant.startUp();

    // The kind of each group follows its restored test-kind option: flags, enabled boxes and
    // readout captions agree with the option the operator sees.
    for (int g = 0; g < GroupCount; ++g) {
        // A group whose option is not set (a first start) runs TV tests.
        TestKind kind = TestKind::Tv;
        for (TestKind candidate : allKinds()) {
            if (m_panel.option(description(candidate).option, g)) {
                kind = candidate;
                break;
            }
        }
        m_panel.applyGroupKind(g, kind);
    }
    for (int k = 0; k < ChannelCount; ++k)
        m_charts.frameChannelChart(k);
    for (int n = 0; n < ChartSet::GroupChartCount; ++n)
        m_charts.frameGroupChart(n);

    m_shell.setMenuEnabled(QStringLiteral("hf"), true);
    m_shell.setMenuEnabled(QStringLiteral("hs"), true);
    // No test can start without a link, so the test toolbar waits for one.
    m_shell.setToolbarVisible(false);
    m_shell.setButtonEnabled(QStringLiteral("test46"), true);
    m_shell.setButtonEnabled(QStringLiteral("test16"), true);
    m_shell.setButtonEnabled(QStringLiteral("RJ45_connect"), false);
    m_shell.setStatusText(ShellModel::LinkPanel, QStringLiteral("未连接"));
    // What the plant database could not take last time goes now.
    m_plant.retryQueue();
}

bool Station::newTest() {
    if (!permits(Command::NewTest, 0, m_channels.lastChannel)) return false;
    newTestReset();
    return true;
}

void Station::newTestReset() {
    m_tests.clear(m_channels.firstChannel, m_channels.lastChannel);
    for (int k = 0; k <= m_channels.lastChannel && k < ChannelCount; ++k) {
        m_channels.rawVoltage[k] = 0;
        m_channels.rawCurrent[k] = 0;
        m_channels.timeScale[k] = DefaultTimeScale;
        m_channels.groupTimeScale = DefaultGroupTimeScale;

        for (Box b : {LiveVoltage, LiveCurrent, Readout49, Readout50, Readout51, Readout52})
            m_panel.setText(k, b, QStringLiteral("0"));

        const TestKindDescription& kind = description(m_channels.kind(k));
        for (Box b : kind.resultBoxes)
            m_panel.setText(k, b, QStringLiteral("0"));
        m_panel.setText(k, kind.verdictBox, QStringLiteral("待定"));
        m_shell.setStatusText(k + 1,
                              ShellModel::channelStatus(k, QString::fromUtf8(kind.closedPhrase)));

        m_evaluator.resetChannel(k);
        m_plotter.forgetCurves(k);
        m_charts.frameChannelChart(k);
        if (k < ChartSet::GroupChartCount) m_charts.frameGroupChart(k);
    }
}

void Station::shutdown() {
    // Nothing is written to the store at shutdown, and nothing is asked.
    m_run.shutdown();
    m_plant.cancelRetry(); // the page joins the pass's thread when it goes
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

bool Station::permits(Command command, int first, int last) {
    const CommandCheck check = checkCommand(command, m_tests, m_run.isRunning(), first, last);
    switch (check.verdict) {
    case CommandCheck::Go:
        return true;
    case CommandCheck::Refuse:
        m_prompter.notify(kInfoTitle, check.text);
        return false;
    case CommandCheck::Ask:
        break;
    }
    return m_prompter.ask(check.question, kInfoTitle, check.text);
}

// A judged channel's test is worth keeping; one the run left unjudged is not a result. The
// operator hears why the run ended and is asked about saving in one dialog, never two stacked.
void Station::onRunEnded() {
    PerChannel<bool> judged{};
    for (int k = 0; k < ChannelCount; ++k)
        judged[std::size_t(k)] = m_runs[std::size_t(k)].evaluated;
    m_tests.runEnded(judged);
    const QList<int> finished = m_tests.unsaved(m_channels.firstChannel, m_channels.lastChannel);
    QList<int> interrupted;
    for (int k = m_channels.firstChannel; k <= m_channels.lastChannel; ++k)
        if (m_tests.state(k) == TestState::Interrupted) interrupted << k;
    const QString notice = m_run.endNotice();
    if (m_quitSilently) return;
    if (finished.isEmpty()) {
        if (!notice.isEmpty()) m_prompter.notify(linktexts::connectTitle(), notice);
        return;
    }
    QString question = QStringLiteral("测试结束，需要保存吗？");
    if (!notice.isEmpty()) question += QLatin1Char('\n') + notice;
    if (!interrupted.isEmpty())
        question +=
            QLatin1Char('\n') + channelList(interrupted) + QStringLiteral("测试未完成，不会保存。");
    if (m_prompter.ask(Question::SaveResults, kInfoTitle, question)) save();
}

bool Station::mayQuit() {
    if (m_quitConfirmed)
        return !m_run.isRunning() && !m_awaitingResultFrames && !m_plant.retrying();
    if (!permits(Command::Quit)) return false;
    m_quitConfirmed = true;
    // A retry pass ends after the piece it is sending; the window closes when it has.
    m_plant.cancelRetry();
    if (!m_run.isRunning()) return !m_plant.retrying();
    // The instrument is driving the channels: it hears the end of the test before the
    // program goes, as at the end of any run.
    m_awaitingResultFrames = true;
    m_run.stopAll();
    return false;
}

void Station::quitWithoutQuestions() {
    m_quitConfirmed = true;
    m_quitSilently = true;
    m_plant.cancelRetry();
    if (m_run.isRunning()) {
        m_awaitingResultFrames = true;
        m_run.stopAll();
        return;
    }
    finishQuitWhenStopped();
}

void Station::finishQuitWhenStopped() {
    if (m_quitConfirmed && !m_run.isRunning() && !m_awaitingResultFrames && !m_plant.retrying())
        emit quitRequested();
}

void Station::toolbarClicked(const QString& key) {
    if (m_run.buttonClicked(key)) return;
    if (key == QLatin1String("new2"))
        newTest();
    else if (key == QLatin1String("RJ45_connect"))
        m_links.toggleEthernet();
    else if (key == QLatin1String("save2"))
        save();
    else if (key == QLatin1String("query2"))
        emit queryRequested();
    else if (key == QLatin1String("print2"))
        printGroups(m_report.printFirstGroup(), m_report.printLastGroup());
}

void Station::menuTriggered(const QString& name) {
    if (name == QLatin1String("new"))
        newTest();
    else if (name == QLatin1String("exit")) {
        if (mayQuit()) emit quitRequested();
    } else if (name.size() == 4 && name.startsWith(QLatin1String("COM")) && name[3] >= u'1' &&
               name[3] <= u'5')
        m_links.openSerial(name[3].digitValue());
    else if (name == QLatin1String("Com_off"))
        m_links.closeSerial();
    else if (name == QLatin1String("RJ45"))
        m_links.toggleEthernet();
    else if (name == QLatin1String("help"))
        emit helpRequested();
    else if (name == QLatin1String("about"))
        m_runAware.inform(QStringLiteral("关于"), aboutText());
    else if (name == QLatin1String("hf") || name == QLatin1String("hs"))
        rescaleCharts(name == QLatin1String("hf") ? &ChartSet::widenTimeAxes
                                                  : &ChartSet::narrowTimeAxes,
                      false);
    else if (name == QLatin1String("hf16") || name == QLatin1String("hs16"))
        rescaleCharts(name == QLatin1String("hf16") ? &ChartSet::widenGroupTimeAxes
                                                    : &ChartSet::narrowGroupTimeAxes,
                      true);
    else if (name == QLatin1String("Visibyes"))
        m_channels.showCurrentCurve = true;
    else if (name == QLatin1String("Visibno"))
        m_channels.showCurrentCurve = false;
    else if (name == QLatin1String("SaveAsFile"))
        saveChartBitmaps();
    else if (name == QLatin1String("save"))
        save();
    else if (name == QLatin1String("query1"))
        emit queryRequested();
    else if (name == QLatin1String("print13"))
        printGroups(0, 0);
    else if (name == QLatin1String("print46"))
        printGroups(1, 1);
    else if (name == QLatin1String("print16"))
        printGroups(0, 1);
    else if (name == QLatin1String("printPdf"))
        printToPdf();
    else if (name == QLatin1String("hbbb"))
        startMergedReportProgram();
    else if (name == QLatin1String("adjust"))
        emit calibrationRequested();
    else if (name == QLatin1String("retryPlant"))
        emit plantQueueRequested();
}

bool Station::retryPlant(const std::vector<qint64>& entries) {
    if (!permits(Command::RetryPlant)) return false;
    return m_plant.retryQueue(PlantPage::RetryMode::Operator, entries);
}

void Station::saveChartBitmaps() {
    if (!permits(Command::SaveBitmaps)) return;
    saveChartsAsBitmaps(m_charts, m_prompter);
}

DisplayOutcome Station::displayStoredTest(const DisplayRequest& request) {
    const int k = displayChannel(request.slot, request.group);
    if (!permits(Command::DisplayStored, k, k)) return {};
    m_tests.clear(k, k); // the operator gave up what the channel showed
    const DisplayOutcome outcome = m_display.show(request);
    if (outcome.channel >= 0) m_tests.recalled(outcome.channel, request.testNumber);
    return outcome;
}

bool Station::save() {
    if (!permits(Command::Save)) return false;
    // Only what the last run finished and nothing has stored: never a recalled test, never
    // one the run cut short, never the same test twice.
    QList<SaveRequest> requests;
    for (int k : m_tests.unsaved())
        requests << SaveRequest{k, m_tests.samplesTaken(k)};
    // Pieces an earlier 保存 of this run did not send are offered again.
    QList<RunPiece> pieces;
    for (int k : m_tests.unsentPieces())
        pieces << m_tests[k].piece;
    int storedNow = 0;
    if (!requests.isEmpty()) {
        m_lastSave = m_savePass.run(m_panel, m_samples, requests);
        storedNow = m_lastSave.stored;
        for (int k : std::as_const(m_lastSave.storedChannels))
            m_tests.stored(k);
        QString told = m_lastSave.message;
        if (!m_lastSave.warning.isEmpty())
            told += (told.isEmpty() ? QString() : QStringLiteral("\n")) + m_lastSave.warning;
        if (!told.isEmpty()) m_prompter.inform(programTitle::full(), told);
        // A box the operator left empty is shown, so the next 保存 can follow at once.
        if (m_lastSave.firstMissing)
            emit missingBoxShown(m_lastSave.firstMissing->channel, m_lastSave.firstMissing->box);
        for (int k : std::as_const(m_lastSave.storedChannels))
            if (description(m_channels.kind(k)).uploadedToPlant) pieces << m_plant.runPiece(k);
    }
    // A refused pass offers nothing: the operator corrects the boxes and saves again.
    if (storedNow == 0 && (pieces.isEmpty() || !m_lastSave.ok)) return m_lastSave.ok;
    // Stored locally first; then the TV results go to the plant. An upload that cannot go
    // now waits in the local queue, and the operator sees that it did not reach the plant.
    std::sort(pieces.begin(), pieces.end(),
              [](const RunPiece& a, const RunPiece& b) { return a.curveNumber < b.curveNumber; });
    QString plantNote;
    if (!pieces.isEmpty()) {
        const PlantUploadResult& upload = m_plant.uploadPieces(pieces);
        for (const PieceOutcome& o : upload.pieces) {
            const auto it = std::find_if(pieces.begin(), pieces.end(),
                                         [&](const RunPiece& p) { return p.channel == o.channel; });
            const PieceState state = o.fate == PieceFate::Stored   ? PieceState::Sent
                                     : o.fate == PieceFate::Queued ? PieceState::Queued
                                                                   : PieceState::NotSent;
            m_tests.pieceOffered(o.channel, *it, state);
        }
        if (!upload.queued.isEmpty() || !upload.failed.isEmpty())
            plantNote = QStringLiteral("；") + upload.message.section(QLatin1Char('\n'), 0, 0);
    }
    if (storedNow > 0) {
        // The count is what really went into the files.
        m_settings.write(section::Canshu, QStringLiteral("存储运行标志"),
                         QString::number(storedNow));
        m_savedStatus = resulttext::savedCount(storedNow);
    }
    m_shell.setStatusText(ShellModel::LinkPanel, m_savedStatus + plantNote);
    return m_lastSave.ok;
}

void Station::printGroups(int first, int last) {
    m_report.setGroups(first, last);
    if (!permits(Command::Print)) return;
    if (m_printPreview)
        m_printPreview(m_report);
    else
        m_report.offerPdf(m_prompter, ReportPrinter::noPrinterText());
}

void Station::printToPdf() {
    if (!permits(Command::Print)) return;
    const QString path = m_prompter.saveFileName(QStringLiteral("打印到PDF"),
                                                 m_report.defaultPdfName(QDate::currentDate()),
                                                 QStringLiteral("PDF文件 (*.pdf)"));
    if (path.isEmpty()) return;
    const ReportOutcome outcome = m_report.writePdf(path);
    if (!outcome.ok()) m_prompter.inform(programTitle::full(), outcome.error);
}

void Station::startMergedReportProgram() {
    const QString problem = startMergedReport();
    if (!problem.isEmpty()) m_prompter.notify(programTitle::full(), problem);
}

} // namespace q7rk
