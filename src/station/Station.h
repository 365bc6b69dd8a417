#pragma once

#include "kinds/Box.h"
#include "kinds/ChannelTest.h"
#include "plant/UploadQueue.h"
#include "results/RecoveryJournal.h"
#include "settings/ChannelModel.h"
#include "settings/Timing.h"
#include "shell/Commands.h"
#include "station/TestRecovery.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace q7rk {

class ActiveLink;
class CalibrationModel;
class ChartSet;
class CurvePlotter;
class EthernetLink;
class InstrumentLink;
class LinkSupervisor;
class LinkTracing;
class OldDataImport;
class OldSettingsImport;
class PanelModel;
class PieceUploadWorkflow;
class PlantPage;
class PlantQueuePresenter;
class PlantSource;
class Prompter;
class QueryModel;
class ReportPrinter;
class ResultStore;
class RunController;
class RunEvents;
class SampleStore;
class SerialLink;
class SettingsStore;
class ShellModel;
struct DisplayOutcome;
struct RunConditions;
struct DisplayRequest;
struct OldSettingsOutcome;
struct SaveReport;
struct TestKey;

// The program without its widgets: it owns every long-lived part (settings, the channel and
// panel models, charts, the shell model, both links, the run, the result files, the report
// and the calibration), builds them in order, wires them together once and performs the
// commands of the menus and the toolbar. The jobs themselves live in their own
// classes: start-up loading, the new-test reset, saving, the report actions and the quit
// guard. The window, the headless runner and the tests each hold one and differ only in the
// Prompter and Timing they hand in.
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
    // Stops a run without asking anything and closes the links; writes no setting. Judged
    // tests not stored stay in the recovery journal unless the operator gave them up by
    // confirming the quit.
    void shutdown();
    // What the recovery journal holds from the last time the program went is offered: Yes
    // saves it as 保存 would have, No gives it up (the operator is told which).
    TestRecovery::Outcome offerRecovery();
    RecoveryJournal::Contents pendingRecovery() const;
    // The unsaved tests are given up: out of the recovery journal (a script that answered
    // No to saving them, ending).
    void giveUpUnsaved();
    // 退出 and closing the window. True when the window may close now. A finished test
    // that is not stored is not given up without asking; during a run the operator is asked,
    // the run is stopped as the stop button does, and quitRequested follows once the
    // instrument has had both result frames (false until then).
    bool mayQuit();
    // SIGTERM, SIGINT, SIGHUP or SIGQUIT: as 退出 answered Yes to every question but the save
    // question, which nobody is there to answer.
    void quitWithoutQuestions();
    // Where each channel's test stands.
    const TestLifecycle& tests() const;
    // A finished test of the last run that nothing has stored yet.
    bool hasUnsavedResults() const;
    // The rule book applied: true when the command may run now (a refusal has been told, a
    // question answered Yes).
    bool permits(Command command, int first = 0, int last = ChannelCount - 1);

    // A menu item or toolbar button as the operator gives it.
    void perform(Command command);

    // What a program without a window does in the operator's place.
    // The instrument at address:port, typed into the boxes, then 连接 unless the link is
    // already open or opening.
    void connectEthernet(const QString& address, const QString& port);
    // The instrument on `device`: COM1 names it and every other port names nothing, so the
    // serial search starts and ends there.
    void searchSerialAt(const QString& device);
    // 打开 on the plant page with the foil's serial typed in; true when it was found.
    bool openFoil(const QString& serial);
    // The report of groups first..last into a PDF at `path`, asking nothing; the reason it
    // could not be written, else empty.
    QString writeReportPdf(int firstGroup, int lastGroup, const QString& path);

    // The models the window binds to its widgets (the runner types into the panel as the
    // operator would; the tests also set channel states up directly).
    ChannelModel& channels();
    const ChannelModel& channels() const;
    PanelModel& panel();
    const PanelModel& panel() const;
    ChartSet& charts();
    ShellModel& shell();
    const ShellModel& shell() const;
    CurvePlotter& plotter();
    QueryModel& query();
    CalibrationModel& calibration();
    PlantPage& plant();
    const PlantPage& plant() const;
    // The plant outbox: what waits, the retry passes, the queue window's list.
    PlantQueuePresenter& plantQueue();
    const PlantQueuePresenter& plantQueue() const;
    // The upload of finished TV pieces that 保存 runs after the local store.
    PieceUploadWorkflow& pieceUpload();
    const PieceUploadWorkflow& pieceUpload() const;
    // The plant database and the outbox file, unless the data source "result" (with the
    // waits the settings name) and the working folder's queue; the count of what waits is
    // read again.
    void setPlantSource(const PlantSource& source,
                        const QString& queuePath = QString::fromLatin1(UploadQueue::FileName));
    Prompter& prompter();
    // For windows that stay open during a run (calibration): their messages do not wait
    // while the run's timers are live.
    Prompter& runAwarePrompter();
    // The rest is watched, not driven: states and signals only.
    const Timing& timing() const;
    const SettingsStore& settings() const;
    const SerialLink& serialLink() const;
    const EthernetLink& ethernetLink() const;
    const LinkSupervisor& links() const;
    const ActiveLink& activeLink() const;
    const RunController& run() const;
    // What channel k's test of the last run was measured under: polls, lost replies, …
    RunConditions runConditions(int channel) const;
    // Who records the link: --trace and 记录下次测试的通讯.
    LinkTracing& linkTracing();
    const SampleStore& samples() const;
    const ChannelTests& runTests() const;
    // Tests that drive one part by hand over the station's state (a sampling tick with
    // plain calibration, curves from samples they put in) write here.
    SettingsStore& settings();
    SampleStore& samples();
    ChannelTests& runTests();
    RunEvents& runEvents();
    // Every channel's test taken from the panel, as a start does after its reset.
    void takeTestsAtStart();
    const ResultStore& results() const;
    const ReportPrinter& report() const;
    // 显示记录 of the query window: a stored test into a channel and its charts.
    DisplayOutcome displayStoredTest(const DisplayRequest& request);

    // The queue window's 全部补传 (no entries named) and 补传所选: a pass on its own thread,
    // held entries too, when the rules allow it now; false when refused or not started.
    bool retryPlant(const std::vector<qint64>& entries = {});
    // 上传到工厂数据库 for a stored TV test: its serial and piece asked (the values it went
    // under before, else its own number, proposed), then into the outbox and sent by a pass
    // of its own; the queue's status tells the end. False when nothing was put in the outbox
    // (cancelled, or refused with the reason told).
    bool uploadStoredTest(const TestKey& key);
    // What the plant has of the stored TV tests' pieces, by shownKey.
    QHash<QString, QString> plantDeliveries() const;

    // 导入旧版数据: the job that runs the tool over the old program's Access files, into the
    // working folder's result files. The window drives it (dry run, question, import) after
    // 导入旧版数据 was permitted; it checks the rules again before the real import.
    OldDataImport& oldDataImport();
    // 导入旧版设置: the tool's dry run of a registry export against this station's settings
    // file.
    OldSettingsImport& oldSettingsImport();
    // The old program's settings from a registry export into this station's own settings
    // store, and the channels loaded again from them as after a new test. Done here, not by
    // the tool: the store keeps its values in memory and writes all of them on its next
    // write, which would undo what another process wrote into the file. Refused (with the
    // error set) during a run.
    OldSettingsOutcome importOldSettings(const QString& regFile);

    // 保存: the finished, unsaved tests of the last run into the result files, then the TV
    // pieces to the plant; false when it refused or failed (the operator has been told why).
    bool save();
    const SaveReport& lastSave() const;
    // Printing is the window's: it shows a preview first (or, without a printer, offers a
    // PDF). Without a window there is no printer, and the report goes to a PDF the operator
    // names.
    void setPrintPreview(std::function<void(const ReportPrinter&)> preview);

