// A link trace of a three-hour run: 43,200 polls (4 a second) with their replies and a sample
// line a second, written through the trace as a run writes it (each line flushed). Prints the
// file's size and the cost per poll on the window's thread: median and 99th percentile per
// second of the run (a poll, its reply, four of each and a sample). Two kinds of readings:
// steady (a held voltage, as most of a TV test) and noisy (every reading moves, the worst).
#include "link/Frame.h"
#include "link/LinkTrace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace q7rk;

namespace {

constexpr int Seconds = 3 * 3600;
constexpr int PollsPerSecond = 4;

void putField(QByteArray& frame, int at, int value) {
    frame[at] = char((value >> 8) & 0xFF);
    frame[at + 1] = char(value & 0xFF);
}

void traceRun(const char* name, bool noisy, const QString& folder) {
    const QString path = folder + QStringLiteral("/%1.trace").arg(QLatin1String(name));
    QString error;
    const auto trace = LinkTrace::create(path, QStringLiteral("bench_linktrace"), &error);
    if (!trace) {
        std::printf("%s: %s\n", name, qPrintable(error));
        return;
    }
    QRandomGenerator random(7);
    QByteArray poll = emptyFrame(FrameCode::Poll), reply = emptyFrame(FrameCode::PollReply);
    std::vector<double> perSecondUs;
    perSecondUs.reserve(Seconds);
    QElapsedTimer clock;
    for (int s = 1; s <= Seconds; ++s) {
        clock.start();
        for (int p = 0; p < PollsPerSecond; ++p) {
            for (int k = 0; k < 6; ++k) {
                putField(poll, frame::blockAt(k) + frame::SampleIndexAt, s);
                const int jitter = noisy ? int(random.bounded(40)) : 0;
                putField(reply, frame::blockAt(k) + frame::SetVoltageAt, 30000 + jitter);
                putField(reply, frame::blockAt(k) + frame::SetCurrentAt, 2000 + jitter / 4);
            }
            trace->sent(poll, true);
            trace->received(reply);
        }
        trace->sampleTaken(s);
        perSecondUs.push_back(double(clock.nsecsElapsed()) / 1000.0);
    }
    std::sort(perSecondUs.begin(), perSecondUs.end());
    const qint64 bytes = QFileInfo(path).size();
    std::printf("%-7s %9.2f MB for 3 h (%5.1f bytes a poll); per second of the run: median "
                "%6.1f us, p99 %7.1f us%s\n",
                name, double(bytes) / 1e6, double(bytes) / (Seconds * PollsPerSecond),
                perSecondUs[perSecondUs.size() / 2], perSecondUs[perSecondUs.size() * 99 / 100],
                trace->stopReason().isEmpty() ? "" : " (stopped)");
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    traceRun("steady", false, folder.path());
    traceRun("noisy", true, folder.path());
    return 0;
}
