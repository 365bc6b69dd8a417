#include "SerialTransport.h"

namespace q7rk {

SerialTransport::SerialTransport(QString devicePath, QObject* parent)
    : Transport(parent), m_path(std::move(devicePath)) {
    connect(&m_port, &QSerialPort::readyRead, this, &Transport::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialTransport::onError);
}

SerialTransport::~SerialTransport() {
    // Close before the signals are torn down, so no error reaches a half-destroyed object.
    disconnect(&m_port, nullptr, this, nullptr);
    closePipe();
}

bool SerialTransport::openPipe() {
    closePipe();
    m_error.clear();
    m_port.setPortName(m_path); // a path starting with '/' is used as it stands
    m_opening = true;           // a failure is reported by the return value only
    const bool ok = m_port.open(QIODevice::ReadWrite) && m_port.setBaudRate(9600) &&
                    m_port.setDataBits(QSerialPort::Data8) &&
                    m_port.setParity(QSerialPort::NoParity) &&
                    m_port.setStopBits(QSerialPort::OneStop) &&
                    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        m_error = m_port.errorString();
        if (m_port.isOpen()) m_port.close();
        m_port.clearError();
    }
    m_opening = false;
    if (!ok) return false;
    m_port.clear(QSerialPort::AllDirections);
    emit opened();
    return true;
}

void SerialTransport::closePipe() {
    if (m_port.isOpen()) m_port.close();
}

bool SerialTransport::isOpen() const {
    return m_port.isOpen();
}

bool SerialTransport::writeBytes(const QByteArray& bytes) {
    if (!m_port.isOpen()) {
        m_error = QStringLiteral("port not open");
        return false;
    }
    if (m_port.write(bytes) != bytes.size()) return false;
    // A frame goes out now, not at the next turn of the event loop: the last result frame
    // is written just before the program may close the link.
    m_port.flush();
    return true;
}

qint64 SerialTransport::bytesAvailable() const {
    return m_port.bytesAvailable();
}

QByteArray SerialTransport::readBytes() {
    return m_port.readAll();
}

void SerialTransport::dropInput() {
    if (m_port.isOpen()) m_port.clear(QSerialPort::Input);
}

QString SerialTransport::errorString() const {
    return m_error;
}

void SerialTransport::onError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || m_opening) return;
    m_error = m_port.errorString();
    m_port.clearError();
    emit errorOccurred(m_error);
    // The device went away (unplugged adapter, simulator ended): nothing more will come.
    if (error == QSerialPort::ResourceError && m_port.isOpen()) {
        m_port.close();
        emit closed();
    }
}

} // namespace q7rk
