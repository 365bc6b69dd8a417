#include "Transport.h"

namespace q7rk {

bool Transport::open() {
    const bool ok = openPipe();
    if (m_trace)
        m_trace->opened(describe() +
                        (ok ? QString() : QStringLiteral(" failed: ") + errorString()));
    return ok;
}

void Transport::close() {
    if (m_trace && isOpen()) m_trace->closed(QStringLiteral("by the program"));
    closePipe();
}

bool Transport::write(const QByteArray& bytes) {
    const bool ok = writeBytes(bytes);
    if (m_trace) m_trace->sent(bytes, ok);
    return ok;
}

QByteArray Transport::readAll() {
    QByteArray bytes = readBytes();
    if (m_trace) m_trace->received(bytes);
    return bytes;
}

void Transport::clearInput() {
    // What is cleared did arrive: the trace keeps it, so a replay sends it again.
    if (m_trace && isOpen()) m_trace->received(readBytes(), true);
    dropInput();
}

void Transport::setTrace(std::shared_ptr<LinkTrace> trace) {
    m_trace = std::move(trace);
    if (!m_trace) return;
    // The other side going away, or the pipe failing, ends what the trace can see.
    connect(this, &Transport::closed, this, &Transport::traceClosedByPeer, Qt::UniqueConnection);
    connect(this, &Transport::errorOccurred, this, &Transport::traceError, Qt::UniqueConnection);
}

void Transport::traceClosedByPeer() {
    if (m_trace) m_trace->closed(QStringLiteral("by the other side"));
}

void Transport::traceError(const QString& message) {
    if (m_trace) m_trace->note(QStringLiteral("error: ") + message);
}

void Transport::traceNote(const QString& text) const {
    if (m_trace) m_trace->note(text);
}

} // namespace q7rk
