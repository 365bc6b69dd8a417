// The window, offscreen, drives a whole TV test on channel 1 against the simulator: the
// operator's clicks go through the real menu action and toolbar button.
#include "app/MainWindow.h"
#include "execution/RunController.h"
#include "link/EthernetLink.h"
#include "shell/ScriptedPrompter.h"
#include "station/LinkTracing.h"
#include "station/Station.h"
#include "support/SimulatorProcess.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace q7rk;

namespace {

QString panel7(const MainWindow& window) {
    return window.findChild<QLabel*>("panel7")->text();
}

void type(MainWindow& window, const char* name, const QString& text) {
    auto* box = window.findChild<QLineEdit*>(name);
    box->setText(text);
    emit box->textEdited(text);
}

// What the operator does: click into the box, type over its text, Tab out.
void typeAndTab(MainWindow& window, const char* name, const QString& text) {
    auto* box = window.findChild<QLineEdit*>(name);
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Tab);
}

QString text(const MainWindow& window, const char* name) {
    return window.findChild<QLineEdit*>(name)->text();
}

} // namespace

class WindowRunTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // A peer that takes the connection but never answers: the operator can call the attempt
    // off through the menu (and the toolbar button) and then open a serial port instead.
    void aMuteEthernetPeerCanBeCalledOff() {
        QTcpServer mute;
        QVERIFY(mute.listen(QHostAddress::LocalHost));
        MainWindow window(m_dir.filePath("mute.ini"), std::make_unique<ScriptedPrompter>());
        window.show();
        type(window, "Text41_0", "127.0.0.1");
        type(window, "Text42_0", QString::number(mute.serverPort()));
        auto* rj45 = window.findChild<QAction*>("RJ45");
        rj45->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(window.station().ethernetLink().state(), EthernetLink::Connected,
                                  5000);
        QVERIFY(window.findChild<QAction*>("connet")->isEnabled());
        QVERIFY(rj45->isEnabled() && window.findChild<QAction*>("RJ45_connect")->isEnabled());
        QCOMPARE(rj45->text(), QString::fromUtf8("以太网断开"));
        QVERIFY(!window.findChild<QAction*>("select")->isEnabled());
        rj45->trigger();
        QCOMPARE(window.station().ethernetLink().state(), EthernetLink::Closed);
        QCOMPARE(panel7(window), QString::fromUtf8("以太网通讯中断"));
        QVERIFY(window.findChild<QAction*>("select")->isEnabled());
    }

    // 关闭串口 during a run asks, stops the run and closes the port once the instrument has had
    // both test-end frames on it. The adapter goes away in the middle of the next run: the run
    // ends, the operator sees it, can close the port and may connect over Ethernet.
    void aClosedOrVanishingSerialPortEndsTheRun() {
        const QString log = m_dir.filePath("serial.log");
        testing::SimulatorProcess sim;
        QVERIFY2(sim.start({"--no-tcp", "--pty", "--time-scale", "40", "--log", log}),
                 qPrintable(sim.error()));
        const QString settings = m_dir.filePath("serial.ini");
        SettingsStore(settings).write("canshu", "comdev(1)", sim.ptyPath());
        auto prompter = std::make_unique<ScriptedPrompter>();
        prompter->setAnswer({Question::ConfirmStart, Question::DisconnectDuringRun}, true);
        MainWindow window(settings, std::move(prompter), Timing{}.scaled(40));
        window.show();
        window.findChild<QAction*>("COM1")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(panel7(window), QString::fromUtf8("COM1通讯正常"), 5000);
        QVERIFY(!window.findChild<QAction*>("RJ45")->isEnabled());
        QSignalSpy ended(&window.station().run(), &RunController::runEnded);
        auto* close = window.findChild<QAction*>("Com_off");
        for (bool vanishes : {false, true}) {
            if (vanishes) {
                window.findChild<QAction*>("COM1")->trigger();
                QTRY_COMPARE_WITH_TIMEOUT(panel7(window), QString::fromUtf8("COM1通讯正常"), 5000);
            }
            window.findChild<QAbstractButton*>("test13")->click();
            QTRY_VERIFY_WITH_TIMEOUT(window.channels().sampleIndex > 3, 5000);
            if (vanishes) {
                sim.kill();
            } else {
                close->trigger();
                QTRY_COMPARE_WITH_TIMEOUT(panel7(window), QString::fromUtf8("COM1串口已关闭"),
                                          5000);
                QCOMPARE(testing::SimulatorProcess::afterLastPoll(log), QStringList({"11", "11"}));
            }
            QTRY_COMPARE_WITH_TIMEOUT(ended.size(), vanishes ? 2 : 1, 5000);
        }
        QCOMPARE(panel7(window), QString::fromUtf8("COM1通讯异常"));
        QCOMPARE(window.findChild<QAbstractButton*>("test13")->text(),
                 QString::fromUtf8("1-3测试开始"));
        QVERIFY(window.findChild<QAction*>("RJ45")->isEnabled());
        QVERIFY(close->isEnabled());
        close->trigger();
        QTRY_COMPARE(panel7(window), QString::fromUtf8("COM1串口已关闭"));
    }

    // Closing the window during a run asks, stops the run, and the window goes only after the
    // instrument had both test-end frames. 记录下次测试的通讯 ticked before the start records
    // that run's link, to its end frames, and clears itself.
    void closingTheWindowEndsTheRunFirst() {
        const QString log = m_dir.filePath("close.log");
        testing::SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "40", "--log", log}), qPrintable(sim.error()));
        auto prompter = std::make_unique<ScriptedPrompter>();
        prompter->setAnswer({Question::ConfirmStart, Question::QuitDuringRun}, true);
        MainWindow window(m_dir.filePath("close.ini"), std::move(prompter), Timing{}.scaled(40));
        window.show();
        type(window, "Text41_0", "127.0.0.1");
        type(window, "Text42_0", QString::number(sim.port()));
        window.findChild<QAction*>("RJ45")->trigger();
        auto* start = window.findChild<QAbstractButton*>("test13");
        QTRY_VERIFY_WITH_TIMEOUT(start->isVisible(), 5000); // the handshake was answered
        auto* traceNextRun = window.findChild<QAction*>("traceNextRun");
        traceNextRun->trigger();
        QVERIFY(traceNextRun->isChecked());
        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(window.channels().sampleIndex > 3, 5000);
        QVERIFY(!traceNextRun->isChecked());
        window.close();
        QVERIFY(window.isVisible()); // the frames are on their way
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
        QTRY_COMPARE(testing::SimulatorProcess::afterLastPoll(log),
                     QStringList({"11", "11", "closed"}));
        QFile trace(window.station().linkTracing().lastRunTrace());
        QVERIFY2(trace.open(QIODevice::ReadOnly), qPrintable(trace.fileName()));
        const QString traced = QString::fromUtf8(trace.readAll());
        QVERIFY(traced.startsWith("# q7rk link trace 1\n"));
        QVERIFY(traced.contains(" > poll #1 s=1 ") && traced.contains(" sample 3\n"));
        QCOMPARE(traced.count(" > result #"), 2);
        QVERIFY(traced.contains(" note run ended: stopped\n"));
        trace.remove();
        QDir().rmdir(QFileInfo(trace).absolutePath()); // when the test made it
    }

    // During a run of channels 1-3: their set values take no typing and the poll keeps the
    // set point; an idle channel's replaced entry shows a hint; the verdict shows beside the
    // curves; after the run everything unlocks, and quitting asks before an unsaved test is
    // given up.
    void aRunningGroupKeepsItsSetValues() {
        const QString log = m_dir.filePath("locked.log");
        testing::SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "40", "--rate", "0.8", "--log", log}),
                 qPrintable(sim.error()));
        const QString settings = m_dir.filePath("locked.ini");
        {
            SettingsStore s(settings);
            s.write("canshu", "option1(0)", "False");
            s.write("canshu", "option1(1)", "False");
            for (int k = 0; k < 3; ++k)
                s.write("canshu", QString("Thl(%1)").arg(k), "20");
        }
        auto prompter = std::make_unique<ScriptedPrompter>();
        ScriptedPrompter* operatorAnswers = prompter.get();
        operatorAnswers->setAnswer(Question::ConfirmStart, true);
        operatorAnswers->setAnswer({Question::QuitUnsaved, Question::SaveResults}, false);
        MainWindow window(settings, std::move(prompter), Timing{}.scaled(40));
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        type(window, "Text41_0", "127.0.0.1");
        type(window, "Text42_0", QString::number(sim.port()));
        window.findChild<QAction*>("RJ45")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(panel7(window), QString::fromUtf8("以太网通讯正常"), 5000);
        window.tabs()->setCurrentIndex(3);
        auto* start = window.findChild<QAbstractButton*>("test13");
        QTRY_VERIFY_WITH_TIMEOUT(start->isVisible(), 5000); // the handshake was answered
        QSignalSpy ended(&window.station().run(), &RunController::runEnded);
        start->click();
        QCOMPARE(start->text(), QString::fromUtf8("1-3测试停止"));
        // One "1-3测试停止" on the toolbar: the stop-all button steps aside during the run.
        QTRY_VERIFY(!window.findChild<QAbstractButton*>("stop16")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(window.channels().sampleIndex > 3, 5000);
        // Beside the curve, in place of the 待定 badge: what is left of the test.
        auto* remaining = window.findChild<QLabel*>("Remaining_0");
        QVERIFY(!remaining->isHidden());
        QVERIFY2(remaining->text().startsWith(QString::fromUtf8("等待")) ||
                     remaining->text().startsWith(QString::fromUtf8("剩余")),
                 qPrintable(remaining->text()));
        const QString setPoint = testing::SimulatorProcess::lastSetVoltage(log);
        QVERIFY(!setPoint.isEmpty());

        auto* formation = window.findChild<QLineEdit*>("Text1_0");
        QVERIFY(formation->isReadOnly());
        typeAndTab(window, "Text1_0", "abc");
        QCOMPARE(formation->text(), QString("200"));
        QVERIFY(!window.findChild<QRadioButton*>("Option6_0")->isEnabled());
        // The poll carries channels 4-6 too: outside the group, their set values and kind
        // options are held all the same.
        const QString idleSetPoint = testing::SimulatorProcess::lastSetVoltage(log, 3);
        typeAndTab(window, "Text1_3", "500");
        QCOMPARE(text(window, "Text1_3"), QString("800"));
        QVERIFY(!window.findChild<QRadioButton*>("Option6_1")->isEnabled());

        const int n = window.channels().sampleIndex;
        QTRY_VERIFY_WITH_TIMEOUT(window.channels().sampleIndex > n + 3, 5000);
        QCOMPARE(testing::SimulatorProcess::lastSetVoltage(log), setPoint);
        QCOMPARE(testing::SimulatorProcess::lastSetVoltage(log, 3), idleSetPoint);
        auto* badge = window.findChild<QLabel*>("Verdict_0");
        QCOMPARE(badge->text(), QString::fromUtf8("待定"));

        QVERIFY(ended.wait(30000));
        QVERIFY(remaining->isHidden());
        // After the run an idle channel takes typing again; a replaced entry shows a hint
        // that stays until the box is edited again.
        QVERIFY(window.findChild<QRadioButton*>("Option6_1")->isEnabled());
        typeAndTab(window, "Text3_4", "abc");
        QCOMPARE(text(window, "Text3_5"), QString("2"));
        auto* hint = window.findChild<QLabel*>("EntryHint");
        QVERIFY(hint && hint->isVisible());
        QCOMPARE(hint->text(), QString::fromUtf8("输入无效，已改为 2"));
        QTest::keyClicks(window.findChild<QLineEdit*>("Text3_4"), "5");
        QVERIFY(!hint->isVisible());
        QCOMPARE(badge->text(), QString::fromUtf8("合格"));
        QCOMPARE(badge->grab().toImage().pixelColor(2, 2), QColor(0, 150, 0));
        QCOMPARE(window.findChild<QLabel*>("panel1")->text(), QString::fromUtf8("第1路TV测试结束"));
        QVERIFY(text(window, "Text6_0").toInt() > 1);
        // Finished and not stored: the test keeps what it was run with.
        QVERIFY(formation->isReadOnly());
        QVERIFY(!window.findChild<QRadioButton*>("Option6_0")->isEnabled());

        window.close();
        QVERIFY(window.isVisible());
        QCOMPARE(operatorAnswers->texts().last(),
                 QString::fromUtf8("测试数据尚未保存，确定要退出吗？"));
        // 新建 gives the test up on Yes, and the boxes are the operator's again.
        operatorAnswers->setAnswer(Question::NewTestUnsaved, true);
        window.findChild<QAction*>("new2")->trigger();
        QVERIFY(!formation->isReadOnly());
        QVERIFY(window.findChild<QRadioButton*>("Option6_0")->isEnabled());
        window.findChild<QAction*>("exit")->trigger();
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(WindowRunTest)
#include "tst_window_run.moc"
