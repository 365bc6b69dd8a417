#pragma once

#include "link/Transport.h"

#include <QList>

namespace q7rk {

// A transport in memory for tests: the test plays the instrument by feeding bytes, reads
// every frame the program wrote, and can make the link fail.
class MemoryTransport : public Transport {
    Q_OBJECT
public:
    using Transport::Transport;

    bool isOpen() const override { return m_open; }
    qint64 bytesAvailable() const override { return m_input.size(); }
    QString describe() const override { return QStringLiteral("memory"); }
    QString errorString() const override { return m_error; }

    // The instrument's side: bytes arrive and readyRead is emitted.
    void feed(const QByteArray& bytes);
    // Every write, in order.
    const QList<QByteArray>& written() const { return m_written; }
    void clearWritten() { m_written.clear(); }

    // Failure switches.
    void setOpenFails(bool fails) { m_openFails = fails; }
    void setWriteFails(bool fails) { m_writeFails = fails; }
    void simulateClose();                       // the other side went away
    void simulateError(const QString& message); // a link error

signals:
    // After each successful write: a test can answer at once, as a fast instrument would.
    void wrote(const QByteArray& bytes);

protected:
    bool openPipe() override;
    void closePipe() override;
    bool writeBytes(const QByteArray& bytes) override;
    QByteArray readBytes() override;
    void dropInput() override { m_input.clear(); }

private:
    QByteArray m_input;
    QList<QByteArray> m_written;
    QString m_error;
    bool m_open = false;
    bool m_openFails = false;
    bool m_writeFails = false;
};

} // namespace q7rk
