// The simulator's parts: the calibration inversion against the program's own sampling and
// poll (ProgramSide.h), set-value decoding, frame gathering, the fault switches on the replies and
// the paced output line; then the simulator as a program: its command line, its
// pseudo-terminal and its shutdown.

#include "Calibration.h"
#include "FrameCodec.h"
#include "FrameHandler.h"
#include "InstrumentModel.h"
#include "OutputLine.h"
#include "ProgramSide.h"
#include "Replay.h"
#include "support/SimulatorProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <QtTest>

#include <cmath>

using namespace q7rk;
using namespace q7rk::instrument;
using namespace q7rk::test;
using q7rk::testing::SimulatorProcess;

namespace {

// Where the low range's top and the high range's bottom do not meet, values in between
// cannot be shown; the inversion then gives the nearer edge.
double gapHalfWidth(const LinearPair& low, const LinearPair& high, double split) {
    return std::max(0.0, (split * high.gain + high.offset - split * low.gain - low.offset) / 2);
}

} // namespace

class InstrumentUnitsTest : public QObject {
    Q_OBJECT
    ProgramSide m_program;

private slots:
    // The codes the simulator picks make the program's own sampling tick show the value.
    void readingRoundTripsThroughTheProgramsCalibration() {
        const auto check = [&](int k, double v, double ma, double vGap, double iGap) {
            const MeasureCalibration cal = factoryMeasureCalibration(k);
            const ReadingCodes codes = encodeReading(cal, v, ma);
            const auto shown = m_program.view(k, codes.voltage, codes.current);
            QVERIFY2(std::abs(shown.volts - v) <= 0.1 + vGap + 1e-6 &&
                         std::abs(shown.milliamps - ma) <= 0.001 + iGap + 1e-6,
                     qPrintable(QString("ch%1 %2 V %3 mA -> %4 V %5 mA")
                                    .arg(k)
                                    .arg(v)
                                    .arg(ma)
                                    .arg(shown.volts)
                                    .arg(shown.milliamps)));
        };
        for (int k = 0; k < 6; ++k) {
            const MeasureCalibration cal = factoryMeasureCalibration(k);
            const double iGap = gapHalfWidth(cal.currLow, cal.currHigh, 1.0);
            const double vGap = gapHalfWidth(cal.voltLow, cal.voltHigh, 100.0);
            for (double ma = 0.0; ma <= 10.0; ma += 0.0137)
                check(k, 150.0, ma, 0, iGap);
            for (double v = 0.0; v <= 1000.0; v += 0.37)
                for (double ma : {0.0, 0.05, 2.0})
                    check(k, v, ma, vGap, iGap);
        }
        // Both ranges are actually used, and the split follows the raw value.
        const MeasureCalibration ch1 = factoryMeasureCalibration(0);
        QVERIFY(encodeReading(ch1, 40.0, 0.5).voltage < 5000);
        QVERIFY(encodeReading(ch1, 40.0, 0.5).current < 5000);
        QVERIFY(encodeReading(ch1, 300.0, 2.0).voltage >= 5000);
        QVERIFY(encodeReading(ch1, 300.0, 2.0).current >= 5000);
    }

    // The set values of the program's poll decode to what the operator set (a TV test sets
    // 1.25 times the formation voltage).
    void setValuesDecodeAsThePollEncodesThem() {
        for (const auto& [formation, ma] : {std::pair{8.0, 0.2}, {200.0, 2.0}, {800.0, 10.0}}) {
            const QByteArray poll = m_program.poll(7, formation, ma, 5);
            for (int k = 0; k < 6; ++k) {
                const auto [volts, milliamps] = ProgramSide::setCodes(poll, k);
                const SetCalibration cal = factorySetCalibration(k);
                QVERIFY(std::abs(decodeSetVoltage(cal, volts) - formation * 1.25) < 0.02);
                QVERIFY(std::abs(decodeSetCurrent(cal, milliamps) - ma) < 0.0005);
            }
        }
        QCOMPARE(decodeSetVoltage(factorySetCalibration(4), 6000), 100.0);
        QCOMPARE(decodeSetVoltage(factorySetCalibration(0), 0), 0.0); // never negative
    }

