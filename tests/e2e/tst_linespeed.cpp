// A TV test on channels 1-3 in real time over a serial line at 9600 baud (the simulator's
// pseudo-terminal, paced): a poll and its reply take about 223 ms of the 250 ms period. Every
// poll must be answered within its period and every sample taken.
#include "support/SimulatorProcess.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using q7rk::testing::SimulatorProcess;

namespace {

constexpr int kDelay = 10; // s from point A to the end

struct Poll {
    QDateTime at;
    int sampleIndex;
};

// The polls the simulator logged: time of arrival and the sample index they carried.
QList<Poll> loggedPolls(const QString& path, int* results) {
    QList<Poll> polls;
    *results = SimulatorProcess::loggedFrames(path, 11).size();
    for (const SimulatorProcess::Frame& poll : SimulatorProcess::loggedFrames(path, 7))
        polls.append({poll.at, poll.hex.mid(2 * 14, 4).toInt(nullptr, 16)});
    return polls;
}

QString settingsFile(const QTemporaryDir& dir) {
    const QString path = dir.filePath("linespeed.ini");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    // No boiling preset, so the stored delay counts.
    QByteArray text = "[canshu]\noption1(0)=False\noption1(1)=False\n";
    for (int k = 0; k < 3; ++k)
        text +=
            QByteArray("Thl(") + QByteArray::number(k) + ")=" + QByteArray::number(kDelay) + '\n';
    f.write(text);
    return path;
}

QString box(const QJsonObject& ch, const char* name) {
    return ch.value("boxes").toObject().value(QLatin1String(name)).toString();
}

} // namespace

class LineSpeedTest : public QObject {
    Q_OBJECT
private slots:
    void tvTestAtLineSpeedInRealTime() {
        QTemporaryDir dir;
        const QString log = dir.filePath("frames.log");
        SimulatorProcess sim;
        // A fast foil (the approach to its formation voltage still takes about 17 s).
        QVERIFY2(sim.start({"--no-tcp", "--pty", "--baud", "9600", "--rate", "10", "--log", log}),
                 qPrintable(sim.error()));
        QProcess runner;
        runner.start(QStringLiteral(Q7RK_RUNNER_PATH),
                     {"--settings", settingsFile(dir), "--link", "serial:" + sim.ptyPath(),
                      "--group", "1-3", "--time-scale", "1", "--max-seconds", "60", "--workdir",
                      dir.path()});
        QVERIFY(runner.waitForFinished(90000));
        QVERIFY2(runner.exitCode() == 0, runner.readAllStandardError().constData());
        const QJsonObject json = QJsonDocument::fromJson(runner.readAllStandardOutput()).object();

        // Each channel ended by its own evaluation, none was stopped for silence.
        const int sampleIndex = json.value("sampleIndex").toInt();
        int slowestRise = 0;
        const QJsonArray channels = json.value("channels").toArray();
        QCOMPARE(channels.size(), 3);
        for (int c = 1; c <= 3; ++c) {
            const QJsonObject ch = channels.at(c - 1).toObject();
            QCOMPARE(json.value("status").toArray().at(c - 1).toString(),
                     QString::fromUtf8("第%1路TV测试结束").arg(c));
            const int rise = box(ch, "Text6").toInt();
            QVERIFY(rise > 1);
            slowestRise = std::max(slowestRise, rise);
            // Every sample taken and each from a fresh reply: a missed reply would repeat the
            // previous reading, and the voltage rises every second up to point A.
            const QJsonArray volts = ch.value("voltageSamples").toArray();
            QCOMPARE(volts.size(), sampleIndex - 1);
            QCOMPARE(ch.value("currentSamples").toArray().size(), sampleIndex - 1);
            for (int n = 2; n <= rise; ++n)
                QVERIFY2(volts.at(n - 1).toDouble() > volts.at(n - 2).toDouble(),
                         qPrintable(QString("channel %1 sample %2").arg(c).arg(n)));
        }
        QCOMPARE(sampleIndex - 1, slowestRise + kDelay); // the run ended at the slowest end

        // Four polls a second, each answered within its period: a time-out or a skipped
        // tick would leave a gap of 500 ms, a resend after a garbled reply a short one.
        int results = 0;
        QList<Poll> polls;
        const auto bothResultFrames = [&] {
            polls = loggedPolls(log, &results);
            return results == 2;
        };
        QTRY_VERIFY_WITH_TIMEOUT(bothResultFrames(), 3000);
        QVERIFY(!polls.isEmpty());
        QCOMPARE(polls.first().sampleIndex, 1);
        QVERIFY(polls.last().sampleIndex >= sampleIndex - 1);
        QStringList offPeriod; // gaps outside the period, with the sample index after them
        QList<int> perSample(sampleIndex + 1, 0);
        for (int i = 0; i < polls.size(); ++i) {
            QVERIFY(polls[i].sampleIndex >= 1 && polls[i].sampleIndex <= sampleIndex);
            ++perSample[polls[i].sampleIndex];
            if (i == 0) continue;
            const qint64 gap = polls[i - 1].at.msecsTo(polls[i].at);
            if (gap <= 150 || gap >= 400)
                offPeriod << QString("%1 ms before sample %2").arg(gap).arg(polls[i].sampleIndex);
            const int step = polls[i].sampleIndex - polls[i - 1].sampleIndex;
            QVERIFY(step == 0 || step == 1);
        }
        QVERIFY2(offPeriod.isEmpty(), qPrintable(QString("%1 polls over %2 s; polls off the "
                                                         "250 ms period: %3")
                                                     .arg(polls.size())
                                                     .arg(sampleIndex - 1)
                                                     .arg(offPeriod.join(", "))));
        for (int n = 2; n < polls.last().sampleIndex; ++n)
            QVERIFY2(perSample[n] >= 3 && perSample[n] <= 5,
                     qPrintable(QString("%1 polls at sample %2").arg(perSample[n]).arg(n)));
    }
};

QTEST_GUILESS_MAIN(LineSpeedTest)
#include "tst_linespeed.moc"
