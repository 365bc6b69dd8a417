#include "TcpTransport.h"

namespace q7rk {

TcpTransport::TcpTransport(QString host, quint16 port, QObject* parent)
    : Transport(parent), m_host(std::move(host)), m_portNumber(port) {
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        // Polls are small and go out on the clock. Held back until the instrument acknowledged
        // one it did not answer (Nagle), the next polls would leave late, in a bunch.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        emit opened();
    });
    connect(&m_socket, &QTcpSocket::readyRead, this, &Transport::readyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, &TcpTransport::onDisconnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &TcpTransport::onError);
}

TcpTransport::~TcpTransport() {
    disconnect(&m_socket, nullptr, this, nullptr);
    m_socket.abort();
}

void TcpTransport::setPeer(const QString& host, quint16 port) {
    m_host = host;
    m_portNumber = port;
}

bool TcpTransport::openPipe() {
    m_closing = true; // a stale connection is ours to drop, not a peer close
    m_socket.abort();
    m_closing = false;
    m_error.clear();
    m_socket.connectToHost(m_host, m_portNumber);
    return true;
}

void TcpTransport::closePipe() {
    m_closing = true;
    m_socket.abort();
    m_closing = false;
}

bool TcpTransport::isOpen() const {
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

bool TcpTransport::writeBytes(const QByteArray& bytes) {
    if (!isOpen()) {
        m_error = QStringLiteral("not connected");
        return false;
    }
    if (m_socket.write(bytes) != bytes.size()) return false;
    // A frame goes out now, not at the next turn of the event loop: the last result frame
    // is written just before the program may close the link.
    m_socket.flush();
    return true;
}

qint64 TcpTransport::bytesAvailable() const {
    return m_socket.bytesAvailable();
}

QByteArray TcpTransport::readBytes() {
    return m_socket.readAll();
}

void TcpTransport::dropInput() {
    m_socket.skip(m_socket.bytesAvailable());
}

QString TcpTransport::errorString() const {
    return m_error;
}

void TcpTransport::onDisconnected() {
    if (!m_closing) emit closed();
}

void TcpTransport::onError(QAbstractSocket::SocketError error) {
    m_error = m_socket.errorString();
    // A peer close also arrives as disconnected(); it is reported there once.
    if (error == QAbstractSocket::RemoteHostClosedError || m_closing) return;
    emit errorOccurred(m_error);
}

} // namespace q7rk
