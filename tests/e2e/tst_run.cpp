// Runs driven through the controller in-process against the simulator: stopping a run
// half-way, losing the instrument mid-run, refusals, and the charts a run leaves behind.
#include "calibration/CalibrationModel.h"
#include "charts/ChartSet.h"
#include "params/PanelModel.h"
#include "results/QueryModel.h"
#include "settings/ChannelModel.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"
#include "shell/ShellModel.h"
#include "station/Station.h"
#include "support/Program.h"
#include "support/SimulatorProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace q7rk;
using q7rk::testing::SimulatorProcess;

namespace {

const Timing kFast = Timing{}.scaled(20);

struct Program : q7rk::testing::Program {
    explicit Program(const QString& path) : q7rk::testing::Program(path, kFast) {
        prompter.setAnswerFor(QString::fromUtf8("您确定要开始运行吗？"), true);
        controller.startUp();
    }

    bool connectTcp(quint16 port) {
        panel.setText(0, boxes::InstrumentAddress, "127.0.0.1");
        panel.setText(0, boxes::InstrumentPort, QString::number(port));
        QSignalSpy handshake(&controller.ethernetLink(), &EthernetLink::handshakeReplied);
        controller.menuTriggered("RJ45");
        return handshake.wait(5000);
    }
    bool connectSerial(const QString& device) {
        settings.write("canshu", "comdev(1)", device);
        QSignalSpy found(&controller.serialLink(), &SerialLink::searchFinished);
        controller.menuTriggered("COM1");
        return found.wait(5000) && found.first().first().toBool();
    }
    QString caption(const char* key) const { return shell.button(key)->caption; }
};

// Channel 1's voltage set value (hex) in the last poll the simulator logged.
QString lastSetVoltage(const QString& logPath) {
    QFile f(logPath);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString last;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() >= 3 && parts[1].toInt() == 7)
            last = QString::fromLatin1(parts[2].mid(2 * 16, 4));
    }
    return last;
}

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
    int m_n = 0;
    QString settingsPath() { return m_dir.filePath(QString("run%1.ini").arg(++m_n)); }

