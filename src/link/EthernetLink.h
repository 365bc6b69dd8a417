#pragma once

#include "link/InstrumentLink.h"
#include "settings/Timing.h"

#include <QObject>
#include <QTimer>
#include <memory>

namespace q7rk {

class FrameAssembler;
class PanelModel;
class Prompter;
class ShellModel;
class Transport;
struct ChannelModel;

// The Ethernet link: the toggle 以太网连接/以太网断开 connects to the address and port of
// Text41/Text42, sends the handshake once connected and switches the poll to Ethernet when
// the instrument answers it. Poll replies are gathered into whole frames and decoded for all
// six channels. A refused or dropped connection goes back to closed without a message; an
// address that never answers, or a peer that never answers the handshake, is given up after
// a while with a message, and the toggle stays in reach all the time, so the operator is
// never stuck in a half-made connection.
class EthernetLink : public InstrumentLink {
    Q_OBJECT
public:
    enum State : quint8 { Closed = 0, Connected = 1, Connecting = 2 };

    EthernetLink(ChannelModel& channels, const PanelModel& panel, ShellModel& shell,
                 Prompter& prompter, const Timing& timing = Timing{}, QObject* parent = nullptr);
    ~EthernetLink() override;

    void toggle();   // menu RJ45 and toolbar "RJ45_connect"
    void shutdown(); // closes the socket when one is there

    State state() const;
    // The connection while one stands; null otherwise.
    Transport* transport() const;
    // Sends a frame over the connection; false when there is none.
    bool send(const QByteArray& frame);

    // Connected and the instrument answered the handshake.
    bool isReady() const override;
    void sendPoll(const PollBuilder& build) override;
    void cancelPoll() override { m_unansweredPolls = 0; }
    bool sendResult(const QByteArray& frame) override { return send(frame); }
    // Closes the connection; panel 7 reads 以太网通讯中断 and a standing one is reported lost.
    void closeLink() override;
    QString statusName() const override { return QStringLiteral("以太网"); }

signals:
    void handshakeReplied();
    void pollReplyDecoded();
    void stateChanged(int state);

private:
    void setState(State s);
    void refreshStatus();
    void onConnected();
    void onData();
    void onLost();
    void dropSocket();
    void rejectReply();
    void giveUp(const QString& text);
    QString peer() const;

    ChannelModel& m_channels;
    const PanelModel& m_panel;
    ShellModel& m_shell;
    Prompter& m_prompter;
    std::unique_ptr<Transport> m_socket;
    std::unique_ptr<FrameAssembler> m_assembler;
    QTimer m_connectTimer;
    QTimer m_handshakeTimer;
    bool m_handshaken = false;
    // Polls go out on the clock whether or not the last one was answered, and replies come
    // in order. A reply may be a little late on a busy network; one that has not come by
    // the time the second poll after its own falls due is lost.
    static constexpr int PollsInFlight = 2;
    int m_unansweredPolls = 0;
};

} // namespace q7rk