signals:
    // The window shows its help document.
    void helpRequested();
    // 消息记录: the window lists this session's messages and status texts from its log.
    void messageLogRequested();
    // 退出: the window closes (and calls shutdown() on its way out).
    void quitRequested();
    // 查询 and 电压电流校准: the window opens the query or the calibration window.
    void queryRequested();
    void calibrationRequested();
    // 质量趋势: the window opens the trend window.
    void trendRequested();
    // 补传工厂数据: the window opens the queue window.
    void plantQueueRequested();
    // 导入旧版数据 and 导入旧版设置, permitted now: the window asks for the files and goes on.
    void oldDataImportRequested();
    void oldSettingsImportRequested();
    // A save was refused for a required box left empty: the window shows it.
    void missingBoxShown(int channel, q7rk::Box box);

private:
    bool parametersForStart();
    // The operator name on screen for a record of the kind: channel 1's 测试人 of that kind.
    QString operatorOnScreen(TestKind kind) const;
    // True when a change of a stored test of the kind has a name to sign it with; asks the
    // operator for one when none is on screen.
    bool signerReady(TestKind kind);
    void rescaleCharts(void (ChartSet::*command)(), bool comparison);
    void holdChannels();
    // Channel k shows a stored test now; its chart says which.
    void recall(int k, const QString& testNumber);
    QString recalledCaption(int k) const;
    // 关闭串口 and 以太网断开: a link that carries a run is closed only once the operator agreed
    // to stop it and the instrument has had the result frames on it.
    void closeLink(const InstrumentLink& link, std::function<void()> close);

    // Every part the station owns, built in order and defined in Station.cpp: the header
    // names them only.
    struct Parts;
    std::unique_ptr<Parts> m_parts;
};

} // namespace q7rk
