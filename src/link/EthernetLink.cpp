#include "EthernetLink.h"

#include "link/Frame.h"
#include "link/FrameAssembler.h"
#include "link/LinkLog.h"
#include "link/TcpTransport.h"

#include <algorithm>

namespace q7rk {

EthernetLink::EthernetLink(const Timing& timing, QObject* parent)
    : InstrumentLink(parent), m_assembler(std::make_unique<FrameAssembler>()) {
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(timing.connectTimeoutMs);
    m_handshakeTimer.setSingleShot(true);
    m_handshakeTimer.setInterval(timing.handshakeTimeoutMs);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        giveUp(QStringLiteral("以太网连接超时：%1秒内未能连接到仪器 %2，请检查地址和端口。")
                   .arg(m_connectTimer.interval() / 1000.0)
                   .arg(peer()));
    });
    connect(&m_handshakeTimer, &QTimer::timeout, this, [this] {
        giveUp(QStringLiteral("仪器未应答：已连接到 %2，但%1秒内没有收到握手应答，连接已断开。"
                              "请检查该地址是否为智能TV仪。")
                   .arg(m_handshakeTimer.interval() / 1000.0)
                   .arg(peer()));
    });
}

EthernetLink::~EthernetLink() {
    dropSocket();
}

EthernetLink::State EthernetLink::state() const {
    return m_state;
}

Transport* EthernetLink::transport() const {
    return state() == Connected ? m_socket.get() : nullptr;
}

bool EthernetLink::send(const QByteArray& frame) {
    Transport* t = transport();
    return t && t->write(frame);
}

bool EthernetLink::isReady() const {
    return state() == Connected && m_handshaken;
}

void EthernetLink::sendPoll(const PollBuilder& build) {
    if (!isReady()) return;
    if (m_unansweredPolls >= PollsInFlight) {
        --m_unansweredPolls;
        qCInfo(linkLog).noquote() << "Ethernet link to" << peer()
                                  << "- reply lost:" << PollsInFlight << "polls unanswered";
        if (m_socket) m_socket->traceNote(QStringLiteral("reply lost"));
        emit replyLost();
    }
    if (!send(build())) return;
    ++m_unansweredPolls;
    emit pollSent();
}

void EthernetLink::setTrace(std::shared_ptr<LinkTrace> trace) {
    m_trace = std::move(trace);
    if (m_socket) m_socket->setTrace(m_trace);
}

QString EthernetLink::peer() const {
    return m_address + QLatin1Char(':') + QString::number(m_port);
}

// Nothing came in time: back to closed, saying which step failed.
void EthernetLink::giveUp(const QString& text) {
    qCInfo(linkLog).noquote() << "Ethernet link to" << peer() << "given up:" << text.simplified();
    dropSocket();
    setState(Closed, LinkState::Failed, text);
}

void EthernetLink::open(const QString& address, quint16 port) {
    if (state() != Closed) return;
    m_address = address;
    m_port = port;
    m_assembler->clear();
    m_socket = std::make_unique<TcpTransport>(address, port);
    m_socket->setTrace(m_trace);
    connect(m_socket.get(), &Transport::opened, this, &EthernetLink::onConnected);
    connect(m_socket.get(), &Transport::readyRead, this, &EthernetLink::onData);
    connect(m_socket.get(), &Transport::closed, this, &EthernetLink::onLost);
    connect(m_socket.get(), &Transport::errorOccurred, this, &EthernetLink::onLost);
    qCDebug(linkLog).noquote() << "Ethernet link: connecting to" << peer();
    setState(Connecting, LinkState::Connecting);
    m_connectTimer.start();
    m_socket->open();
}

void EthernetLink::closeLink() {
    if (state() == Closed) return;
    qCInfo(linkLog).noquote() << "Ethernet link to" << peer() << "closed";
    dropSocket();
    setState(Closed, LinkState::Closed);
}

void EthernetLink::shutdown() {
    if (state() != Closed) {
        qCInfo(linkLog).noquote() << "Ethernet link to" << peer() << "closed at shutdown";
        dropSocket();
    }
    m_state = Closed;
}

void EthernetLink::onConnected() {
    m_connectTimer.stop();
    qCDebug(linkLog).noquote() << "Ethernet link: connected to" << peer()
                               << "- waiting for the handshake reply";
    setState(Connected, LinkState::Connected);
    m_handshakeTimer.start();
    m_socket->write(buildHandshake());
}

void EthernetLink::onData() {
    if (!m_socket) return;
    const qint64 discardedBefore = m_assembler->discarded();
    const QList<QByteArray> frames = m_assembler->feed(m_socket->readAll());
    // Bytes that made no frame were a reply cut short or broken on the way.
    if (const qint64 lost = m_assembler->discarded() - discardedBefore; lost > 0)
        rejectReply(QStringLiteral("%1 bytes made no frame").arg(lost));
    for (const QByteArray& frame : frames) {
        if (isHandshakeReply(frame)) {
            // Also during a run: the instrument answered a handshake again. The message must
            // not stop the run's timers behind a modal box.
            m_handshakeTimer.stop();
            if (!m_handshaken) qCInfo(linkLog).noquote() << "Ethernet link open on" << peer();
            m_handshaken = true;
            emit stateChanged(LinkState::Ready, peer());
            emit handshakeReplied();
        } else if (const auto readings =
                       quint8(frame.at(frame::CodeAt)) == quint8(FrameCode::PollReply)
                           ? decodeEthernetReply(frame)
                           : std::nullopt) {
            // Only whole poll replies reach the readings; anything else is dropped.
            m_unansweredPolls = std::max(0, m_unansweredPolls - 1);
            emit readingsReceived(*readings);
            emit pollReplyDecoded();
        } else {
            rejectReply(QStringLiteral("a frame with code %1 is no poll reply")
                            .arg(quint8(frame.at(frame::CodeAt)), 2, 16, QLatin1Char('0')));
        }
    }
}

// Refused, reset or closed by the instrument: back to closed, with no reason to give.
void EthernetLink::onLost() {
    if (state() == Closed && !m_socket) return;
    const LinkState reported = state() == Connected ? LinkState::Lost : LinkState::Closed;
    qCInfo(linkLog).noquote() << "Ethernet link to" << peer()
                              << (reported == LinkState::Lost ? "lost" : "refused or closed");
    dropSocket();
    setState(Closed, reported);
}

// A reply came, though not one to use: the poll was answered, badly. Outside a poll (noise
// at connect, an answer to the result command) it says nothing about the polls.
void EthernetLink::rejectReply(const QString& why) {
    if (m_unansweredPolls == 0) {
        qCDebug(linkLog).noquote() << "Ethernet link: outside a poll" << why;
        return;
    }
    qCWarning(linkLog).noquote() << "Ethernet reply from" << peer() << "rejected:" << why;
    --m_unansweredPolls;
    if (m_socket) m_socket->traceNote(QStringLiteral("reply rejected: ") + why);
    emit replyRejected();
}

void EthernetLink::dropSocket() {
    m_connectTimer.stop();
    m_handshakeTimer.stop();
    m_handshaken = false;
    m_unansweredPolls = 0;
    if (!m_socket) return;
    m_socket->disconnect(this);
    m_socket->close();
    // The socket may be the sender of the signal being handled: delete it later.
    m_socket.release()->deleteLater();
}

void EthernetLink::setState(State s, LinkState reported, const QString& detail) {
    const bool wasConnected = m_state == Connected;
    m_state = s;
    if (wasConnected && s == Closed) emit linkLost();
    emit stateChanged(reported, detail.isEmpty() ? peer() : detail);
}

} // namespace q7rk
