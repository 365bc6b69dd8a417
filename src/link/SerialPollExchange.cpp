#include "SerialPollExchange.h"

#include "link/LinkLog.h"

namespace q7rk {

SerialPollExchange::SerialPollExchange(const Timing& timing, QObject* parent) : QObject(parent) {
    m_replyTimer.setSingleShot(true);
    m_replyTimer.setInterval(timing.replyTimeoutMs);
    m_restartTimer.setSingleShot(true);
    m_restartTimer.setInterval(0);
    connect(&m_replyTimer, &QTimer::timeout, this, &SerialPollExchange::onReplyTimeout);
    connect(&m_restartTimer, &QTimer::timeout, this, &SerialPollExchange::startAttempt);
}

void SerialPollExchange::setTransport(Transport* transport) {
    if (m_transport) disconnect(m_transport, nullptr, this, nullptr);
    m_transport = transport;
    if (!transport) return;
    connect(transport, &Transport::readyRead, this, &SerialPollExchange::onReadyRead);
    connect(transport, &Transport::errorOccurred, this, &SerialPollExchange::onLinkTrouble);
    connect(transport, &Transport::closed, this, &SerialPollExchange::onLinkTrouble);
}

bool SerialPollExchange::tick(PollBuilder build) {
    if (m_running) return false;
    m_build = std::move(build);
    m_running = true;
    m_replyTimedOut = false;
    m_timeoutCount = 0;
    m_restarts = 0;
    startAttempt();
    return true;
}

void SerialPollExchange::cancel() {
    m_replyTimer.stop();
    m_restartTimer.stop();
    m_running = false;
    m_waiting = false;
}

void SerialPollExchange::startAttempt() {
    if (!m_running) return;
    const QByteArray poll = m_build ? m_build() : QByteArray();
    if (poll.isEmpty() || !m_transport || !m_transport->isOpen()) {
        restartAttempt();
        return;
    }
    // A late reply to an earlier attempt must not be read as the answer to this one. Either
    // call may find the device gone and have the link drop the port (and cancel us) at once.
    m_transport->clearInput();
    if (!m_running || !m_transport) return;
    // Wait before writing: a fast answer may arrive while write() still runs.
    m_waiting = true;
    m_replyTimer.start();
    const bool written = m_transport->write(poll);
    // Counted even when the answer came while write() ran and ended the tick.
    if (written) emit pollSent();
    if (!m_running) return;
    if (!written && m_waiting) {
        m_replyTimer.stop();
        m_waiting = false;
        restartAttempt();
    }
}

void SerialPollExchange::restartAttempt() {
    if (++m_restarts > MaxRestarts) {
        countFailedAttempt();
        return;
    }
    m_restartTimer.start();
}

void SerialPollExchange::countFailedAttempt() {
    qCInfo(linkLog) << "serial poll: reply lost (attempt" << m_timeoutCount + 1 << "of"
                    << MaxAttempts << ")";
    if (m_transport) m_transport->traceNote(QStringLiteral("reply lost"));
    emit replyLost(); // a time-out, or an attempt that never got a usable reply
    m_restarts = 0;
    m_replyTimedOut = true;
    if (++m_timeoutCount < MaxAttempts) {
        startAttempt();
        return;
    }
    // Three failures in a row: the instrument is gone.
    qCInfo(linkLog) << "serial poll:" << MaxAttempts << "attempts in a row unanswered";
    m_replyTimedOut = false;
    m_timeoutCount = 0;
    finish(false);
}

void SerialPollExchange::onReadyRead() {
    if (!m_waiting || m_transport->bytesAvailable() < frame::ReplyMinSize) return;
    m_replyTimer.stop();
    m_waiting = false;
    const QByteArray reply = m_transport->readAll();
    const auto readings = decodeSerialReply(reply);
    if (!readings) {
        qCWarning(linkLog).noquote()
            << "serial reply rejected:" << reply.size() << "bytes" << reply.left(8).toHex(' ');
        m_transport->traceNote(QStringLiteral("reply rejected: %1 bytes").arg(reply.size()));
        emit replyRejected();
        restartAttempt(); // garbled: ask again at once
        return;
    }
    cancel();
    emit replied(*readings);
    emit finished(true);
}

void SerialPollExchange::onReplyTimeout() {
    if (!m_waiting) return;
    m_waiting = false;
    qCDebug(linkLog) << "serial poll: no reply within" << m_replyTimer.interval() << "ms (attempt"
                     << m_timeoutCount + 1 << "of" << MaxAttempts << ")";
    countFailedAttempt();
}

void SerialPollExchange::onLinkTrouble() {
    if (!m_waiting) return;
    m_replyTimer.stop();
    m_waiting = false;
    restartAttempt();
}

void SerialPollExchange::finish(bool ok) {
    cancel();
    emit finished(ok);
}

} // namespace q7rk
