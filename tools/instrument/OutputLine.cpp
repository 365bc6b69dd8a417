#include "OutputLine.h"

#include <algorithm>

namespace q7rk::instrument {

namespace {

constexpr qint64 kNsPerMs = 1000000;
// A paced reply is handed out in batches this far apart rather than byte by byte: the
// reader sees the same trickle, the event loop far fewer wake-ups.
constexpr qint64 kBatchNs = 10 * kNsPerMs;

} // namespace

qint64 byteNanoseconds(int baud) {
    if (baud <= 0) return 0;
    // Rounded up: never faster than the line.
    return (kBitsPerByte * 1000 * kNsPerMs + baud - 1) / baud;
}

OutputLine::OutputLine(const LineSettings& settings, Writer writer, QObject* parent)
    : QObject(parent), settings_(settings), byteNs_(byteNanoseconds(settings.baud)),
      writer_(std::move(writer)), random_(settings.seed) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &OutputLine::pump);
}

void OutputLine::send(const QByteArray& reply) {
    if (reply.isEmpty()) return;
    const qint64 ready = clock_.nsecsElapsed() + settings_.delayMs * kNsPerMs;
    if (!settings_.split || reply.size() < 2) {
        queue_.push_back({reply, ready});
    } else {
        qsizetype from = 0;
        qint64 at = ready;
        for (qsizetype to : cuts(reply.size())) {
            queue_.push_back({reply.mid(from, to - from), at});
            from = to;
            at += settings_.splitGapMs * kNsPerMs;
        }
    }
    pump();
}

void OutputLine::sendAfter(const QByteArray& bytes, double delayMs) {
    if (bytes.isEmpty()) return;
    queue_.push_back({bytes, clock_.nsecsElapsed() + qint64(delayMs * double(kNsPerMs))});
    pump();
}

void OutputLine::whenIdle(std::function<void()> action) {
    idleActions_.push_back(std::move(action));
    if (queue_.empty()) timer_.start(0);
}

// Two to four pieces; the returned positions are the ends of the pieces, the last one the
// reply's size.
QList<qsizetype> OutputLine::cuts(qsizetype size) {
    QList<qsizetype> ends;
    const int pieces = std::min<int>(int(size), 2 + int(random_.bounded(3)));
    while (ends.size() < pieces - 1) {
        const qsizetype at = 1 + qsizetype(random_.bounded(quint32(size - 1)));
        if (!ends.contains(at)) ends.append(at);
    }
    std::sort(ends.begin(), ends.end());
    ends.append(size);
    return ends;
}

void OutputLine::pump() {
    const qint64 now = clock_.nsecsElapsed();
    while (!queue_.empty()) {
        Piece& p = queue_.front();
        if (now < p.readyNs) {
            wakeAt(p.readyNs);
            return;
        }
        if (p.startNs < 0) p.startNs = std::max(p.readyNs, lineFreeNs_);
        qsizetype due = p.bytes.size();
        if (byteNs_ > 0)
            due = std::min<qsizetype>(due, std::max<qint64>(0, now - p.startNs) / byteNs_);
        if (due > p.written) {
            const QByteArray chunk = p.bytes.mid(p.written, due - p.written);
            p.written = due;
            writer_(chunk);
        }
        if (p.written < p.bytes.size()) {
            wakeAt(std::min(p.startNs + p.bytes.size() * byteNs_, now + kBatchNs));
            return;
        }
        lineFreeNs_ = p.startNs + p.bytes.size() * byteNs_;
        queue_.pop_front();
    }
    std::vector<std::function<void()>> actions;
    actions.swap(idleActions_);
    for (const auto& action : actions)
        action();
}

void OutputLine::wakeAt(qint64 ns) {
    const qint64 waitNs = std::max<qint64>(0, ns - clock_.nsecsElapsed());
    timer_.start(int((waitNs + kNsPerMs - 1) / kNsPerMs));
}

} // namespace q7rk::instrument
