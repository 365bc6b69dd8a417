// The serial search and the Ethernet link against the real simulator, on pseudo-terminals
// and loopback TCP.
#include "link/EthernetLink.h"
#include "link/SerialLink.h"
#include "params/PanelModel.h"
#include "settings/ChannelModel.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"
#include "shell/ShellModel.h"
#include "support/SimulatorProcess.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace q7rk;
using q7rk::testing::SilentPty;
using q7rk::testing::SimulatorProcess;

namespace {

const QString kConnected =
    QString::fromUtf8("Q-7RK-M-2011060705ERP-1.15连接成功！您可以进行下一步操作测试");
const QString kFailed = QString::fromUtf8("智能TV仪未能连接！请检查串口并再次连接试试！");

// The pieces of the window that the links change, on a private settings file.
struct Bench {
    explicit Bench(const QString& path) : settings(path) {}
    SettingsStore settings;
    ChannelModel channels;
    PanelModel panel{channels, settings};
    ShellModel shell;
    ScriptedPrompter prompter;
    Timing timing = Timing{}.scaled(5);
};

QByteArray frame(quint8 code) {
    QByteArray f(107, '\0');
    const char head[] = {0x77, 0x20, 0x11, 0x06, 0x07, 0x05};
    for (int i = 0; i < 6; ++i)
        f[i] = head[i];
    f[6] = char(code);
    f[7] = 1;
    f[104] = 0x0F;
    f[105] = char(0xF0);
    f[106] = char(0x86);
    return f;
}

} // namespace

class LinksTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_n = 0;
    QString freshSettings() { return m_dir.filePath(QStringLiteral("s%1.ini").arg(++m_n)); }

