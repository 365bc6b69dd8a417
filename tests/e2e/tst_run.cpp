// Runs driven through the controller in-process against the simulator: stopping a run
// half-way, losing the instrument mid-run, refusals, and the charts a run leaves behind.
#include "calibration/CalibrationModel.h"
#include "charts/ChartSet.h"
#include "execution/RunController.h"
#include "kinds/TestKindDescription.h"
#include "link/EthernetLink.h"
#include "params/PanelModel.h"
#include "params/TestOnPanel.h"
#include "plant/PlantPage.h"
#include "reports/StoredTestDisplay.h"
#include "results/ResultStore.h"
#include "settings/ChannelModel.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"
#include "shell/ShellModel.h"
#include "station/Station.h"
#include "support/SimulatorProcess.h"
#include "support/TestStation.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace q7rk;
using q7rk::testing::SimulatorProcess;

namespace {

const Timing kFast = Timing{}.scaled(20);

struct Program : q7rk::testing::TestStation {
    explicit Program(const Seed& seed = {}) : TestStation(seed, kFast) {
        prompter.setAnswer(Question::ConfirmStart, true);
        prompter.setAnswer({Question::SaveResults, Question::UploadPiece}, false);
        controller.startUp();
    }

    QString caption(Command c) const { return shell.button(c)->caption; }
};

int pixelsOf(const QImage& chart, const QColor& colour) {
    // Inside the plot area, clear of the axes and of the titles above them.
    int count = 0;
    for (int y = 15; y < chart.height() - 30; ++y)
        for (int x = 30; x < chart.width() - 30; ++x)
            count += chart.pixelColor(x, y) == colour;
    return count;
}

} // namespace

class RunTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // Refused and declined starts leave the buttons ready; a started pair runs on through lost
    // and garbled replies, and its own button stops it half-way: interrupted, nothing to save.
    void refusedDeclinedAndStoppedHalfWay() {
        // Trimmed channels outside the group: the end of the run writes all six back.
        Program p([](SettingsStore& s) {
            s.write("canshu", "KV(5)", "1.05");
            s.write("canshu", "Vadjust(4)", "0.98");
        });
        p.controller.perform(Command::StopAll); // no run: captions and flags only
        QCOMPARE(p.caption(Command::RunChannel1), QString::fromUtf8("1路测试开始"));
        p.controller.perform(Command::RunChannels123);
        QCOMPARE(p.prompter.texts(), QStringList{QString::fromUtf8("通信端口未打开！")});
        QVERIFY(!p.controller.run().isRunning());
        QCOMPARE(p.caption(Command::RunChannels123), QString::fromUtf8("1-3测试开始"));

        // Every third poll goes unanswered and every fourth reply has a wrong code.
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20", "--drop-every", "3", "--wrong-code-every", "4"}),
                 qPrintable(sim.error()));
        QVERIFY(p.connectTcp(sim.port()));
        // The next start offers the instrument that answered.
        QCOMPARE(SettingsStore(p.settings.filePath()).read("canshu", "RJ45IP"),
                 QString("127.0.0.1"));
        QCOMPARE(SettingsStore(p.settings.filePath()).read("canshu", "RJ45Port"),
                 QString::number(sim.port()));
        p.prompter.setAnswer(Question::ConfirmStart, false);
        p.controller.perform(Command::RunChannels12);
        QCOMPARE(p.shell.statusText(2), QString::fromUtf8("第2路测试关闭"));
        QCOMPARE(p.caption(Command::RunChannels12), QString::fromUtf8("1-2测试开始"));
        QVERIFY(p.shell.button(Command::RunChannels123)->enabled &&
                p.shell.button(Command::RunChannel1)->enabled);

        p.prompter.setAnswer(Question::ConfirmStart, true);
        QSignalSpy ended(&p.controller.run(), &RunController::runEnded);
        QSignalSpy sent(&p.controller.run(), &RunController::resultsSent);
        p.shell.setStatusText(3, QString::fromUtf8("第3路TV测试结束")); // an earlier run's
        p.controller.perform(Command::RunChannels12);
        QCOMPARE(p.shell.statusText(3), QString()); // not part of this run
        QCOMPARE(p.caption(Command::RunChannels12), QString::fromUtf8("1-2测试停止"));
        QVERIFY(!p.shell.button(Command::RunChannels123)->enabled);
        QVERIFY(!p.shell.button(Command::StopAll)->visible); // the group's button is the stop
        QCOMPARE(p.shell.statusText(1), QString::fromUtf8("第1路开始TV测试"));
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > 20, 5000);
        // The run goes on, and panel 7 no longer claims all is well.
        const QRegularExpression health(
            QString::fromUtf8("^以太网通讯：近1分钟丢失\\d+次、错误\\d+次$"));
        QTRY_VERIFY_WITH_TIMEOUT(health.match(p.shell.statusText(7)).hasMatch(), 5000);
        QVERIFY(p.controller.run().isRunning());

        p.controller.perform(Command::RunChannels12); // its group runs: this stops it
        QCOMPARE(ended.count(), 1);
        QCOMPARE(p.caption(Command::RunChannels12), QString::fromUtf8("1-2测试开始"));
        QVERIFY(p.shell.button(Command::RunChannels123)->enabled);
        QVERIFY(p.shell.button(Command::StopAll)->visible);
        QCOMPARE(p.shell.statusText(7), QString::fromUtf8("以太网通讯正常"));
        // Stopped before their end: no verdict, and nothing left to wait for beside the curve.
        QCOMPARE(p.panel.text(0, Box::TvVerdict), QString::fromUtf8("中断"));
        QCOMPARE(p.shell.remainingTime(1), QString());
        QCOMPARE(p.shell.statusText(1), QString::fromUtf8("第1路测试中断"));
        QCOMPARE(p.shell.statusText(2), QString::fromUtf8("第2路测试中断"));
        const int last = p.channels.sampleIndex;
        QVERIFY(sent.wait(2000));
        QTest::qWait(200);
        QCOMPARE(p.channels.sampleIndex, last); // the timers are off
        // Two interrupted tests are no results: nothing is offered for saving. The last thing
        // asked was the start, with what the instrument was to be told per channel.
        QCOMPARE(p.prompter.texts().last(),
                 QString::fromUtf8("您确定要开始运行吗？\n"
                                   "第1路 TV：化成电压 200V，测试电流 2mA，延迟时间 180S，水煮前\n"
                                   "第2路 TV：化成电压 200V，测试电流 2mA，延迟时间 180S，水煮前"));
        QCOMPARE(p.settings.read("canshu", "KV(5)"), QString("1.05"));
        QCOMPARE(p.settings.read("canshu", "Vadjust(4)"), QString("0.98"));
    }

    // Trimming channel 1 in the middle of a run shows at once: the next sample carries the
    // new reading factor, the next poll the new set-value factor.
    void calibrationActsOnTheNextSampleAndPoll() {
        const QString log = m_dir.filePath("calibration.log");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20", "--log", log}), qPrintable(sim.error()));
        Program p;
        QVERIFY(p.connectTcp(sim.port()));
        p.panel.setText(0, Box::DelayTime, "400");
        p.controller.perform(Command::RunChannel1);
        // Past the rise (about 72 s) the foil holds its voltage.
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > 100, 15000);
        CalibrationModel& calibration = p.station.calibration();
        calibration.open();
        calibration.setChannel(0);
        calibration.setItem(int(CalibrationItem::VoltageSampling));
        const double held = p.panel.number(0, Box::LiveVoltage);
        calibration.increase(p.prompter);
        int n = p.channels.sampleIndex;
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > n + 1, 5000);
        QVERIFY2(qAbs(p.panel.number(0, Box::LiveVoltage) - held * 1.01) < 0.3,
                 qPrintable(p.panel.text(0, Box::LiveVoltage)));

        calibration.setItem(int(CalibrationItem::VoltageControl));
        const int before = SimulatorProcess::lastSetVoltage(log).toInt(nullptr, 16);
        calibration.increase(p.prompter);
        n = p.channels.sampleIndex;
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > n + 1, 5000);
        const int after = SimulatorProcess::lastSetVoltage(log).toInt(nullptr, 16);
        QVERIFY2(qAbs(after - before * 1.01) <= 1,
                 qPrintable(QString("%1 %2").arg(before).arg(after)));
        QVERIFY(p.controller.run().isRunning());
        // The window's missing-choice message does not hold the run up.
        calibration.setItem(-1);
        calibration.increase(p.station.runAwarePrompter());
        QCOMPARE(p.prompter.shown().last().kind, ScriptedPrompter::Shown::Notice);
    }

    // A shift's commands one after another: every record stays true. Nothing is stored
    // before a test has finished, nothing twice, a recalled test never again; a run keeps its
    // points, numbers and set values through 新建/打开/删除; a declined new start keeps the
    // finished tests and their charts; 退出 during a run stops it and the instrument hears
    // the end of the test twice before the program goes.
    void aShiftOfCommandsKeepsEveryRecordTrue() {
        const QString log = m_dir.filePath("shift.log");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20", "--log", log}), qPrintable(sim.error()));
        Program p;
        const QString nothingToSave = QString::fromUtf8("没有需要保存的测试数据");
        p.controller.perform(Command::Save);
        QCOMPARE(p.prompter.texts().last(), nothingToSave);
        QVERIFY(!QFile::exists(p.path("lb53A100.db")));

        // Stopped before its first second: no test, no question, nothing to save.
        QVERIFY(p.connectTcp(sim.port()));
        p.controller.perform(Command::RunChannels123);
        p.controller.perform(Command::StopAll);
        QCOMPARE(p.station.tests().inState(TestState::Interrupted), (QList<int>{0, 1, 2}));
        p.controller.perform(Command::Save);
        QCOMPARE(p.prompter.texts().last(), nothingToSave);

        for (int k = 0; k < 3; ++k) {
            p.panel.type(k, Box::DelayTime, "60");
            p.panel.leave(k, Box::DelayTime);
            p.panel.setText(k, Box::TvTestNumber, QString("S%1").arg(k + 1));
            p.panel.setText(k, Box::TvOperator, k == 1 ? QString() : QString::fromUtf8("王工"));
        }
        QSignalSpy ended(&p.controller.run(), &RunController::runEnded);
        p.controller.perform(Command::RunChannels123);
        QTRY_VERIFY_WITH_TIMEOUT(p.panel.number(0, Box::RiseTime) > 0, 15000);
        const QString rise = p.panel.text(0, Box::RiseTime);
        const QString setVoltage = SimulatorProcess::lastSetVoltage(log);
        p.prompter.clear();
        p.controller.perform(Command::NewTest);
        p.station.plant().openFoil();
        p.station.plant().deleteFoil();
        QCOMPARE(p.prompter.texts(),
                 QStringList({QString::fromUtf8("测试正在进行，请在测试结束后再新建测试。"),
                              QString::fromUtf8("测试正在进行，请在测试结束后再打开铝箔记录。"),
                              QString::fromUtf8("测试正在进行，请在测试结束后再删除铝箔记录。")}));
        const int n = p.channels.sampleIndex;
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > n + 2, 5000);
        QCOMPARE(p.panel.text(0, Box::RiseTime), rise);
        QCOMPARE(p.panel.text(1, Box::TvTestNumber), QString("S2"));
        QCOMPARE(SimulatorProcess::lastSetVoltage(log), setVoltage);
        QVERIFY(ended.wait(30000));
        QCOMPARE(p.prompter.texts().last(), QString::fromUtf8("测试结束，需要保存吗？")); // No
        QCOMPARE(p.station.tests().unsaved(), (QList<int>{0, 1, 2}));
        // Not stored yet: the next run's boiling state cannot relabel this one.
        p.panel.clickOption(Option::AfterBoiling, 0);
        QVERIFY(p.panel.option(Option::BeforeBoiling, 0));

        // 否 to giving up the unsaved tests for the next start leaves boxes and charts as they
        // stand.
        const auto snapshot = [&p] {
            QStringList texts;
            for (int k = 0; k < ChannelCount; ++k)
                for (int b = 1; b <= BoxCount; ++b)
                    texts << p.panel.text(k, Box(b));
            QList<QImage> pictures{p.charts.groupChart(0).image().copy()};
            for (int k = 0; k < ChannelCount; ++k)
                pictures << p.charts.channelChart(k).image().copy();
            return std::pair{texts, pictures};
        };
        const auto shown = snapshot();
        p.prompter.setAnswer(Question::StartOverUnsaved, false);
        p.controller.perform(Command::RunChannels123);
        QCOMPARE(p.prompter.texts().last(),
                 QString::fromUtf8("测试数据尚未保存，确定要开始新的测试吗？"));
        QVERIFY(!p.controller.run().isRunning() && snapshot() == shown);
        // A new time scale reframes the charts; the finished tests' curves are drawn again.
        const QColor red(255, 0, 0), green(0, 255, 0);
        QVERIFY(pixelsOf(p.charts.channelChart(0).image(), red) > 50);
        p.controller.perform(Command::NarrowTimeAxes);
        QVERIFY(pixelsOf(p.charts.channelChart(0).image(), red) > 50);
        p.controller.perform(Command::WidenGroupTimeAxes);
        QVERIFY(pixelsOf(p.charts.groupChart(0).image(), green) > 50);

        // Refused for the empty 测试人, which is named and shown; kept for the next 保存.
        QSignalSpy shownBox(&p.station, &Station::missingBoxShown);
        p.controller.perform(Command::Save);
        QVERIFY2(p.prompter.texts().last().endsWith(QString::fromUtf8("\n第2路：测试人未填写")),
                 qPrintable(p.prompter.texts().last()));
        QCOMPARE(shownBox.first(), (QVariantList{1, QVariant::fromValue(Box::TvOperator)}));
        p.panel.setText(1, Box::TvOperator, QString::fromUtf8("李工"));
        // Saved once: a second 保存 and a 保存 after a display store nothing.
        p.controller.perform(Command::Save);
        // The count has a panel of its own: panel 7 keeps speaking of the link.
        QCOMPARE(p.shell.statusText(ShellModel::SavePanel), QString::fromUtf8("存储 3 条记录"));
        QCOMPARE(p.shell.statusText(ShellModel::LinkPanel), QString::fromUtf8("以太网通讯正常"));
        const int samples = p.station.tests().samplesTaken(0);
        const auto stored = p.station.results().load(TestKind::Tv, TestKey{"S1HL"});
        QCOMPARE(int(stored->curve.size()), samples);
        QCOMPARE(stored->value(QString::fromUtf8("水煮前")), QString("True"));
        // The pieces declined for the plant are offered again, under the run's serial.
        const QString third = QString::fromUtf8("第3片数据是否保存?（卷号 S1）");
        p.controller.perform(Command::Save);
        QCOMPARE(p.prompter.texts().last(), third);
        const DisplayOutcome shownTest =
            p.station.displayStoredTest({TestKind::Tv, {"S2HM"}, 0, DisplayGroup::Channels13});
        QVERIFY2(shownTest.channel == 0, qPrintable(p.prompter.texts().join('|')));
        QCOMPARE(p.station.tests()[0].recalledNumber, QString("S2HM"));
        QCOMPARE(p.shell.recalledTest(0), QString::fromUtf8("记录 S2HM 水煮前")); // over its chart
        p.prompter.clear();
        p.controller.perform(Command::Save);
        QCOMPARE(p.prompter.texts(),
                 QStringList({QString::fromUtf8("第2片数据是否保存?（卷号 S1）"), third}));
        QCOMPARE(p.station.results().allRows(TestKind::Tv).count(), 3);

        // A shown test is not the next run's: a start puts back the parameters set before the
        // display (the run's number, stored already) and its question says so.
        p.controller.perform(Command::RunChannel1);
        QCOMPARE(p.prompter.texts().last(),
                 QString::fromUtf8("同名记录TV测试编号：S1HL 已经存在，请使用其他的编号！"));
        QCOMPARE(p.panel.text(0, Box::SamplePosition), QString("HL"));
        p.panel.setText(0, Box::TvTestNumber, "S4");

        // 退出 during a run: asked, stopped, two test-end frames, then the program goes.
        p.prompter.setAnswer(Question::QuitDuringRun, true);
        p.controller.perform(Command::RunChannel1);
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > 3, 5000);
        QVERIFY(p.shell.recalledTest(0).isEmpty()); // the live run took the chart
        QVERIFY(p.prompter.texts().join('|').contains(QString::fromUtf8(
            "您确定要开始运行吗？\n（已恢复显示记录之前设定的测试参数）\n第1路")));
        QSignalSpy quit(&p.station, &Station::quitRequested);
        QVERIFY(!p.station.mayQuit());
        QVERIFY(quit.wait(5000));
        QVERIFY(p.station.mayQuit());
        p.station.shutdown();
        QTRY_COMPARE_WITH_TIMEOUT(
            SimulatorProcess::loggedCodes(log).mid(SimulatorProcess::loggedCodes(log).size() - 2),
            (QList<int>{11, 11}), 5000);
        QCOMPARE(p.station.tests().state(0), TestState::Interrupted);
    }

    // The instrument hangs up after channel 1 has finished: only channel 1 is offered and
    // stored, and the operator reads why the run ended in the same dialog as the question.
    void aLostLinkStoresOnlyTheFinishedChannels() {
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20", "--close-after", "500"}),
                 qPrintable(sim.error()));
        Program p;
        p.panel.clickOption(Option::NotLinked, 0);
        for (int k = 0; k < 3; ++k) {
            p.panel.type(k, Box::DelayTime, k == 0 ? "20" : "300");
            p.panel.leave(k, Box::DelayTime);
            p.panel.setText(k, Box::TvTestNumber, QString("L%1").arg(k + 1));
            p.panel.setText(k, Box::TvOperator, QString::fromUtf8("王工"));
        }
        p.prompter.setAnswer(Question::SaveResults, true);
        QVERIFY(p.connectTcp(sim.port()));
        QSignalSpy ended(&p.controller.run(), &RunController::runEnded);
        p.prompter.clear();
        p.controller.perform(Command::RunChannels123);
        QVERIFY(ended.wait(30000));
        QCOMPARE(p.controller.run().endReason(), RunController::EndReason::LinkLost);
        const auto shown = p.prompter.shown();
        // The start question, then the end question with the reason, no notice stacked on it.
        for (const auto& item : shown)
            QVERIFY(item.kind == ScriptedPrompter::Shown::Question);
        QCOMPARE(shown[1].text,
                 QString::fromUtf8("测试结束，需要保存吗？\n与仪器的连接已断开，本次测试中断。\n"
                                   "第2、3路测试未完成，不会保存。"));
        QCOMPARE(p.station.results().allRows(TestKind::Tv).count(), 1);
        QVERIFY(p.station.results().load(TestKind::Tv, TestKey{"L1HL"}));
    }

    void runEndsTellTheInstrument_data() {
        QTest::addColumn<int>("end");
        QTest::newRow("stop button") << int(Command::RunChannels123);
        QTest::newRow("stop all") << int(Command::StopAll);
        QTest::newRow("verdicts") << -1;
        QTest::newRow("以太网断开") << int(Command::ToggleEthernet);
        QTest::newRow("station destroyed") << -2;
    }
    // However the run ends here, the last frames after the last poll are the two test-end
    // commands; 以太网断开 asks first and closes the connection only after them, and a station
    // destroyed in the middle of a run sends them before it goes.
    void runEndsTellTheInstrument() {
        QFETCH(int, end);
        QTemporaryDir dir;
        const QString log = dir.filePath("frames.log");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20", "--log", log}), qPrintable(sim.error()));
        auto p = std::make_unique<Program>();
        QVERIFY(p->connectTcp(sim.port()));
        p->panel.type(0, Box::DelayTime, "5"); // and the linked channels 2 and 3
        p->panel.leave(0, Box::DelayTime);
        p->prompter.setAnswer(Question::DisconnectDuringRun, true);
        QSignalSpy sent(&p->controller.run(), &RunController::resultsSent);
        p->controller.perform(end == -1 ? Command::RunChannel1 : Command::RunChannels123);
        if (end == -1) {
            QVERIFY(sent.wait(20000));
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(p->channels.sampleIndex > 10, 5000);
            if (end == -2)
                p.reset();
            else
                p->controller.perform(Command(end));
        }
        QStringList expected{"11", "11"};
        if (end == int(Command::ToggleEthernet)) {
            QVERIFY(sent.wait(5000));
            QVERIFY(p->prompter.texts().contains(
                QString::fromUtf8("测试正在进行，确定要停止测试并断开连接吗？")));
            expected << "closed";
        } else if (end == -2) {
            expected << "closed";
        } else {
            QVERIFY(sent.count() == 1 || sent.wait(5000));
            QCOMPARE(p->controller.ethernetLink().state(), EthernetLink::Connected);
        }
        QTRY_COMPARE(SimulatorProcess::afterLastPoll(log), expected);
    }

    // 退出 during a run after channel 1 was judged: the save question comes first and the
    // program waits for its answer, however long the operator takes (longer than the gap
    // between the two test-end frames), and the test is stored, up to its own end, before the
    // window closes.
    void quittingWaitsForTheSaveQuestion() {
        Program p([](SettingsStore& s) {
            for (int k = 0; k < 3; ++k)
                s.write("topic", QString("LBUSER(%1)").arg(k), QString::fromUtf8("王工"));
        });
        const QString log = p.path("quit.log");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20", "--log", log}), qPrintable(sim.error()));
        QVERIFY(p.connectTcp(sim.port()));
        p.panel.clickOption(Option::NotLinked, 0);
        for (int k = 0; k < 3; ++k) {
            p.panel.setText(k, Box::DelayTime, k == 0 ? "5" : "300");
            p.panel.setText(k, Box::TvTestNumber, QString("Q%1").arg(k + 1));
        }
        p.prompter.setAnswer({Question::QuitDuringRun, Question::SaveResults}, true);
        QSignalSpy quit(&p.station, &Station::quitRequested);
        int quitsWhileAsked = -1;
        p.prompter.onAsked([&](QuestionKey q) {
            if (q.id != Question::SaveResults) return;
            QTest::qWait(4 * kFast.resultGapMs); // the operator reads, as a dialog waits
            quitsWhileAsked = int(quit.count());
        });
        p.controller.perform(Command::RunChannels123);
        QTRY_VERIFY_WITH_TIMEOUT(p.station.runTests()[0].evaluated, 20000);
        const int judgedAt = p.channels.sampleIndex;
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > judgedAt + 3, 5000);
        p.controller.perform(Command::Quit);
        QTRY_COMPARE(quit.count(), 1);
        QCOMPARE(quitsWhileAsked, 0);
        QCOMPARE(SimulatorProcess::afterLastPoll(log), QStringList({"11", "11"}));
        QCOMPARE(p.station.tests().inState(TestState::Stored), QList<int>{0});
        const auto stored =
            p.station.results().load(TestKind::Tv, TestKey{testNumberOf(p.panel, 0)});
        QVERIFY(stored);
        // Its curve ends at its verdict (rise plus delay), though the run went on for 2 and 3.
        const int own = int(p.panel.number(0, Box::RiseTime)) + 5;
        QCOMPARE(int(stored->curve.size()), own);
        QCOMPARE(stored->value(QString::fromUtf8("采样次数")).toInt(), own);
        QVERIFY(p.channels.sampleIndex - 1 > own);
    }

    // A test longer than the sample store is refused before it starts, naming the box. A
    // stall of the window's thread in the middle of a run costs no second: the samples follow
    // the wall clock and the rise time is the unstalled run's within one sample.
    void theClockOfATestIsTheWallClock() {
        Program p;
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20"}), qPrintable(sim.error()));
        QVERIFY(p.connectTcp(sim.port()));
        p.panel.setText(0, Box::DelayTime, "6000");
        p.controller.perform(Command::RunChannel1);
        QVERIFY(!p.controller.run().isRunning());
        QCOMPARE(p.prompter.texts().last(),
                 QString::fromUtf8("第1路：延迟时间过长，测试总时间不能超过6000秒"));

        p.panel.setText(0, Box::DelayTime, "5");
        p.prompter.setAnswer(Question::StartOverUnsaved, true);
        QList<int> rise;
        for (bool stall : {false, true}) {
            QSignalSpy sent(&p.controller.run(), &RunController::resultsSent);
            QMetaObject::Connection staller;
            if (stall)
                staller = connect(&p.controller.run(), &RunController::ticked, this, [](int n) {
                    if (n == 20) QThread::msleep(5 * kFast.tickMs);
                });
            QElapsedTimer clock;
            clock.start();
            p.controller.perform(Command::RunChannel1);
            QVERIFY(sent.wait(20000));
            disconnect(staller);
            const qint64 wallSeconds =
                (clock.elapsed() - kFast.resultGapMs) / kFast.tickMs; // the gap is no sample
            QVERIFY2(std::abs(p.station.tests().samplesTaken(0) - wallSeconds) <= 2,
                     qPrintable(QString("%1 samples in %2 s")
                                    .arg(p.station.tests().samplesTaken(0))
                                    .arg(wallSeconds)));
            rise << int(p.panel.number(0, Box::RiseTime));
        }
        QVERIFY2(std::abs(rise[0] - rise[1]) <= 1,
                 qPrintable(QString("%1 / %2").arg(rise[0]).arg(rise[1])));
        QVERIFY(p.station.run().lateSamples() >= 2);
    }

    // A peer that answered the handshake and then never a poll: within the silence time the
    // run ends as for a lost link, the test-end frames are tried on the socket that still
    // stands, then it is closed, and the operator is told.
    void aMuteInstrumentEndsTheRun() {
        Program p;
        const QString log = p.path("mute.log");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20", "--drop-first", "1000000", "--log", log}),
                 qPrintable(sim.error()));
        QVERIFY(p.connectTcp(sim.port()));
        QSignalSpy ended(&p.controller.run(), &RunController::runEnded);
        QElapsedTimer clock;
        clock.start();
        p.controller.perform(Command::RunChannels123);
        QVERIFY(p.controller.run().isRunning());
        QVERIFY(ended.wait(5000));
        QVERIFY(clock.elapsed() >= kFast.silenceMs * 0.9); // timers may fire a little early
        QCOMPARE(p.controller.run().endReason(), RunController::EndReason::LinkLost);
        QTRY_COMPARE(p.controller.ethernetLink().state(), EthernetLink::Closed);
        QTRY_COMPARE(SimulatorProcess::afterLastPoll(log), QStringList({"11", "11", "closed"}));
        QCOMPARE(p.shell.statusText(ShellModel::LinkPanel), QString::fromUtf8("以太网通讯中断"));
        QCOMPARE(p.shell.statusText(3), QString::fromUtf8("第3路测试中断"));
        // Nothing finished: the reason alone, without a save question.
        QCOMPARE(p.prompter.shown().last().kind, ScriptedPrompter::Shown::Notice);
        QVERIFY(p.prompter.texts().last().startsWith(QString::fromUtf8("仪器停止应答")));
    }
};

QTEST_MAIN(RunTest)
#include "tst_run.moc"
