#pragma once

#include "link/LinkTrace.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

namespace q7rk {

// A byte pipe to the instrument: the serial port, a TCP connection, or memory (tests). The
// exchanges above it only see this interface; events arrive on the user-interface thread.
// With a trace set, every byte that passes and every open and close goes into it.
class Transport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Transport() override = default;

    // Serial: opens the device at once and returns whether it worked (opened() follows).
    // TCP: starts connecting and returns true; opened() or errorOccurred() follows.
    bool open();
    void close();
    virtual bool isOpen() const = 0;

    bool write(const QByteArray& bytes);
    virtual qint64 bytesAvailable() const = 0;
    QByteArray readAll();
    // Drops whatever has arrived and not been read (a stale reply must not be taken for
    // the answer to the next command).
    void clearInput();
    virtual QString errorString() const = 0;
    // The operating system's descriptor of the open port or socket, for a last write when
    // the program ends without unwinding; -1 when there is none.
    virtual qintptr descriptor() const { return -1; }
    // What a trace calls this pipe: "tcp 192.168.0.10:4001", "serial /dev/ttyS0".
    virtual QString describe() const = 0;

    void setTrace(std::shared_ptr<LinkTrace> trace);
    // A line in the trace, when there is one: what the link made of the bytes.
    void traceNote(const QString& text) const;

signals:
    void opened();
    void readyRead();
    void closed(); // the other side went away
    void errorOccurred(const QString& message);

protected:
    virtual bool openPipe() = 0;
    virtual void closePipe() = 0;
    virtual bool writeBytes(const QByteArray& bytes) = 0;
    virtual QByteArray readBytes() = 0;
    virtual void dropInput() = 0;

private:
    void traceClosedByPeer();
    void traceError(const QString& message);

    std::shared_ptr<LinkTrace> m_trace;
};

} // namespace q7rk
