// The simulator as a program: its command line, and its pseudo-terminal talked to exactly as
// the program would.

#include "ProgramSide.h"
#include "support/SimulatorProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace q7rk::test;
using q7rk::testing::SimulatorProcess;

class InstrumentProcessTest : public QObject {
    Q_OBJECT
private slots:
    void commandLine() {
        QProcess help;
        help.start(SimulatorProcess::program(), {"--help"});
        QVERIFY(help.waitForFinished(5000));
        QCOMPARE(help.exitCode(), 0);
        QVERIFY(help.readAllStandardOutput().contains("--split-replies"));
        for (const QStringList& args :
             {QStringList{"--spark", "9:100"}, {"--baud", "-1"}, {"--noise-bytes-every", "0"}}) {
            QProcess bad;
            bad.start(SimulatorProcess::program(), args);
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
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--no-tcp", "--pty-link", link, "--baud", "9600"}),
                 qPrintable(sim.error()));
        QVERIFY(sim.ptyPath().startsWith("/dev/"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath());

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
        QTRY_VERIFY_WITH_TIMEOUT(received.size() >= 214, 3000);
        const qint64 frameMs = 107 * 10 * 1000 / 9600;
        QVERIFY2(clock.elapsed() >= 3 * frameMs && clock.elapsed() < 1000,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(received.size(), 214);
        QCOMPARE(quint8(received.at(6)), quint8(128));
        QCOMPARE(quint8(received.at(107 + 6)), quint8(135));
        ::close(fd);

        sim.process().terminate();
        QVERIFY(sim.process().waitForFinished(5000));
        QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process().exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
};

QTEST_GUILESS_MAIN(InstrumentProcessTest)
#include "tst_instrument_process.moc"
