#include "EthernetLink.h"

#include "link/Frame.h"
#include "link/FrameAssembler.h"
#include "link/LinkTexts.h"
#include "link/TcpTransport.h"
#include "params/PanelModel.h"
#include "settings/ChannelModel.h"
#include "shell/Prompter.h"
#include "shell/ShellModel.h"

#include <algorithm>

namespace q7rk {

namespace {

const QString kBadPort = QStringLiteral("端口号无效：请在“端口”中输入1～65535之间的数字。");
const QString kNoAddress =
    QStringLiteral("请输入仪器的IP地址（“铝箔TV-漏电流参数设置”页，“以太网连接”中的“仪器地址”）。");

} // namespace

EthernetLink::EthernetLink(ChannelModel& channels, const PanelModel& panel, ShellModel& shell,
                           Prompter& prompter, const Timing& timing, QObject* parent)
    : InstrumentLink(parent), m_channels(channels), m_panel(panel), m_shell(shell),
      m_prompter(prompter), m_assembler(std::make_unique<FrameAssembler>()) {
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
    return State(m_channels.ethernetState);
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
        emit replyLost();
    }
    if (send(build())) ++m_unansweredPolls;
}

QString EthernetLink::peer() const {
    return m_panel.text(0, boxes::InstrumentAddress).trimmed() + QLatin1Char(':') +
           m_panel.text(0, boxes::InstrumentPort).trimmed();
}

// Nothing came in time: back to closed, and the operator is told which step failed.
void EthernetLink::giveUp(const QString& text) {
    dropSocket();
    setState(Closed);
    refreshStatus();
    m_prompter.notify(linktexts::connectTitle(), text);
}

void EthernetLink::toggle() {
    if (state() != Closed) {
        closeLink();
        return;
    }
    const QString address = m_panel.text(0, boxes::InstrumentAddress).trimmed();
    // An empty address would be taken as this computer and fail only after the time-out.
    if (address.isEmpty()) {
        m_prompter.inform(linktexts::connectTitle(), kNoAddress);
        return;
    }
    bool ok = false;
    const uint port = m_panel.text(0, boxes::InstrumentPort).trimmed().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        // Nothing to connect to: the state stays closed.
        m_prompter.inform(linktexts::connectTitle(), kBadPort);
        return;
    }
    m_assembler->clear();
    m_socket = std::make_unique<TcpTransport>(address, quint16(port));
    connect(m_socket.get(), &Transport::opened, this, &EthernetLink::onConnected);
    connect(m_socket.get(), &Transport::readyRead, this, &EthernetLink::onData);
    connect(m_socket.get(), &Transport::closed, this, &EthernetLink::onLost);
    connect(m_socket.get(), &Transport::errorOccurred, this, &EthernetLink::onLost);
    setState(Connecting);
    refreshStatus();
    m_connectTimer.start();
    m_socket->open();
}

void EthernetLink::closeLink() {
    if (state() == Closed) return;
    dropSocket();
    setState(Closed);
    refreshStatus();
}

void EthernetLink::shutdown() {
    if (state() != Closed) dropSocket();
    m_channels.ethernetState = Closed;
}

void EthernetLink::onConnected() {
    m_connectTimer.stop();
    setState(Connected);
    refreshStatus();
    m_handshakeTimer.start();
    m_socket->write(buildHandshake());
}

void EthernetLink::onData() {
    if (!m_socket) return;
    const qint64 discardedBefore = m_assembler->discarded();
    const QList<QByteArray> frames = m_assembler->feed(m_socket->readAll());
    // Bytes that made no frame were a reply cut short or broken on the way.
    if (m_assembler->discarded() > discardedBefore) rejectReply();
    for (const QByteArray& frame : frames) {
        if (isHandshakeReply(frame)) {
            // Also during a run: the instrument answered a handshake again. The message must
            // not stop the run's timers behind a modal box.
            m_handshakeTimer.stop();
            m_handshaken = true;
            m_channels.serialLinkActive = false;
            m_shell.setStatusText(ShellModel::LinkPanel, QStringLiteral("以太网通讯正常"));
            m_shell.setToolbarVisible(true);
            m_prompter.notify(linktexts::connectTitle(), linktexts::connected());
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
            rejectReply();
        }
    }
}

// Refused, reset or closed by the instrument: back to closed, no message.
void EthernetLink::onLost() {
    if (state() == Closed && !m_socket) return;
    dropSocket();
    setState(Closed);
    refreshStatus();
}

// A reply came, though not one to use: the poll was answered, badly. Outside a poll (noise
// at connect, an answer to the result command) it says nothing about the polls.
void EthernetLink::rejectReply() {
    if (m_unansweredPolls == 0) return;
    --m_unansweredPolls;
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

void EthernetLink::setState(State s) {
    if (m_channels.ethernetState == s) return;
    const bool wasConnected = m_channels.ethernetState == Connected;
    m_channels.ethernetState = s;
    emit stateChanged(s);
    if (wasConnected && s == Closed) emit linkLost();
}

// The toggle stays in reach in every state: while connecting and before the handshake it
// reads 以太网断开 and gives up the attempt. The serial items wait until the connection is
// closed again.
void EthernetLink::refreshStatus() {
    const QString rj45 = QStringLiteral("RJ45");
    const QString button = QStringLiteral("RJ45_connect");
    const bool closed = state() == Closed;
    const QString caption = closed ? QStringLiteral("以太网连接") : QStringLiteral("以太网断开");
    m_shell.setMenuEnabled(rj45, true);
    m_shell.setMenuCaption(rj45, caption);
    m_shell.setButtonEnabled(button, true);
    m_shell.setButtonCaption(button, caption);
    m_shell.setMenuEnabled(QStringLiteral("connet"), true);
    m_shell.setMenuEnabled(QStringLiteral("select"), closed);
    m_shell.setMenuEnabled(QStringLiteral("Com_off"), closed);
    if (closed)
        m_shell.setStatusText(ShellModel::LinkPanel, QStringLiteral("以太网通讯中断"));
    else if (state() == Connected)
        m_shell.setStatusText(ShellModel::LinkPanel, QStringLiteral("以太网通讯正常"));
    else
        m_shell.setStatusText(ShellModel::LinkPanel,
                              QStringLiteral("正在连接") + peer() + QStringLiteral("…"));
}

} // namespace q7rk