    void gathererResynchronisesOnTheHeader() {
        const QByteArray a = commandFrame(0);
        const QByteArray b = commandFrame(7);
        FrameGatherer g;
        // Noise, a false header without its trailer, then two frames split at odd places.
        QByteArray stream = QByteArray("\x01\x77\x20", 3) + frameHeader() + QByteArray(20, 'x');
        const qsizetype noise = stream.size();
        stream += a + b;
        QList<QByteArray> frames;
        for (qsizetype at = 0; at < stream.size(); at += 13)
            frames += g.feed(stream.mid(at, 13));
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames.at(0), a);
        QCOMPARE(frames.at(1), b);
        QCOMPARE(g.discarded(), noise);
    }

    // Each switch spoils exactly its Nth replies and leaves everything else as a clean
    // instrument would have sent it.
    void faultSwitchesSpoilOnlyTheirReplies() {
        Options clean;
        Options faulty;
        faulty.faults.wrongCodeEvery = 2;
        faulty.faults.shortEvery = 3;
        faulty.faults.noiseBytesEvery = 5;
        FrameHandler good(clean, nullptr);
        FrameHandler bad(faulty, nullptr);
        for (int r = 1; r <= 30; ++r) {
            const QByteArray poll = m_program.poll(r);
            const QByteArray expected = *good.handle(poll, r * 250);
            QByteArray got = *bad.handle(poll, r * 250);
            if (r % 5 == 0) {
                QVERIFY(!got.startsWith(frameHeader()));
                got.remove(0, got.size() - (r % 3 == 0 ? 60 : 107));
            }
            QCOMPARE(got.size(), r % 3 == 0 ? 60 : 107);
            QCOMPARE(frameCode(got), quint8(r % 2 == 0 ? 135 ^ 0x40 : 135));
            got[kCodeByte] = expected.at(kCodeByte);
            QCOMPARE(got, expected.left(got.size()));
        }
    }

    // On the sample clock the model's time is the sample index the polls carry: however many
    // polls a second holds and whenever they arrive, each reads what a wall clock of exactly
    // one second per sample gives, and noise stays the same within a sample.
    void sampleClockFollowsTheSampleIndex() {
        Options bySamples;
        bySamples.clockBySamples = true;
        Options noisyBySamples = bySamples;
        noisyBySamples.noiseMillivolts = 50;
        FrameHandler wall(Options{}, nullptr), samples(bySamples, nullptr),
            noisy(noisyBySamples, nullptr);
        int noiseSeen = 0;
        QList<int> volts;
        for (int r = 1; r <= 40; ++r) {
            const QByteArray poll = m_program.poll(r);
            const QByteArray expected = *wall.handle(poll, r * 1000);
            const QByteArray noisyFirst = *noisy.handle(poll, r * 37);
            for (int again = 0; again <= r % 3; ++again) {
                QCOMPARE(*samples.handle(poll, r * 37 + again), expected);
                QCOMPARE(*noisy.handle(poll, r * 37 + again), noisyFirst);
            }
            noiseSeen += noisyFirst != expected;
            volts << ProgramSide::setCodes(expected, 0).first; // a reply's measured voltage
        }
        QVERIFY(volts.first() < volts[20] && volts[20] < volts.last()); // the sample charges
        QVERIFY(noiseSeen > 30);
    }

    // A paced reply never arrives faster than 10 bits per byte allow, and replies keep their
    // order.
    void outputLinePacesSplitsAndDelays() {
        QElapsedTimer clock;
        QByteArray received;
        qint64 tooEarly = 0;
        LineSettings paced;
        paced.baud = 9600;
        const qint64 byteNs = byteNanoseconds(9600);
        OutputLine line(paced, [&](const QByteArray& bytes) {
            received += bytes;
            tooEarly += qint64(received.size()) * byteNs > clock.nsecsElapsed();
        });
        const QByteArray a = commandFrame(0x80), b = commandFrame(0x87);
        clock.start();
        line.send(a);
        line.send(b);
        bool idle = false;
        line.whenIdle([&] { idle = received.size() == 214; });
        QTRY_VERIFY_WITH_TIMEOUT(idle, 2000);
        QCOMPARE(received, a + b);
        QCOMPARE(tooEarly, 0);
        QVERIFY(clock.elapsed() >= 222 && clock.elapsed() < 3000); // never faster than the line
        // Replies in pieces (--split-replies) are joined by the program's link test.
    }

    void commandLine() {
        QProcess help;
        help.start(SimulatorProcess::program(), {"--help"});
        QVERIFY(help.waitForFinished(5000));
        QCOMPARE(help.exitCode(), 0);
        QVERIFY(help.readAllStandardOutput().contains("--split-replies"));
        for (const QStringList& args : {QStringList{"--spark", "9:100"}, {"--baud", "-1"}}) {
            QProcess bad;
            bad.start(SimulatorProcess::program(), args);
            QVERIFY(bad.waitForFinished(5000));
            QCOMPARE(bad.exitCode(), 2);
        }
    }

    // A replay answers each poll from the recorded polls of its sample index: the sample's
    // first poll with the reply the sample was taken from, then the faults in order, a poll
    // more than recorded with that reply again. Faults of a sample the program passed by go
    // to its next polls; a sample index that goes back plays the run again.
    void replayMatchesPollsBySampleAndOrder() {
        const auto command = [](CommandCode code, int sample) {
            QByteArray f =
                frameHeader() + char(code) + char(1) + QByteArray(96, 0) + frameTrailer();
            for (int k = 0; k < kChannels; ++k)
                setField(f, 8 + 16 * k + 6, quint16(sample));
            return f;
        };
        const auto reply = [&](int sample, quint16 volts) {
            QByteArray r = makeReply(command(Poll, sample));
            setReading(r, 0, volts, 1);
            return r;
        };
        const QByteArray a = reply(1, 100), b = reply(1, 200), c = reply(2, 300);
        QByteArray broken = c;
        breakTrailer(broken);
        const QByteArray hand = makeReply(command(Handshake, 0));
        QTemporaryDir dir;
        QFile file(dir.filePath("run.trace"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("# q7rk link trace 1\n# written by hand\n"
                   "0.0 open tcp 127.0.0.1:4001\n"
                   "0.1 > handshake #1 " +
                   command(Handshake, 0).toHex() +
                   "\n"
                   "1.1 < #1 " +
                   hand.toHex() +
                   "\n"
                   "2.0 note run started\n"
                   "3.0 > poll #2 s=1 " +
                   command(Poll, 1).toHex() +
                   "\n"
                   "3.5 < #2 " +
                   a.toHex() +
                   "\n"
                   "4.0 > poll #3 s=1 =\n" // no reply
                   "5.0 > poll #4 s=1 =\n"
                   "5.3 < #4 " +
                   b.left(50).toHex() +
                   "\n" // in two pieces
                   "5.4 < #4 " +
                   b.mid(50).toHex() +
                   "\n"
                   "6.0 sample 1\n"
                   "7.0 > poll #5 s=2 ~ 14:0002 30:0002 46:0002 62:0002 78:0002 94:0002\n"
                   "7.2 < #5 " +
                   broken.toHex() +
                   "\n"
                   "7.9 <x #5 " +
                   c.toHex() +
                   "\n" // dropped unread: not played
                   "8.0 > poll #6 s=2 =\n"
                   "8.3 < #6 =\n"
                   "9.0 sample 2\n");
        file.close();
        QString error;
        auto recording = LinkRecording::read(file.fileName(), &error);
        QVERIFY2(recording, qPrintable(error));
        QCOMPARE(recording->polls, 5);
        ReplayResponder replay(*recording);
        const auto bytes = [](const QList<ReplyPiece>& pieces) {
            QByteArray all;
            for (const ReplyPiece& p : pieces)
                all += p.bytes;
            return all;
        };
        QCOMPARE(bytes(replay.answer(command(Handshake, 0))), hand);
        const QList<ReplyPiece> first = replay.answer(command(Poll, 1));
        QCOMPARE(bytes(first), b); // the reply sample 1 was taken from, though A came first
        QCOMPARE(first.size(), 1);
        QCOMPARE(first[0].delayMs, 0.5);
        QCOMPARE(bytes(replay.answer(command(Poll, 1))), QByteArray()); // the lost reply
        // Sample 2 before the third poll of sample 1: an answer first, then the fault.
        QCOMPARE(bytes(replay.answer(command(Poll, 2))), c);
        QCOMPARE(bytes(replay.answer(command(Poll, 2))), broken);
        QCOMPARE(bytes(replay.answer(command(Poll, 2))), c); // more than recorded
        QCOMPARE(bytes(replay.answer(command(Poll, 1))), b); // the run again
        QVERIFY(replay.answer(command(Result, 0)).isEmpty());

        // Sample 1 polled once: its lost reply is owed to sample 2, after its answer.
        ReplayResponder owing(*recording);
        QCOMPARE(bytes(owing.answer(command(Poll, 1))), b);
        QCOMPARE(bytes(owing.answer(command(Poll, 2))), c);
        QCOMPARE(bytes(owing.answer(command(Poll, 2))), QByteArray());
        QCOMPARE(bytes(owing.answer(command(Poll, 2))), broken);

        for (const QByteArray& bad :
             {QByteArray("hello\n"), QByteArray("# q7rk link trace 1\n1.0 > poll #1 s=1 zz\n"),
              QByteArray("# q7rk link trace 1\n1.0 < #1 ~ 9:0g\n")}) {
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bad);
            file.close();
            QVERIFY(!LinkRecording::read(file.fileName(), &error));
            QVERIFY2(error.startsWith(file.fileName() + ":"), qPrintable(error));
        }
    }

    // The pseudo-terminal under the name asked for, gone again after a clean shutdown. What
    // crosses it, at line speed, is the real-time run's business.
    void ptyLinkAndCleanShutdown() {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyQ7");
        SimulatorProcess sim;
        QVERIFY2(sim.start({"--no-tcp", "--pty-link", link, "--baud", "9600"}),
                 qPrintable(sim.error()));
        QVERIFY(sim.ptyPath().startsWith("/dev/"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath());
        sim.process().terminate();
        QVERIFY(sim.process().waitForFinished(5000));
        QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process().exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
};

QTEST_MAIN(InstrumentUnitsTest)
#include "tst_instrument_units.moc"
