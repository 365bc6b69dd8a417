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

const ChannelSet kOff{};

} // namespace

class InstrumentProcessTest : public QObject {
    Q_OBJECT
private slots:
    void commandLine() {
        QProcess help;
        help.start(Q7RK_INSTRUMENT_EXE, {"--help"});
        QVERIFY(help.waitForFinished(5000));
        QCOMPARE(help.exitCode(), 0);
        QVERIFY(help.readAllStandardOutput().contains("--split-replies"));
        for (const QStringList& args :
             {QStringList{"--spark", "9:100"}, {"--baud", "-1"}, {"--noise-bytes-every", "0"}}) {
            QProcess bad;
            bad.start(Q7RK_INSTRUMENT_EXE, args);
            QVERIFY(bad.waitForFinished(5000));
            QCOMPARE(bad.exitCode(), 2);
        }
    }

    // In real time the pseudo-terminal is a 9600 baud line: each of the two frames takes
    // 111 ms to arrive and each reply as long to leave, so the second reply cannot be complete
    // before three frame times.
    void ptyAtLineSpeedAndCleanShutdown() {
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
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(::write(fd, frames.constData(), size_t(frames.size())), ssize_t(frames.size()));
        QVERIFY(waitFor(
            &readable, &QSocketNotifier::activated, [&] { return received.size() >= 214; }, 3000));
        const qint64 frameMs = 107 * 10 * 1000 / 9600;
        QVERIFY2(clock.elapsed() >= 3 * frameMs && clock.elapsed() < 1000,
                 qPrintable(QString::number(clock.elapsed())));
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
