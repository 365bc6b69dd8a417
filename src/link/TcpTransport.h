#pragma once

#include "link/Transport.h"

#include <QTcpSocket>

namespace q7rk {

// A TCP connection to the instrument's network port. open() starts connecting; opened()
// follows when the connection stands, errorOccurred() when it cannot be made. closed() means
// the instrument ended the connection, not our own close().
class TcpTransport : public Transport {
    Q_OBJECT
public:
    explicit TcpTransport(QString host = QString(), quint16 port = 0, QObject* parent = nullptr);
    ~TcpTransport() override;

    void setPeer(const QString& host, quint16 port);
    const QString& host() const { return m_host; }
    quint16 port() const { return m_portNumber; }

    bool isOpen() const override;
    qint64 bytesAvailable() const override;
    QString describe() const override {
        return QStringLiteral("tcp %1:%2").arg(m_host).arg(m_portNumber);
    }
    QString errorString() const override;
    qintptr descriptor() const override { return m_socket.socketDescriptor(); }

protected:
    bool openPipe() override;
    void closePipe() override;
    bool writeBytes(const QByteArray& bytes) override;
    QByteArray readBytes() override;
    void dropInput() override;

private:
    void onDisconnected();
    void onError(QAbstractSocket::SocketError error);

    QString m_host;
    quint16 m_portNumber = 0;
    QTcpSocket m_socket;
    QString m_error;
    bool m_closing = false;
};

} // namespace q7rk