private slots:
    void serialSearchSkipsAnEmptyPortAndStoresTheMenuChoice() {
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--no-tcp", "--pty"}), qPrintable(sim.error()));
        SilentPty empty;
        QVERIFY(empty.isValid());
        Bench b(freshSettings());
        b.settings.write("canshu", "comdev(3)", empty.path());
        b.settings.write("canshu", "comdev(4)", sim.ptyPath());
        SerialLink link(b.channels, b.settings, b.shell, b.prompter, b.timing);
        QSignalSpy done(&link, &SerialLink::searchFinished);
        b.channels.serialLinkActive = false;
        link.connectFrom(3);
        QVERIFY(link.isSearching());
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("正在搜索COM3…"));
        QVERIFY(done.wait(5000));
        QCOMPARE(done.first().first().toBool(), true);
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("COM4通讯正常"));
        QCOMPARE(b.settings.read("canshu", "comport"), QString("3"));
        QCOMPARE(b.prompter.texts(), QStringList{kConnected});
        QVERIFY(b.channels.serialLinkActive);
        QVERIFY(b.shell.toolbarVisible());
        QVERIFY(!b.shell.button("RJ45_connect")->enabled);
        QVERIFY(!b.shell.menuItem("RJ45")->enabled);
        QVERIFY(link.transport());

        link.connectFrom(1); // already open
        QCOMPARE(b.prompter.texts().last(), QString::fromUtf8("串口已经打开！"));
        link.closePort();
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("COM3串口已关闭"));
        QVERIFY(b.shell.button("RJ45_connect")->enabled);
        QVERIFY(!b.shell.toolbarVisible());
        QVERIFY(!link.transport());
        b.shell.setStatusText(7, "x");
        link.closePort(); // nothing open: nothing happens
        QCOMPARE(b.shell.statusText(7), QString("x"));
    }

    void serialSearchFailures() {
        Bench b(freshSettings());
        b.settings.write("canshu", "comdev(2)", m_dir.filePath("no-such-tty"));
        SerialLink link(b.channels, b.settings, b.shell, b.prompter, b.timing);
        QSignalSpy done(&link, &SerialLink::searchFinished);
        b.shell.setToolbarVisible(true);
        link.connectFrom(2);
        QCOMPARE(done.count(), 1); // a port that cannot be opened ends the search at once
        QCOMPARE(done.first().first().toBool(), false);
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("COM2通讯异常"));
        QCOMPARE(b.prompter.shown().last().title, QString::fromUtf8("智能TV仪测试系统"));
        QCOMPARE(b.prompter.texts(), QStringList{kFailed});
        QVERIFY(!b.shell.toolbarVisible());

        // Silent ports up to the last one: the search runs past port 12.
        SilentPty p11, p12;
        b.settings.write("canshu", "comdev(11)", p11.path());
        b.settings.write("canshu", "comdev(12)", p12.path());
        link.connectFrom(11);
        QVERIFY(done.wait(5000));
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("COM13通讯异常"));
        QVERIFY(!link.isOpen());
    }

    void ethernetConnectsHandshakesAndDecodes() {
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--close-after", "4"}), qPrintable(sim.error()));
        Bench b(freshSettings());
        b.panel.setText(0, boxes::InstrumentAddress, "127.0.0.1");
        b.panel.setText(0, boxes::InstrumentPort, QString::number(sim.port()));
        EthernetLink link(b.channels, b.panel, b.shell, b.prompter);
        QSignalSpy handshake(&link, &EthernetLink::handshakeReplied);
        QSignalSpy decoded(&link, &EthernetLink::pollReplyDecoded);
        QSignalSpy states(&link, &EthernetLink::stateChanged);

        link.toggle();
        QCOMPARE(b.channels.ethernetState, quint8(2));
        QVERIFY(!b.shell.menuItem("RJ45")->enabled);
        QVERIFY(!b.shell.button("RJ45_connect")->enabled);
        QVERIFY(handshake.wait(5000));
        QCOMPARE(b.channels.ethernetState, quint8(1));
        QVERIFY(!b.channels.serialLinkActive);
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("以太网通讯正常"));
        QCOMPARE(b.shell.menuItem("RJ45")->caption, QString::fromUtf8("以太网断开"));
        QVERIFY(!b.shell.menuItem("connet")->enabled);
        QCOMPARE(b.prompter.texts(), QStringList{kConnected});

        b.channels.rawVoltage.fill(-1);
        QByteArray poll = frame(7);
        for (int k = 0; k < 6; ++k)
            poll[8 + 16 * k] = 3;
        QVERIFY(link.send(poll));
        QVERIFY(decoded.wait(5000));
        for (int k = 0; k < 6; ++k)
            QVERIFY(b.channels.rawVoltage[k] >= 0);

        // The simulator hangs up after its fourth frame: closed, no message.
        link.send(poll);
        link.send(poll);
        QTRY_COMPARE_WITH_TIMEOUT(b.channels.ethernetState, quint8(0), 5000);
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("以太网通讯中断"));
        QVERIFY(b.shell.menuItem("connet")->enabled);
        QCOMPARE(b.prompter.texts().size(), 1);
        QVERIFY(!link.send(poll));
    }

    void ethernetGathersFramesFromPiecesAndJoins() {
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost));
        Bench b(freshSettings());
        b.panel.setText(0, boxes::InstrumentAddress, "127.0.0.1");
        b.panel.setText(0, boxes::InstrumentPort, QString::number(peer.serverPort()));
        EthernetLink link(b.channels, b.panel, b.shell, b.prompter);
        QSignalSpy handshake(&link, &EthernetLink::handshakeReplied);
        QSignalSpy decoded(&link, &EthernetLink::pollReplyDecoded);
        link.toggle();
        QVERIFY(peer.waitForNewConnection(5000));
        QTcpSocket* s = peer.nextPendingConnection();

        const QByteArray reply = frame(128);
        s->write(reply.left(10));
        s->flush();
        QTest::qWait(30);
        s->write(reply.mid(10, 60));
        s->flush();
        QTest::qWait(30);
        s->write(reply.mid(70));
        QVERIFY(handshake.wait(5000));
        QVERIFY(!b.channels.serialLinkActive);

        QByteArray a = frame(135), c = frame(135);
        a[16] = 0x12;
        a[17] = 0x34;          // channel 1 voltage 4660
        c[16 + 16 * 5] = 0x01; // channel 6 voltage 256 in the second frame
        c[19 + 16 * 5] = 0x07; // channel 6 current 7
        s->write(QByteArray("\x01\x02junk", 6) + a + c);
        QTRY_COMPARE_WITH_TIMEOUT(decoded.count(), 2, 5000);
        QCOMPARE(b.channels.rawVoltage[0], 0.0f); // second frame wins
        QCOMPARE(b.channels.rawVoltage[5], 256.0f);
        QCOMPARE(b.channels.rawCurrent[5], 7.0f);
        s->write(a.left(50)); // half a frame never reaches the readings
        QTest::qWait(50);
        QCOMPARE(decoded.count(), 2);
    }

    void ethernetRefusedOrMisconfigured() {
        quint16 closedPort;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            closedPort = probe.serverPort();
        }
        Bench b(freshSettings());
        b.panel.setText(0, boxes::InstrumentAddress, "127.0.0.1");
        b.panel.setText(0, boxes::InstrumentPort, QString::number(closedPort));
        EthernetLink link(b.channels, b.panel, b.shell, b.prompter);
        link.toggle();
        QTRY_COMPARE_WITH_TIMEOUT(b.channels.ethernetState, quint8(0), 5000);
        QVERIFY(b.prompter.shown().isEmpty());
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("以太网通讯中断"));
        QVERIFY(b.shell.button("RJ45_connect")->enabled);

        b.panel.setText(0, boxes::InstrumentPort, "40o1");
        link.toggle();
        QCOMPARE(b.channels.ethernetState, quint8(0));
        QCOMPARE(b.prompter.texts().size(), 1);
        QVERIFY(b.prompter.texts().first().contains(QString::fromUtf8("端口")));
    }
};

QTEST_GUILESS_MAIN(LinksTest)
#include "tst_links.moc"
