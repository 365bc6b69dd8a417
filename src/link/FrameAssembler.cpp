#include "FrameAssembler.h"

#include "link/Frame.h"

#include <algorithm>

namespace q7rk {

namespace {

QByteArrayView headerView() {
    return QByteArrayView(reinterpret_cast<const char*>(frame::Header.data()), frame::HeaderSize);
}

// How many bytes at the end of `bytes` could still grow into a header.
qsizetype partialHeaderAtEnd(QByteArrayView bytes) {
    const QByteArrayView header = headerView();
    for (qsizetype n = std::min<qsizetype>(bytes.size(), frame::HeaderSize - 1); n > 0; --n)
        if (bytes.last(n) == header.first(n)) return n;
    return 0;
}

} // namespace

QList<QByteArray> FrameAssembler::feed(QByteArrayView bytes) {
    QList<QByteArray> frames;
    m_buffer.append(bytes);
    qsizetype pos = 0; // consumed so far; the buffer is compacted once at the end
    const QByteArrayView header = headerView();
    for (;;) {
        const QByteArrayView rest = QByteArrayView(m_buffer).sliced(pos);
        const qsizetype start = rest.indexOf(header);
        if (start < 0) {
            const qsizetype keep = partialHeaderAtEnd(rest);
            m_discarded += rest.size() - keep;
            pos += rest.size() - keep;
            break;
        }
        m_discarded += start;
        pos += start;
        if (m_buffer.size() - pos < frame::Size) break; // wait for the rest of the frame
        const QByteArrayView candidate = QByteArrayView(m_buffer).sliced(pos, frame::Size);
        if (hasFrameShape(candidate)) {
            frames.append(candidate.toByteArray());
            pos += frame::Size;
        } else {
            // A header without its trailer: garbage that looked like a start; look again
            // one byte further on.
            m_discarded += 1;
            pos += 1;
        }
    }
    m_buffer.remove(0, pos);
    return frames;
}

void FrameAssembler::clear() {
    m_buffer.clear();
    m_discarded = 0;
}

} // namespace q7rk
