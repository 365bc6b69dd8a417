#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

#include <deque>
#include <functional>

namespace q7rk::instrument {

// Time a serial line needs per byte: start bit, eight data bits, stop bit.
constexpr int kBitsPerByte = 10;

// Nanoseconds one byte occupies a line at `baud`; 0 for an unpaced line (baud 0).
qint64 byteNanoseconds(int baud);

// How replies leave the instrument on one connection.
struct LineSettings {
    int baud = 0;       // bytes are handed out no faster than the line carries them; 0: at once
    int delayMs = 0;    // every reply waits this long before its first byte
    bool split = false; // every reply goes out in two to four pieces with short gaps
    quint32 seed = 1;   // where the pieces are cut
    int splitGapMs = 2; // gap between two pieces
};

// The sending half of one connection. Replies leave in the order they were given, each after
// its delay, byte by byte at the line speed, optionally in pieces. All waiting is done with a
// timer; the event loop stays free.
class OutputLine : public QObject {
    Q_OBJECT
public:
    using Writer = std::function<void(const QByteArray&)>;

    OutputLine(const LineSettings& settings, Writer writer, QObject* parent = nullptr);

    void send(const QByteArray& reply);
    // Sends bytes after `delayMs` instead of the line's own delay, in one piece.
    void sendAfter(const QByteArray& bytes, double delayMs);
    bool isIdle() const { return queue_.empty(); }
    // Runs `action` once everything given so far has been written (at once when idle).
    void whenIdle(std::function<void()> action);

private:
    struct Piece {
        QByteArray bytes;
        qint64 readyNs = 0;  // not before this time
        qint64 startNs = -1; // its first bit goes out; set when the piece reaches the line
        qsizetype written = 0;
    };

    void pump();
    void wakeAt(qint64 ns);
    QList<qsizetype> cuts(qsizetype size);

    LineSettings settings_;
    qint64 byteNs_;
    Writer writer_;
    QElapsedTimer clock_;
    QTimer timer_;
    QRandomGenerator random_;
    std::deque<Piece> queue_;
    qint64 lineFreeNs_ = 0; // the last byte given so far has left the line by then
    std::vector<std::function<void()>> idleActions_;
};

} // namespace q7rk::instrument
