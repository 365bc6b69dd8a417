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

    bool open() override;
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray& bytes) override;
    qint64 bytesAvailable() const override;
    QByteArray readAll() override;
    void clearInput() override;
    QString errorString() const override;
    qintptr descriptor() const override { return m_port.isOpen() ? qintptr(m_port.handle()) : -1; }

private:
    void onError(QSerialPort::SerialPortError error);

    QString m_path;
    QSerialPort m_port;
    QString m_error;
    bool m_opening = false;
};

} // namespace q7rk
