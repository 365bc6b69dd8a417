#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <memory>

namespace q7rk {

// A record of the link: every byte sent to and received from the instrument, with the time
// on a monotonic clock, so that a run in the field can be read afterwards and replayed on a
// desk (q7rk-instrument --replay). One text line per event:
//
//   # q7rk link trace 1                       first line: the format and its version
//   # <program> <version>, started <ISO time>  more comment lines may follow
//   <ms> open tcp 127.0.0.1:4001               the link's port or connection opened
//   <ms> > poll #12 s=4 <frame>                a frame sent: its number (every frame sent
//                                              counts), kind, the poll's sample index
//   <ms> >x poll #13 s=4 <frame>               a frame the link failed to write
//   <ms> < #12 <bytes>                         bytes received after frame #12 went out and
//                                              before the next; a reply may come in pieces
//   <ms> <x #12 <bytes>                        bytes received that the link dropped unread
//                                              (stale input cleared before a new attempt)
//   <ms> sample 4                              the run took sample 4 from the last reply
//   <ms> note <text>                           what the link or the run made of it: a
//                                              reply lost or rejected, a run begun or ended
//   <ms> close <why>                           the port or connection closed
//
// <ms> is milliseconds since the trace began, with microseconds. Bytes are written as hex;
// "=" stands for the same bytes as the last ones in that direction, "~ OFF:HEX ..." for the
// last ones in that direction with the bytes at those (decimal) offsets changed. Replies that
// repeat thus take a few characters, and a run of hours stays a few megabytes.
class LinkTrace {
public:
    // A trace written to `path` (created or emptied); nothing and the reason when the file
    // cannot be written.
    static std::unique_ptr<LinkTrace> create(const QString& path, const QString& program,
                                             QString* error);
    ~LinkTrace();
    LinkTrace(const LinkTrace&) = delete;
    LinkTrace& operator=(const LinkTrace&) = delete;

    QString path() const { return m_file.fileName(); }
    // Why the trace stopped (the disk filled, the file went away); empty while it writes.
    QString stopReason() const { return m_stopReason; }

    void opened(const QString& what);
    void closed(const QString& why);
    void sent(QByteArrayView bytes, bool written);
    void received(QByteArrayView bytes, bool droppedUnread = false);
    void sampleTaken(int sampleIndex);
    void note(const QString& text);
    // Everything written here from now on is also written into `other` (its own numbers and
    // times); null stops that.
    void copyInto(std::shared_ptr<LinkTrace> other) { m_copy = std::move(other); }

private:
    explicit LinkTrace(const QString& path);
    QByteArray stamp() const;
    void line(const QByteArray& text);
    // "=", "~ OFF:HEX ..." against `last`, or the bytes in hex; `last` becomes `bytes`.
    static QByteArray encode(QByteArrayView bytes, QByteArray& last);

    QFile m_file;
    QElapsedTimer m_clock;
    QByteArray m_lastSent;
    QByteArray m_lastReceived;
    int m_framesSent = 0;
    QString m_stopReason;
    std::shared_ptr<LinkTrace> m_copy;
};

} // namespace q7rk
