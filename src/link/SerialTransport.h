#pragma once

#include "link/Transport.h"

#include <QSerialPort>

namespace q7rk {

// The serial line to the instrument: a device path (/dev/ttyS0, a pseudo-terminal of the
// simulator, ...) at 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control.
class SerialTransport : public Transport {
    Q_OBJECT
public:
    explicit SerialTransport(QString devicePath = QString(), QObject* parent = nullptr);
    ~SerialTransport() override;

    const QString& devicePath() const { return m_path; }
    // Takes effect at the next open().
    void setDevicePath(const QString& path) { m_path = path; }

    bool isOpen() const override;
    qint64 bytesAvailable() const override;
    QString describe() const override { return QStringLiteral("serial ") + m_path; }
    QString errorString() const override;
    qintptr descriptor() const override { return m_port.isOpen() ? qintptr(m_port.handle()) : -1; }

protected:
    bool openPipe() override;
    void closePipe() override;
    bool writeBytes(const QByteArray& bytes) override;
    QByteArray readBytes() override;
    void dropInput() override;

private:
    void onError(QSerialPort::SerialPortError error);

    QString m_path;
    QSerialPort m_port;
    QString m_error;
    bool m_opening = false;
};

} // namespace q7rk
