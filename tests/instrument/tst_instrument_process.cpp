// The simulator as a program: started with QProcess, talked to over TCP and over its
// pseudo-terminal exactly as the program would.

#include "ProgramSide.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <functional>

using namespace q7rk::test;

namespace {

// Waits for `done` while `object` emits `signal`, at most `ms`.
template <typename Object, typename Signal>
bool waitFor(Object* object, Signal signal, const std::function<bool()>& done, int ms) {
    QSignalSpy spy(object, signal);
    QDeadlineTimer deadline(ms);
    while (!done())
        if (deadline.hasExpired() || !spy.wait(int(deadline.remainingTime()))) return done();
    return true;
}

class Simulator {
public:
    ~Simulator() {
        process.kill();
        process.waitForFinished(3000);
    }

    bool start(const QStringList& arguments) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { out += process.readAllStandardOutput(); });
        process.start(Q7RK_INSTRUMENT_EXE, arguments);
        if (!waitFor(
                &process, &QProcess::readyReadStandardOutput,
                [this] { return out.contains("READY\n"); }, 5000))
            return false;
        const auto listen = QRegularExpression("LISTEN [^\\n]*:(\\d+)\\n").match(out);
        port = quint16(listen.captured(1).toUInt());
        ptyPath = QRegularExpression("PTY (\\S+)\\n").match(out).captured(1);
        return true;
    }

    QProcess process;
    QByteArray out;
    quint16 port = 0;
    QString ptyPath;
};

// The program's end of a TCP link: replies are cut into 107-byte frames.
class Client {
public:
    bool connectTo(quint16 port) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            pending += socket.readAll();
            for (; pending.size() >= 107; pending.remove(0, 107))
                replies.append(pending.left(107));
        });
        socket.connectToHost("127.0.0.1", port);
        return socket.waitForConnected(3000);
    }

    void send(const QByteArray& frame) {
        socket.write(frame);
        ++sent;
    }

    bool waitReplies(qsizetype n, int ms = 3000) {
        return waitFor(
            &socket, &QTcpSocket::readyRead, [&] { return replies.size() >= n; }, ms);
    }

    QTcpSocket socket;
    QByteArray pending;
    QList<QByteArray> replies;
    int sent = 0;
};

QStringList codesOf(const QList<QByteArray>& frames) {
    QStringList codes;
    for (const QByteArray& f : frames)
        codes << QString::number(quint8(f.at(6)));
    return codes;
}

const ChannelSet kOff{};
const ChannelSet kTv200{true, 250.0, 2.0}; // formation voltage 200 V, 2 mA

} // namespace

class InstrumentProcessTest : public QObject {
    Q_OBJECT
private slots:
    void commandLine() {
        QProcess help;
        help.start(Q7RK_INSTRUMENT_EXE, {"--help"});
        QVERIFY(help.waitForFinished(5000));
        QCOMPARE(help.exitCode(), 0);
        QVERIFY(help.readAllStandardOutput().contains("--drop-every"));
        QProcess bad;
        bad.start(Q7RK_INSTRUMENT_EXE, {"--spark", "9:100"});
        QVERIFY(bad.waitForFinished(5000));
        QCOMPARE(bad.exitCode(), 2);
    }

    // A TV channel rises through point A on scaled time, an off channel stays at zero, an
    // electrolyte channel flashes; the log lists every frame received, in order.
    void tcpRunWithLog() {
        QTemporaryDir dir;
        const QString logPath = dir.filePath("frames.log");
        Simulator sim;
        QVERIFY(
            sim.start({"--port", "0", "--time-scale", "50", "--spark", "3:100", "--log", logPath}));
        Client client;
        QVERIFY(client.connectTo(sim.port));
        const QByteArray handshake = commandFrame(0);
        client.send(handshake);
        QVERIFY(client.waitReplies(1));
        QCOMPARE(quint8(client.replies.at(0).at(6)), quint8(128));
        QVERIFY(trailerIntact(client.replies.at(0)));

        const ChannelSet sets[6] = {kTv200, kOff, {true, 300.0, 2.0}, kOff, kOff, kOff};
        QTimer poll;
        int polls = 0;
        QObject::connect(&poll, &QTimer::timeout,
                         [&] { client.send(pollFrame(1 + polls++ / 4, sets)); });
        QElapsedTimer wall;
        wall.start();
        poll.start(40);
        auto reached = [&] { return replyReading(client.replies.last(), 0).volts >= 180.0; };
        QVERIFY(client.waitReplies(2));
        QVERIFY(waitFor(&client.socket, &QTcpSocket::readyRead, reached, 10000));
        poll.stop();
        // 180 V at 2.5 V/s takes over a minute of model time: 1.2 s of wall time at ×50.
        QVERIFY2(wall.elapsed() > 1000, qPrintable(QString::number(wall.elapsed())));

        double previous = 0.0;
        double previousCell = 0.0;
        bool flashed = false;
        for (const QByteArray& reply : client.replies.mid(1)) {
            QCOMPARE(quint8(reply.at(6)), quint8(135));
            const double v = replyReading(reply, 0).volts;
            QVERIFY(v >= previous - 0.1 && v < 206.0);
            previous = v;
            QCOMPARE(replyReading(reply, 1).volts, 0.0);
            const double cell = replyReading(reply, 2).volts;
            flashed = flashed || cell < previousCell - 20.0;
            previousCell = cell;
        }
        QVERIFY(flashed);
        QCOMPARE(replyReading(client.replies.at(1), 0).volts, 0.0);
        QVERIFY(replyReading(client.replies.last(), 0).milliamps > 1.9); // still charging

        // The result frame is not answered; the handshake after it shows it was read.
        client.send(commandFrame(11));
        client.send(handshake);
        QVERIFY(client.waitReplies(client.sent - 1));
        QCOMPARE(quint8(client.replies.last().at(6)), quint8(128));
        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().split('\n');
        QCOMPARE(lines.size(), client.sent + 1); // ends in a newline
        const QRegularExpression line(
            "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3} (\\d+) ([0-9a-f]{214})$");
        QStringList codes;
        for (const QByteArray& l : lines.first(client.sent)) {
            const auto m = line.match(QString::fromLatin1(l));
            QVERIFY2(m.hasMatch(), l.constData());
            codes << m.captured(1);
        }
        QCOMPARE(codes.first(), "0");
        QCOMPARE(codes.count("7"), polls);
        QCOMPARE(codes.mid(codes.size() - 2), QStringList({"11", "0"}));
        QVERIFY(lines.first().endsWith(handshake.toHex()));
    }

