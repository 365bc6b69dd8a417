#include "SerialLink.h"

#include "link/Frame.h"
#include "link/LinkLog.h"
#include "link/SerialTransport.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"

#include <utility>

namespace q7rk {

namespace {

QString com(int port) {
    return QStringLiteral("COM") + QString::number(port);
}

} // namespace

SerialLink::SerialLink(SettingsStore& settings, const Timing& timing, QObject* parent)
    : InstrumentLink(parent), m_settings(settings), m_timing(timing), m_poll(timing) {
    m_replyTimer.setSingleShot(true);
    m_pauseTimer.setSingleShot(true);
    connect(&m_replyTimer, &QTimer::timeout, this, &SerialLink::onReplyWaitOver);
    connect(&m_pauseTimer, &QTimer::timeout, this, &SerialLink::judgePort);
    connect(&m_poll, &SerialPollExchange::replied, this, &InstrumentLink::readingsReceived);
    connect(&m_poll, &SerialPollExchange::replyLost, this, &InstrumentLink::replyLost);
    connect(&m_poll, &SerialPollExchange::replyRejected, this, &InstrumentLink::replyRejected);
    connect(&m_poll, &SerialPollExchange::pollSent, this, &InstrumentLink::pollSent);
    connect(&m_poll, &SerialPollExchange::finished, this, [this](bool ok) {
        if (!ok) {
            m_pendingPoll = nullptr;
            emit instrumentSilent();
            return;
        }
        // A poll that fell due while this one waited goes now: at 9600 baud an exchange
        // takes ~223 ms of the 250 ms period, so a slow tick can push one past its turn.
        if (m_pendingPoll && isOpen()) m_poll.tick(std::exchange(m_pendingPoll, nullptr));
    });
}

SerialLink::~SerialLink() = default;

QString SerialLink::devicePath(int port) const {
    const QString configured =
        m_settings.read(section::Canshu, indexedKey(QStringLiteral("comdev("), port)).trimmed();
    if (!configured.isEmpty()) return configured;
#ifdef Q_OS_WIN
    return com(port);
#else
    return QStringLiteral("/dev/ttyS") + QString::number(port - 1);
#endif
}

bool SerialLink::isOpen() const {
    return m_open && m_transport && m_transport->isOpen();
}

void SerialLink::setTrace(std::shared_ptr<LinkTrace> trace) {
    m_trace = std::move(trace);
    if (m_transport) m_transport->setTrace(m_trace);
}

Transport* SerialLink::transport() const {
    return isOpen() ? m_transport.get() : nullptr;
}

void SerialLink::sendPoll(const PollBuilder& build) {
    if (!isOpen()) return;
    if (m_poll.isRunning())
        m_pendingPoll = build; // one waits at most; it is built when it goes
    else
        m_poll.tick(build);
}

QString SerialLink::statusName() const {
    return com(m_port);
}

QString SerialLink::endpoint() const {
    const QString device = devicePath(m_port);
    return device == com(m_port) ? device : com(m_port) + QStringLiteral(" (") + device + u')';
}

void SerialLink::cancelPoll() {
    m_pendingPoll = nullptr;
    m_poll.cancel();
}

bool SerialLink::sendResult(const QByteArray& frame) {
    if (!isOpen()) return false;
    m_transport->clearInput();
    return m_transport->write(frame);
}

void SerialLink::connectFrom(int comPortChoice) {
    if (m_searching || isOpen()) return; // one search at a time, and one open port
    m_lost = false;
    m_choice = comPortChoice;
    m_port = comPortChoice;
    m_searching = true;
    tryPort();
}

void SerialLink::tryPort() {
    if (m_port > LastPort) {
        failed(); // reported as port 13: the search ran past the last port
        return;
    }
    emit stateChanged(LinkState::Searching, com(m_port));
    qCDebug(linkLog).noquote() << "serial search: trying" << com(m_port) << devicePath(m_port);
    m_transport = std::make_unique<SerialTransport>(devicePath(m_port));
    m_transport->setTrace(m_trace);
    if (!m_transport->open()) {
        qCInfo(linkLog).noquote() << "serial search:" << com(m_port) << devicePath(m_port)
                                  << "cannot be opened";
        failed(); // a port that cannot be opened ends the search at once
        return;
    }
    m_transport->clearInput();
    connect(m_transport.get(), &Transport::readyRead, this, [this] {
        if (m_replyTimer.isActive() && m_transport->bytesAvailable() >= frame::ReplyMinSize)
            onReplyWaitOver();
    });
    if (!m_transport->write(buildHandshake())) {
        failed();
        return;
    }
    m_replyTimer.start(m_timing.replyTimeoutMs);
}

// A reply is there, or the time-out ran out: the port is judged after a short pause, which
// lets the rest of a reply arrive.
void SerialLink::onReplyWaitOver() {
    m_replyTimer.stop();
    m_pauseTimer.start(m_timing.searchPauseMs);
}

void SerialLink::judgePort() {
    if (m_transport->bytesAvailable() >= frame::ReplyMinSize) {
        // Stored as the menu choice, which may differ from the port that answers.
        m_settings.write(section::Canshu, QStringLiteral("comport"), QString::number(m_choice));
        if (isHandshakeReply(m_transport->readAll())) {
            found();
            return;
        }
    }
    qCDebug(linkLog).noquote() << "serial search: no handshake reply on" << com(m_port);
    dropPort();
    ++m_port;
    tryPort();
}

void SerialLink::found() {
    m_searching = false;
    m_open = true;
    disconnect(m_transport.get(), &Transport::readyRead, this, nullptr);
    m_poll.setTransport(m_transport.get());
    connect(m_transport.get(), &Transport::closed, this, &SerialLink::onPortLost);
    connect(m_transport.get(), &Transport::errorOccurred, this, [this] {
        if (m_transport && !m_transport->isOpen()) onPortLost();
    });
    qCInfo(linkLog).noquote() << "serial link open on" << endpoint();
    emit stateChanged(LinkState::Ready, com(m_port));
    emit searchFinished(true);
}

void SerialLink::failed() {
    m_searching = false;
    dropPort();
    qCInfo(linkLog).noquote() << "serial search from" << com(m_choice)
                              << "found no instrument; it ended at" << com(m_port);
    emit stateChanged(LinkState::Failed, com(m_port));
    emit searchFinished(false);
}

void SerialLink::dropPort() {
    m_pendingPoll = nullptr;
    m_replyTimer.stop();
    m_pauseTimer.stop();
    m_poll.cancel();
    m_poll.setTransport(nullptr);
    if (m_transport) {
        m_transport->disconnect(this);
        m_transport->close();
        // The port may be the sender of the signal being handled: delete it later.
        m_transport.release()->deleteLater();
    }
    m_open = false;
}

// The adapter was pulled or the device closed under us: the link is gone, and the operator
// sees it and may open another port or connect over Ethernet.
void SerialLink::onPortLost() {
    if (!m_open) return;
    qCInfo(linkLog).noquote() << "serial link on" << endpoint() << "lost";
    dropPort();
    m_lost = true;
    emit stateChanged(LinkState::Lost, com(m_port));
    emit linkLost();
}

void SerialLink::closePort() {
    if (!isOpen() && !m_lost) return;
    const bool wasOpen = isOpen();
    qCInfo(linkLog).noquote() << "serial link on" << endpoint() << "closed";
    dropPort();
    m_lost = false;
    emit stateChanged(LinkState::Closed, com(m_choice)); // the menu's choice, not the port
    if (wasOpen) emit linkLost();
}

} // namespace q7rk
