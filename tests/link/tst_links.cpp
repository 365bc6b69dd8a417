// The serial search and the Ethernet link against the real simulator, on pseudo-terminals
// and loopback TCP.
#include "LinkFixture.h"
#include "link/ActiveLink.h"
#include "link/EthernetLink.h"
#include "link/Frame.h"
#include "link/ResultSender.h"
#include "link/SerialLink.h"
#include "link/SerialPollExchange.h"
#include "link/SerialTransport.h"
#include "link/SetValueTables.h"
#include "link/TcpTransport.h"
#include "params/PanelModel.h"
#include "settings/ChannelModel.h"
#include "settings/SettingsStore.h"
#include "shell/ScriptedPrompter.h"
#include "shell/ShellModel.h"
#include "station/LinkSupervisor.h"
#include "support/SimulatorProcess.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace q7rk;
using q7rk::testing::SilentPty;
using q7rk::testing::SimulatorProcess;

namespace {

const QString kConnected =
    QString::fromUtf8("Q-7RK-M-2011060705ERP-1.15连接成功！您可以进行下一步操作测试");
const QString kFailed = QString::fromUtf8("智能TV仪未能连接！请检查串口并再次连接试试！");

// A loopback port where a connection never completes: the listener never accepts and its
// queue is kept full, so the kernel drops further connection requests unanswered.
class HangingListener {
public:
    HangingListener() {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
            ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        m_port = ntohs(a.sin_port);
        for (int& fd : m_fillers) {
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&a), len);
        }
        QTest::qWait(100); // let the queue fill
    }
    ~HangingListener() {
        for (int fd : m_fillers)
            if (fd >= 0) ::close(fd);
        if (m_listener >= 0) ::close(m_listener);
    }
    bool isValid() const { return m_port != 0; }
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    std::array<int, 4> m_fillers{-1, -1, -1, -1};
    quint16 m_port = 0;
};

// Both links under their supervisor, with the pieces of the window it changes, on a private
// settings file.
struct Bench : LinkFixture {
    explicit Bench(const Timing& ethernetTiming = Timing{}) : ethernet(ethernetTiming) {}
    QTemporaryDir dir;
    SettingsStore store{dir.filePath(QStringLiteral("link.ini"))};
    PanelModel panel{channels, store};
    ShellModel shell;
    ScriptedPrompter prompter;
    Timing timing = Timing{}.scaled(5);
    SerialLink serial{store, timing};
    EthernetLink ethernet;
    ActiveLink active{serial, ethernet};
    LinkSupervisor links{serial, ethernet, active, panel, shell, prompter};
    // Points the Ethernet link at a loopback port.
    void aim(quint16 port) {
        panel.setText(0, Box::InstrumentAddress, "127.0.0.1");
        panel.setText(0, Box::InstrumentPort, QString::number(port));
    }
};

// The serial poll of channels 1-3 over the simulator's pseudo-terminal.
struct LivePoll : LinkFixture {
    explicit LivePoll(const QString& pty) : port(pty), exchange(Timing{}.scaled(5)) {
        for (int k = 0; k < 3; ++k)
            tests[k].stopped = false;
        exchange.setTransport(&port);
        QObject::connect(&exchange, &SerialPollExchange::replied,
                         [this](const RawReadings& r) { applyReadings(channels, r); });
    }
    bool tick() {
        return exchange.tick([this] { return buildPoll(channels, tests, tables).bytes; });
    }
    SetValueTables tables;
    SerialTransport port;
    SerialPollExchange exchange;
};

} // namespace

class LinksTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void serialSearchSkipsAnEmptyPortAndStoresTheMenuChoice() {
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--no-tcp", "--pty"}), qPrintable(sim.error()));
        SilentPty empty;
        QVERIFY(empty.isValid());
        Bench b;
        b.store.write("canshu", "comdev(3)", empty.path());
        b.store.write("canshu", "comdev(4)", sim.ptyPath());
        SerialLink& link = b.serial;
        QSignalSpy done(&link, &SerialLink::searchFinished);
        b.links.openSerial(3);
        QVERIFY(link.isSearching());
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("正在搜索COM3…"));
        QVERIFY(done.wait(5000));
        QCOMPARE(done.first().first().toBool(), true);
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("COM4通讯正常"));
        QCOMPARE(b.store.read("canshu", "comport"), QString("3"));
        QCOMPARE(b.prompter.texts(), QStringList{kConnected});
        QVERIFY(b.shell.toolbarVisible());
        QVERIFY(!b.shell.button(Command::ToggleEthernet)->enabled);

        b.links.openSerial(1); // already open
        QCOMPARE(b.prompter.texts().last(), QString::fromUtf8("串口已经打开！"));
        b.links.closeSerial();
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("COM3串口已关闭"));
        QVERIFY(b.shell.button(Command::ToggleEthernet)->enabled);
        QVERIFY(!b.shell.toolbarVisible() && !link.transport());
    }

    void serialSearchFailures() {
        Bench b;
        b.store.write("canshu", "comdev(2)", m_dir.filePath("no-such-tty"));
        SerialLink& link = b.serial;
        QSignalSpy done(&link, &SerialLink::searchFinished);
        b.shell.setToolbarVisible(true);
        b.links.openSerial(2);
        QCOMPARE(done.count(), 1); // a port that cannot be opened ends the search at once
        QCOMPARE(done.first().first().toBool(), false);
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("COM2通讯异常"));
        QCOMPARE(b.prompter.shown().last().title, QString::fromUtf8("智能TV仪测试系统"));
        QCOMPARE(b.prompter.texts(), QStringList{kFailed});
        QVERIFY(!b.shell.toolbarVisible());

        // Silent ports up to the last one: the search runs past port 12.
        SilentPty p11, p12;
        b.store.write("canshu", "comdev(11)", p11.path());
        b.store.write("canshu", "comdev(12)", p12.path());
        b.links.openSerial(11);
        QVERIFY(done.wait(5000));
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("COM13通讯异常"));
        QVERIFY(!link.isOpen());
    }

    // Two unanswered polls are ridden out, a broken reply is asked for again without counting
    // as a time-out, and three time-outs in a row end the exchange.
    void serialPollRidesOutTimeOutsAndBrokenReplies() {
        const QString log = m_dir.filePath("poll.log");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--no-tcp", "--pty", "--drop-first", "2", "--corrupt-every", "2",
                            "--log", log}),
                 qPrintable(sim.error()));
        LivePoll live(sim.ptyPath());
        QVERIFY(live.port.open());
        QSignalSpy finished(&live.exchange, &SerialPollExchange::finished);
        QSignalSpy lost(&live.exchange, &SerialPollExchange::replyLost);
        QSignalSpy rejected(&live.exchange, &SerialPollExchange::replyRejected);
        live.channels.rawVoltage.fill(-1);
        QVERIFY(live.tick());
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), true);
        for (int k = 0; k < 3; ++k) {
            QVERIFY(!live.tests[k].stopped);
            QVERIFY(live.channels.rawVoltage[k] >= 0);
        }
        QCOMPARE(live.channels.rawVoltage[4], 0.0f); // channels 4-6 read 0 over serial
        QCOMPARE(SimulatorProcess::loggedFrames(log, 7).size(), 3); // two unanswered, one answered
        QCOMPARE(lost.size(), 2);

        QVERIFY(live.tick()); // the second reply is broken, the third whole
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.at(1).first().toBool(), true);
        QCOMPARE(live.exchange.timeoutCount(), 0);
        QCOMPARE(SimulatorProcess::loggedFrames(log, 7).size(), 5);
        QCOMPARE(rejected.size(), 1);

        // Three more in a row go unanswered: the exchange gives up and only reports it.
        sim.kill();
        QVERIFY(live.tick());
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.at(2).first().toBool(), false);
        QVERIFY(!live.tests[0].stopped);
        QCOMPARE(lost.size(), 5);
    }

    void ethernetConnectsDecodesSendsResultsTwiceAndNoticesTheHangUp() {
        const QString log = m_dir.filePath("ethernet.log");
        SimulatorProcess sim;
        // Replies come in pieces: the link joins them.
        QVERIFY2(sim.start({"--close-after", "4", "--split-replies", "--log", log}),
                 qPrintable(sim.error()));
        Bench b;
        b.aim(sim.port());
        EthernetLink& link = b.ethernet;
        ResultSender sender(b.channels, b.tests, Timing{}.scaled(2)); // 250 ms between frames
        sender.addLink(&link);
        QCOMPARE(sender.POWER_OFF(), 0); // no link stands yet
        QSignalSpy handshake(&link, &EthernetLink::handshakeReplied);
        QSignalSpy decoded(&link, &EthernetLink::pollReplyDecoded);
        QSignalSpy lost(&link, &InstrumentLink::linkLost);
        connect(&link, &InstrumentLink::readingsReceived, this,
                [&b](const RawReadings& r) { applyReadings(b.channels, r); });

        b.links.toggleEthernet();
        QCOMPARE(link.state(), EthernetLink::Connecting);
        QVERIFY(!link.isReady());
        QVERIFY(handshake.wait(5000));
        QCOMPARE(link.state(), EthernetLink::Connected);
        QVERIFY(link.isReady() && &b.active.current() == &link);
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("以太网通讯正常"));
        QCOMPARE(b.shell.menuItem(Command::ToggleEthernet)->caption,
                 QString::fromUtf8("以太网断开"));
        QVERIFY(b.shell.menu(Menu::Connection).enabled &&
                !b.shell.menuItem(Command::CloseSerial)->enabled);
        // Told without a modal box: it may come again during a run.
        QCOMPARE(b.prompter.shown().size(), 1);
        QCOMPARE(b.prompter.shown().first().kind, ScriptedPrompter::Shown::Notice);
        QCOMPARE(b.prompter.texts(), QStringList{kConnected});

        b.channels.rawVoltage.fill(-1);
        QByteArray poll = emptyFrame(FrameCode::Poll);
        for (int k = 0; k < 6; ++k)
            poll[8 + 16 * k] = 3;
        QVERIFY(link.send(poll));
        QVERIFY(decoded.wait(5000));
        for (int k = 0; k < 6; ++k)
            QVERIFY(b.channels.rawVoltage[k] >= 0);

        // A new run resets the verdicts before the second result frame goes: it still
        // repeats the first.
        b.set(0, Box::TvVerdict, "合格");
        QSignalSpy twice(&sender, &ResultSender::twiceSent);
        sender.sendTwice();
        b.set(0, Box::TvVerdict, "待定");
        QVERIFY(twice.wait(5000));
        QTRY_COMPARE_WITH_TIMEOUT(SimulatorProcess::loggedFrames(log, 11).size(), 2, 5000);
        const auto frames = SimulatorProcess::loggedFrames(log, 11);
        QCOMPARE(frames[0].hex, frames[1].hex);
        QCOMPARE(frames[0].hex.mid(2 * 8, 2), QByteArray("40")); // channel 1 合格, as sent

        // The simulator hangs up after its fourth frame: closed and reported, no message.
        QTRY_COMPARE_WITH_TIMEOUT(link.state(), EthernetLink::Closed, 5000);
        QCOMPARE(lost.size(), 1);
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("以太网通讯中断"));
        QVERIFY(b.shell.menu(Menu::SerialPorts).enabled);
        QCOMPARE(b.prompter.texts().size(), 1);
        QVERIFY(!link.send(poll));
        QCOMPARE(sender.POWER_OFF(), 0);
    }

    // A refused connection goes back quietly; a port that is not a number and an empty address
    // are said at once;
    // an address where nothing completes the connection, and a peer that connects but never
    // answers the handshake, are given up with a message saying which.
    void ethernetAttemptsThatFailOrNeverFinish() {
        quint16 closedPort;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            closedPort = probe.serverPort();
        }
        HangingListener hanging;
        QVERIFY(hanging.isValid());
        Timing fast;
        fast.connectTimeoutMs = 300;
        fast.handshakeTimeoutMs = 300;
        Bench b(fast);
        b.aim(closedPort);
        EthernetLink& link = b.ethernet;
        b.links.toggleEthernet();
        QTRY_COMPARE_WITH_TIMEOUT(link.state(), EthernetLink::Closed, 5000);
        QVERIFY(b.prompter.shown().isEmpty());
        QCOMPARE(b.shell.statusText(7), QString::fromUtf8("以太网通讯中断"));
        // Said before any attempt: a port that is not a number, an empty address.
        for (auto [box, typed, said] : {std::tuple{Box::InstrumentPort, "40o1", "端口"},
                                        {Box::InstrumentAddress, "  ", "请输入仪器的IP地址"}}) {
            b.aim(closedPort);
            b.panel.setText(0, box, typed);
            b.links.toggleEthernet();
            QCOMPARE(link.state(), EthernetLink::Closed);
            QVERIFY(b.prompter.texts().size() == 1 &&
                    b.prompter.texts().first().contains(QString::fromUtf8(said)));
            b.prompter.clear();
        }

        b.aim(hanging.port());
        b.links.toggleEthernet();
        QCOMPARE(link.state(), EthernetLink::Connecting);
        QTRY_COMPARE_WITH_TIMEOUT(link.state(), EthernetLink::Closed, 5000);
        QCOMPARE(b.prompter.texts().size(), 1);
        QVERIFY(b.prompter.texts().first().contains(QString::fromUtf8("连接超时")));
        QCOMPARE(b.shell.menuItem(Command::ToggleEthernet)->caption,
                 QString::fromUtf8("以太网连接"));

        QTcpServer mute;
        QVERIFY(mute.listen(QHostAddress::LocalHost));
        b.aim(mute.serverPort());
        b.links.toggleEthernet();
        QTRY_COMPARE_WITH_TIMEOUT(link.state(), EthernetLink::Connected, 5000);
        QVERIFY(!link.isReady());
        QTRY_COMPARE_WITH_TIMEOUT(link.state(), EthernetLink::Closed, 5000);
        QVERIFY(b.prompter.texts().last().contains(QString::fromUtf8("握手")));
        QCOMPARE(b.prompter.texts().size(), 2);
    }
};

QTEST_GUILESS_MAIN(LinksTest)
#include "tst_links.moc"