    void faultSwitches() {
        const ChannelSet sets[6] = {kTv200, kOff, kOff, kOff, kOff, kOff};
        {
            Simulator sim;
            QVERIFY(sim.start({"--port", "0", "--drop-every", "2"}));
            Client c;
            QVERIFY(c.connectTo(sim.port));
            for (int i = 1; i <= 4; ++i)
                c.send(pollFrame(i, sets));
            c.send(commandFrame(0)); // answered last: everything before it has been handled
            QVERIFY(c.waitReplies(3));
            QCOMPARE(codesOf(c.replies), QStringList({"135", "135", "128"}));
            QCOMPARE(field(c.replies.at(0), 14), 1);
            QCOMPARE(field(c.replies.at(1), 14), 3);
        }
        {
            Simulator sim;
            QVERIFY(sim.start({"--port", "0", "--corrupt-every", "2"}));
            Client c;
            QVERIFY(c.connectTo(sim.port));
            c.send(commandFrame(0));
            for (int i = 1; i <= 3; ++i)
                c.send(pollFrame(i, sets));
            QVERIFY(c.waitReplies(4));
            QVERIFY(trailerIntact(c.replies.at(0)));
            QVERIFY(!trailerIntact(c.replies.at(1)));
            QVERIFY(trailerIntact(c.replies.at(2)));
            QVERIFY(!trailerIntact(c.replies.at(3)));
            QCOMPARE(quint8(c.replies.at(1).at(6)), quint8(135)); // only the trailer is broken
        }
        {
            Simulator sim;
            QVERIFY(sim.start({"--port", "0", "--close-after", "3", "--delay-ms", "200"}));
            Client c;
            QVERIFY(c.connectTo(sim.port));
            QElapsedTimer wall;
            wall.start();
            c.send(commandFrame(0) + commandFrame(0) + commandFrame(0) + commandFrame(0));
            QVERIFY(c.waitReplies(1));
            QVERIFY(wall.elapsed() >= 190);
            QVERIFY(waitFor(
                &c.socket, &QTcpSocket::stateChanged,
                [&] { return c.socket.state() == QAbstractSocket::UnconnectedState; }, 3000));
            QCOMPARE(c.replies.size(), 3); // the delayed replies still went out before closing
        }
    }

    void ptyHandshakeAndCleanShutdown() {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyQ7");
        Simulator sim;
        QVERIFY(sim.start({"--no-tcp", "--pty-link", link}));
        QVERIFY(sim.ptyPath.startsWith("/dev/"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath);

        const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios tio{};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
        QByteArray received;
        QSocketNotifier readable(fd, QSocketNotifier::Read);
        QObject::connect(&readable, &QSocketNotifier::activated, [&] {
            char buffer[512];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                received.append(buffer, n);
        });
        const QByteArray frames = commandFrame(0) + pollFrame(1, {kTv200});
        QCOMPARE(::write(fd, frames.constData(), size_t(frames.size())), ssize_t(frames.size()));
        QVERIFY(waitFor(
            &readable, &QSocketNotifier::activated, [&] { return received.size() >= 214; }, 3000));
        QCOMPARE(received.size(), 214);
        QCOMPARE(quint8(received.at(6)), quint8(128));
        QCOMPARE(quint8(received.at(107 + 6)), quint8(135));
        ::close(fd);

        sim.process.terminate();
        QVERIFY(sim.process.waitForFinished(5000));
        QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
};

QTEST_GUILESS_MAIN(InstrumentProcessTest)
#include "tst_instrument_process.moc"
