#include "EthernetLink.h"

#include "link/Frame.h"
#include "link/FrameAssembler.h"
#include "link/LinkTexts.h"
#include "link/TcpTransport.h"
#include "params/PanelModel.h"
#include "settings/ChannelModel.h"
#include "shell/Prompter.h"
#include "shell/ShellModel.h"

namespace q7rk {

namespace {

const QString kBadPort = QStringLiteral("端口号无效：请在“端口”中输入1～65535之间的数字。");

} // namespace

EthernetLink::EthernetLink(ChannelModel& channels, const PanelModel& panel, ShellModel& shell,
                           Prompter& prompter, QObject* parent)
    : QObject(parent), m_channels(channels), m_panel(panel), m_shell(shell), m_prompter(prompter),
      m_assembler(std::make_unique<FrameAssembler>()) {}

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

void EthernetLink::toggle() {
    if (state() != Closed) {
        dropSocket();
        setState(Closed);
        refreshStatus();
        return;
    }
    const QString address = m_panel.text(0, boxes::InstrumentAddress).trimmed();
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
    m_socket->open();
}

void EthernetLink::shutdown() {
    if (state() != Closed) dropSocket();
    m_channels.ethernetState = Closed;
}

void EthernetLink::onConnected() {
    setState(Connected);
    refreshStatus();
    m_socket->write(buildHandshake());
}

void EthernetLink::onData() {
    if (!m_socket) return;
    for (const QByteArray& frame : m_assembler->feed(m_socket->readAll())) {
        if (isHandshakeReply(frame)) {
            // Also during a run: the instrument answered a handshake again.
            m_channels.serialLinkActive = false;
            m_shell.setStatusText(ShellModel::LinkPanel, QStringLiteral("以太网通讯正常"));
            m_shell.setToolbarVisible(true);
            m_prompter.inform(linktexts::connectTitle(), linktexts::connected());
            emit handshakeReplied();
        } else if (quint8(frame.at(frame::CodeAt)) == quint8(FrameCode::PollReply)) {
            // Only whole poll replies reach the readings; anything else is dropped.
            if (const auto readings = decodeEthernetReply(frame)) {
                applyReadings(m_channels, *readings);
                emit pollReplyDecoded();
            }
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

void EthernetLink::dropSocket() {
    if (!m_socket) return;
    m_socket->disconnect(this);
    m_socket->close();
    // The socket may be the sender of the signal being handled: delete it later.
    m_socket.release()->deleteLater();
}

void EthernetLink::setState(State s) {
    if (m_channels.ethernetState == s) return;
    m_channels.ethernetState = s;
    emit stateChanged(s);
}

void EthernetLink::refreshStatus() {
    const QString rj45 = QStringLiteral("RJ45");
    const QString button = QStringLiteral("RJ45_connect");
    switch (state()) {
    case Closed:
        m_shell.setMenuEnabled(rj45, true);
        m_shell.setMenuCaption(rj45, QStringLiteral("以太网连接"));
        m_shell.setButtonEnabled(button, true);
        m_shell.setButtonCaption(button, QStringLiteral("以太网连接"));
        m_shell.setStatusText(ShellModel::LinkPanel, QStringLiteral("以太网通讯中断"));
        m_shell.setMenuEnabled(QStringLiteral("connet"), true);
        break;
    case Connected:
        m_shell.setMenuEnabled(rj45, true);
        m_shell.setMenuCaption(rj45, QStringLiteral("以太网断开"));
        m_shell.setButtonEnabled(button, true);
        m_shell.setButtonCaption(button, QStringLiteral("以太网断开"));
        m_shell.setStatusText(ShellModel::LinkPanel, QStringLiteral("以太网通讯正常"));
        m_shell.setMenuEnabled(QStringLiteral("connet"), false);
        break;
    case Connecting:
        m_shell.setMenuEnabled(rj45, false);
        m_shell.setMenuCaption(rj45, QStringLiteral("以太网连接"));
        m_shell.setButtonEnabled(button, false);
        m_shell.setButtonCaption(button, QStringLiteral("以太网连接"));
        break;
    }
}

} // namespace q7rk