private slots:
    void refusedAndDeclinedStartsLeaveTheButtonsReadyAndStopAllEndsARun() {
        Program p(settingsPath());
        p.controller.toolbarClicked("stop16"); // no run: captions and flags only
        QCOMPARE(p.caption("test16"), QString::fromUtf8("1路测试开始"));
        p.controller.toolbarClicked("test13");
        QCOMPARE(p.prompter.texts(), QStringList{QString::fromUtf8("通信端口未打开！")});
        QVERIFY(!p.controller.run().isRunning());
        QCOMPARE(p.caption("test13"), QString::fromUtf8("1-3测试开始"));

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
        p.prompter.setAnswerFor(QString::fromUtf8("您确定要开始运行吗？"), false);
        p.controller.toolbarClicked("test46");
        QVERIFY(!p.controller.run().isRunning());
        QCOMPARE(p.shell.statusText(2), QString::fromUtf8("第2路测试关闭"));
        QCOMPARE(p.caption("test46"), QString::fromUtf8("1-2测试开始"));
        QVERIFY(p.shell.button("test13")->enabled && p.shell.button("test16")->enabled);

        p.prompter.setAnswerFor(QString::fromUtf8("您确定要开始运行吗？"), true);
        QSignalSpy ended(&p.controller.run(), &RunController::runEnded);
        p.controller.toolbarClicked("test13");
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > 5, 5000);
        // The run goes on, and panel 7 no longer claims all is well.
        const QRegularExpression health(
            QString::fromUtf8("^以太网通讯：近1分钟丢失\\d+次、错误\\d+次$"));
        QTRY_VERIFY_WITH_TIMEOUT(health.match(p.shell.statusText(7)).hasMatch(), 5000);
        QVERIFY(p.controller.run().isRunning());
        p.controller.toolbarClicked("stop16");
        QCOMPARE(ended.count(), 1);
        QVERIFY(!p.controller.run().isRunning());
        QCOMPARE(p.shell.statusText(7), QString::fromUtf8("以太网通讯正常"));
    }

    // An operator typing into a set-value box mid-run passes through texts that are not
    // numbers; the poll keeps the instrument's set point and the run goes on, until the port
    // is closed.
    void halfTypedSetValueKeepsTheRunAndTheSetPointClosingThePortEndsIt() {
        const QString log = m_dir.filePath("typing.log");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--no-tcp", "--pty", "--time-scale", "20", "--log", log}),
                 qPrintable(sim.error()));
        Program p(settingsPath());
        QVERIFY(p.connectSerial(sim.ptyPath()));
        p.controller.toolbarClicked("test16");
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > 3, 5000);
        const QString before = lastSetVoltage(log);
        QVERIFY(!before.isEmpty() && before != "0000");
        for (const char* typed : {"", "-", "1e"}) {
            p.panel.setText(0, boxes::FormationVoltage, typed);
            const int n = p.channels.sampleIndex;
            QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > n + 3, 5000);
            QVERIFY(p.controller.run().isRunning());
            QCOMPARE(lastSetVoltage(log), before);
        }
        QVERIFY(!p.channels.channelStopped[0]);
        QSignalSpy ended(&p.controller.run(), &RunController::runEnded);
        p.controller.menuTriggered("Com_off");
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);
    }

    // Trimming channel 1 in the middle of a run shows at once: the next sample carries the
    // new reading factor, the next poll the new set-value factor.
    void calibrationActsOnTheNextSampleAndPoll() {
        const QString log = m_dir.filePath("calibration.log");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20", "--log", log}), qPrintable(sim.error()));
        Program p(settingsPath());
        QVERIFY(p.connectTcp(sim.port()));
        p.panel.setText(0, boxes::DelayTime, "400");
        p.controller.toolbarClicked("test16");
        // Past the rise (about 72 s) the foil holds its voltage.
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > 100, 15000);
        CalibrationModel& calibration = p.station.calibration();
        calibration.open();
        calibration.setChannel(0);
        calibration.setItem(int(CalibrationItem::VoltageSampling));
        const double held = p.panel.number(0, boxes::LiveVoltage);
        calibration.increase(p.prompter);
        int n = p.channels.sampleIndex;
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > n + 1, 5000);
        QVERIFY2(qAbs(p.panel.number(0, boxes::LiveVoltage) - held * 1.01) < 0.3,
                 qPrintable(p.panel.text(0, boxes::LiveVoltage)));

        calibration.setItem(int(CalibrationItem::VoltageControl));
        const int before = lastSetVoltage(log).toInt(nullptr, 16);
        calibration.increase(p.prompter);
        n = p.channels.sampleIndex;
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > n + 1, 5000);
        const int after = lastSetVoltage(log).toInt(nullptr, 16);
        QVERIFY2(qAbs(after - before * 1.01) <= 1,
                 qPrintable(QString("%1 %2").arg(before).arg(after)));
        QVERIFY(p.controller.run().isRunning());
        // The window's missing-choice message does not hold the run up.
        calibration.setItem(-1);
        calibration.increase(p.station.runAwarePrompter());
        QCOMPARE(p.prompter.shown().last().kind, ScriptedPrompter::Shown::Notice);
    }

    // Finished runs saved by answering Yes come back through the query and the display, and
    // a stored electrolyte test shown in channel 4 prints on the second page of a 1-6 report.
    void savedRunsComeBackThroughQueryDisplayAndReport() {
        QTemporaryDir work;
        const QString before = QDir::currentPath();
        QDir::setCurrent(work.path()); // the result files live in the working directory
        Program p(settingsPath());
        p.prompter.setAnswerFor(QString::fromUtf8("测试结束，需要保存吗？"), true);
        QSignalSpy ended(&p.controller.run(), &RunController::runEnded);
        auto runChannelOne = [&](const QStringList& simulatorOptions) {
            SimulatorProcess sim;
            QVERIFY2(sim.start(QStringList{"--time-scale", "20"} + simulatorOptions),
                     qPrintable(sim.error()));
            QVERIFY(p.connectTcp(sim.port()));
            p.controller.toolbarClicked("test16");
            QVERIFY(ended.wait(30000));
            QCOMPARE(p.shell.statusText(7), QString::fromUtf8("存储 1 条记录"));
            QVERIFY(!p.station.hasUnsavedResults()); // 退出 now has nothing to ask
            p.controller.menuTriggered("RJ45");
        };
        p.panel.setText(0, boxes::DelayTime, "10");
        p.panel.setText(0, boxes::TvTestNumber, "RT'1");
        p.panel.setText(0, boxes::TvOperator, QString::fromUtf8("王工"));
        runChannelOne({});
        const QString tvValue = p.panel.text(0, boxes::TvValue);
        const QString riseTime = p.panel.text(0, boxes::RiseTime);

        p.panel.restoreOption(Option::ElectrolyteTest, 0, true);
        p.panel.setText(0, boxes::ElectrolyteTestNumber, "EL1");
        p.panel.setText(0, boxes::ElectrolyteSetVoltage, "200");
        p.panel.setText(0, boxes::SparkDelay, "20");
        runChannelOne({"--spark", "1:60,80"});
        const QString spark = p.panel.text(0, boxes::SparkVoltage1);
        QVERIFY2(spark.toDouble() > 0, qPrintable(spark)); // a spark was seen

        p.panel.restoreOption(Option::TvTest, 0, true);
        p.controller.newTestReset();
        const ResultRows& found =
            p.station.query().run({TestKind::Tv, QString::fromUtf8("测试编号"), "=", "RT'1HL", {}});
        QCOMPARE(found.count(), 1);
        p.station.displayStoredTest(
            {TestKind::Tv, found.rows.first().first(), 0, DisplayGroup::Channels13});
        QCOMPARE(p.panel.text(0, boxes::TvValue), tvValue);
        QCOMPARE(p.panel.text(0, boxes::RiseTime), riseTime);
        p.station.displayStoredTest({TestKind::Electrolyte, "EL1HL", 3, DisplayGroup::Channels46});
        QCOMPARE(p.panel.number(3, boxes::SparkVoltage1),
                 spark.toDouble()); // "31.0" comes back as "31"
        QVERIFY(p.channels.isElectrolyteTest[3]);

        p.station.report().setGroups(0, 1);
        const QString pdf = work.filePath("1-6.pdf");
        QVERIFY(p.station.report().writePdf(pdf).ok());
        QProcess info;
        info.start("pdfinfo", {pdf});
        QVERIFY(info.waitForFinished(30000));
        QVERIFY(QString::fromLatin1(info.readAllStandardOutput())
                    .contains(QRegularExpression("Pages:\\s+2")));
        QProcess text;
        text.start("pdftotext", {"-f", "2", "-layout", pdf, "-"});
        QVERIFY(text.waitForFinished(30000));
        const QString page2 = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY2(page2.contains(QString::fromUtf8("火花电压1")), qPrintable(page2));
        QDir::setCurrent(before);
    }

    void stopHalfWayEndsTheRunAndKeepsResults() {
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20"}), qPrintable(sim.error()));
        const QString path = settingsPath();
        {
            // Trimmed channels outside the group: the end of the run writes all six back.
            SettingsStore seeded(path);
            seeded.write("canshu", "KV(5)", "1.05");
            seeded.write("canshu", "Vadjust(4)", "0.98");
        }
        Program p(path);
        QVERIFY(p.connectTcp(sim.port()));
        QSignalSpy ended(&p.controller.run(), &RunController::runEnded);
        QSignalSpy sent(&p.controller.run(), &RunController::resultsSent);
        p.shell.setStatusText(3, QString::fromUtf8("第3路TV测试结束")); // an earlier run's
        p.controller.toolbarClicked("test46");
        QCOMPARE(p.shell.statusText(3), QString()); // not part of this run
        QVERIFY(p.controller.run().isRunning());
        QCOMPARE(p.caption("test46"), QString::fromUtf8("1-2测试停止"));
        QVERIFY(!p.shell.button("test13")->enabled);
        QCOMPARE(p.shell.statusText(1), QString::fromUtf8("第1路开始TV测试"));
        QVERIFY(p.channels.channelStopped[2]); // outside the group from the start
        QTRY_VERIFY_WITH_TIMEOUT(p.channels.sampleIndex > 20, 5000);
        QVERIFY(p.panel.number(0, boxes::LiveVoltage) > 0);

        p.controller.toolbarClicked("test46"); // its caption says stop
        QCOMPARE(ended.count(), 1);
        QCOMPARE(p.caption("test46"), QString::fromUtf8("1-2测试开始"));
        QVERIFY(p.shell.button("test13")->enabled);
        QCOMPARE(p.panel.text(0, boxes::TvVerdict), QString::fromUtf8("待定")); // not forced
        QCOMPARE(p.shell.statusText(1), QString::fromUtf8("第1路测试中断"));
        QCOMPARE(p.shell.statusText(2), QString::fromUtf8("第2路测试中断"));
        const int last = p.channels.sampleIndex;
        QVERIFY(sent.wait(2000));
        QTest::qWait(200);
        QCOMPARE(p.channels.sampleIndex, last); // the timers are off
        QCOMPARE(p.prompter.texts().last(), QString::fromUtf8("测试结束，需要保存吗？"));
        QCOMPARE(p.settings.read("canshu", "KV(5)"), QString("1.05"));
        QCOMPARE(p.settings.read("canshu", "Vadjust(4)"), QString("0.98"));
    }

    // A peer that answered the handshake and then never a poll: within the silence time the
    // connection is closed and the run ends as for a lost link, and the operator is told.
    void aMuteInstrumentEndsTheRun() {
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "20", "--drop-first", "1000000"}),
                 qPrintable(sim.error()));
        Program p(settingsPath());
        QVERIFY(p.connectTcp(sim.port()));
        QSignalSpy ended(&p.controller.run(), &RunController::runEnded);
        QElapsedTimer clock;
        clock.start();
        p.controller.toolbarClicked("test13");
        QVERIFY(p.controller.run().isRunning());
        QVERIFY(ended.wait(5000));
        QVERIFY(clock.elapsed() >= kFast.silenceMs * 0.9); // timers may fire a little early
        QCOMPARE(p.controller.run().endReason(), RunController::EndReason::LinkLost);
        QCOMPARE(p.channels.ethernetState, quint8(0));
        QCOMPARE(p.shell.statusText(ShellModel::LinkPanel), QString::fromUtf8("以太网通讯中断"));
        for (int k = 0; k < 3; ++k)
            QCOMPARE(p.shell.statusText(k + 1), QString::fromUtf8("第%1路测试中断").arg(k + 1));
        QCOMPARE(p.panel.text(0, boxes::TvVerdict), QString::fromUtf8("待定"));
        const QList<ScriptedPrompter::Shown>& shown = p.prompter.shown();
        const auto notice = std::find_if(shown.begin(), shown.end(), [](const auto& s) {
            return s.kind == ScriptedPrompter::Shown::Notice &&
                   s.text.startsWith(QString::fromUtf8("仪器停止应答"));
        });
        QVERIFY(notice != shown.end());
    }

    void aFinishedRunLeavesItsCharts() {
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "40", "--spark", "2:120"}), qPrintable(sim.error()));
        Program p(settingsPath());
        p.controller.newTestReset();
        for (int k = 0; k < 3; ++k) {
            p.panel.setText(k, boxes::DelayTime, "20");
            p.panel.leave(k, boxes::DelayTime);
        }
        p.channels.showCurrentCurve = true;
        QVERIFY(p.connectTcp(sim.port()));
        QSignalSpy ended(&p.controller.run(), &RunController::runEnded);
        p.controller.toolbarClicked("test13");
        QVERIFY(ended.wait(30000));
        const QString out = QStringLiteral(QT_TESTCASE_BUILDDIR);
        for (int k = 0; k < 6; ++k)
            QVERIFY(p.charts.channelChart(k).image().save(out + QString("/run-TV%1.png").arg(k)));
        for (int n = 0; n < 3; ++n)
            QVERIFY(p.charts.groupChart(n).image().save(out + QString("/run-TV16-%1.png").arg(n)));
        QCOMPARE(p.panel.text(0, boxes::TvVerdict), QString::fromUtf8("合格"));

        // 否 to the next start leaves the finished test as it stands: boxes, charts, samples.
        const auto snapshot = [&p](QStringList& texts, QList<QImage>& pictures) {
            for (int k = 0; k < ChannelCount; ++k)
                for (int b = 1; b <= BoxCount; ++b)
                    texts << p.panel.text(k, Box(b));
            for (int k = 0; k < 6; ++k)
                pictures << p.charts.channelChart(k).image().copy();
            for (int n = 0; n < 3; ++n)
                pictures << p.charts.groupChart(n).image().copy();
        };
        QStringList texts, textsAfter;
        QList<QImage> pictures, picturesAfter;
        snapshot(texts, pictures);
        QList<float> samples;
        for (int n = 1; n < p.channels.sampleIndex; ++n)
            samples << p.controller.samples().voltage(0, n);
        p.prompter.setAnswerFor(QString::fromUtf8("您确定要开始运行吗？"), false);
        p.controller.toolbarClicked("test13");
        QVERIFY(!p.controller.run().isRunning());
        QCOMPARE(p.shell.statusText(1), QString::fromUtf8("第1路测试关闭"));
        snapshot(textsAfter, picturesAfter);
        QCOMPARE(textsAfter, texts);
        QVERIFY(picturesAfter == pictures);
        for (int n = 1; n <= int(samples.size()); ++n)
            QCOMPARE(p.controller.samples().voltage(0, n), samples[n - 1]);

        // A new time scale reframes the charts; the finished test's curves are drawn again.
        const QColor red(255, 0, 0);
        const QColor green(0, 255, 0);
        QVERIFY(pixelsOf(p.charts.channelChart(0).image(), red) > 50);
        p.controller.menuTriggered("hs");
        QVERIFY(pixelsOf(p.charts.channelChart(0).image(), red) > 50);
        p.controller.menuTriggered("hf16");
        QVERIFY(pixelsOf(p.charts.groupChart(0).image(), green) > 50);
    }
};

QTEST_MAIN(RunTest)
#include "tst_run.moc"
