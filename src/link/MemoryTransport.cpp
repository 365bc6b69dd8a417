#include "MemoryTransport.h"

#include <utility>

namespace q7rk {

bool MemoryTransport::openPipe() {
    if (m_openFails) {
        m_error = QStringLiteral("cannot open");
        return false;
    }
    m_open = true;
    emit opened();
    return true;
}

void MemoryTransport::closePipe() {
    m_open = false;
    m_input.clear();
}

bool MemoryTransport::writeBytes(const QByteArray& bytes) {
    if (!m_open || m_writeFails) {
        m_error = QStringLiteral("write failed");
        return false;
    }
    m_written.append(bytes);
    emit wrote(bytes);
    return true;
}

QByteArray MemoryTransport::readBytes() {
    return std::exchange(m_input, QByteArray());
}

void MemoryTransport::feed(const QByteArray& bytes) {
    m_input.append(bytes);
    emit readyRead();
}

void MemoryTransport::simulateClose() {
    m_open = false;
    emit closed();
}

void MemoryTransport::simulateError(const QString& message) {
    m_error = message;
    emit errorOccurred(message);
}

} // namespace q7rk
