// The window, offscreen, drives a whole TV test on channel 1 against the simulator: the
// operator's clicks go through the real menu action and toolbar button.
#include "app/MainWindow.h"
#include "shell/ScriptedPrompter.h"
#include "support/SimulatorProcess.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace q7rk;

class WindowRunTest : public QObject {
    Q_OBJECT
private slots:
    void tvTestOnChannelOne() {
        testing::SimulatorProcess sim;
        QVERIFY2(sim.start({"--time-scale", "40"}), qPrintable(sim.error()));
        QTemporaryDir dir;
        const QString settings = dir.filePath("window.ini");
        {
            SettingsStore s(settings);
            s.write("canshu", "option1(0)", "False");
            s.write("canshu", "option1(1)", "False");
            s.write("canshu", "Thl(0)", "20");
        }
        auto prompter = std::make_unique<ScriptedPrompter>();
        ScriptedPrompter* operatorAnswers = prompter.get();
        operatorAnswers->setAnswerFor(QString::fromUtf8("您确定要开始运行吗？"), true);
        MainWindow window(settings, std::move(prompter), Timing{}.scaled(40));
        window.show();

        auto* address = window.findChild<QLineEdit*>("Text41_0");
        auto* port = window.findChild<QLineEdit*>("Text42_0");
        QVERIFY(address && port);
        address->setText("127.0.0.1");
        emit address->textEdited(address->text());
        port->setText(QString::number(sim.port()));
        emit port->textEdited(port->text());

        window.findChild<QAction*>("RJ45")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(window.findChild<QLabel*>("panel7")->text(),
                                  QString::fromUtf8("以太网通讯正常"), 5000);
        auto* start = window.findChild<QAbstractButton*>("test16");
        QVERIFY(start);
        // The test toolbar shows once the instrument answered the handshake.
        QTRY_VERIFY_WITH_TIMEOUT(start->isVisible(), 5000);
        QSignalSpy ended(&window.station().run(), &RunController::runEnded);
        start->click();
        QCOMPARE(start->text(), QString::fromUtf8("1路测试停止"));
        QVERIFY(ended.wait(30000));

        QCOMPARE(window.findChild<QLineEdit*>("Text8_0")->text(), QString::fromUtf8("合格"));
        QCOMPARE(window.findChild<QLabel*>("panel1")->text(), QString::fromUtf8("第1路TV测试结束"));
        QCOMPARE(start->text(), QString::fromUtf8("1路测试开始"));
        QVERIFY(window.findChild<QLineEdit*>("Text6_0")->text().toInt() > 1);
        // The curve is on the chart the operator sees: some red below the top of TV(0).
        const QImage chart = window.charts().channelChart(0).image();
        int red = 0;
        for (int y = 10; y < chart.height() - 30; ++y)
            for (int x = 30; x < chart.width() - 30; ++x)
                red += chart.pixelColor(x, y) == QColor(255, 0, 0);
        QVERIFY(red > 50);
    }
};

QTEST_MAIN(WindowRunTest)
#include "tst_window_run.moc"
