#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace q7rk {

// Gathers the byte stream of a TCP link into whole frames. TCP keeps no message bounds: a
// reply may arrive in pieces, or two in one block, and after a fault the stream may hold
// garbage. The assembler looks for the six header bytes, hands out only frames whose
// header and trailer are right, and drops everything else. It never keeps more than one
// frame's worth of bytes between two feeds.
class FrameAssembler {
public:
    // Adds received bytes and returns the whole frames they complete, oldest first.
    QList<QByteArray> feed(QByteArrayView bytes);
    void clear();

    qsizetype buffered() const { return m_buffer.size(); }
    // Bytes dropped as garbage since construction or the last clear().
    qint64 discarded() const { return m_discarded; }

private:
    QByteArray m_buffer;
    qint64 m_discarded = 0;
};

} // namespace q7rk
