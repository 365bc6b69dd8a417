#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace q7rk {

// A byte pipe to the instrument: the serial port, a TCP connection, or memory (tests). The
// exchanges above it only see this interface; events arrive on the user-interface thread.
class Transport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Transport() override = default;

    // Serial: opens the device at once and returns whether it worked (opened() follows).
    // TCP: starts connecting and returns true; opened() or errorOccurred() follows.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual bool write(const QByteArray& bytes) = 0;
    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray readAll() = 0;
    // Drops whatever has arrived and not been read (a stale reply must not be taken for
    // the answer to the next command).
    virtual void clearInput() = 0;
    virtual QString errorString() const = 0;
    // The operating system's descriptor of the open port or socket, for a last write when
    // the program ends without unwinding; -1 when there is none.
    virtual qintptr descriptor() const { return -1; }

signals:
    void opened();
    void readyRead();
    void closed(); // the other side went away
    void errorOccurred(const QString& message);
};

} // namespace q7rk
