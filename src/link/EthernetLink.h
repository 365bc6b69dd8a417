#pragma once

#include "link/InstrumentLink.h"
#include "link/Transport.h"
#include "settings/Timing.h"

#include <QObject>
#include <QTimer>
#include <memory>

namespace q7rk {

class FrameAssembler;
class Transport;

// The Ethernet link: connects to an address and port, sends the handshake once connected and
// is ready when the instrument answers it. Poll replies are gathered into whole frames and
// decoded for all six channels. A refused or dropped connection goes back to closed; an
// address that never answers, or a peer that never answers the handshake, is given up after
// a while (reported as failed, with the reason), so the operator is never stuck in a
// half-made connection.
class EthernetLink : public InstrumentLink {
    Q_OBJECT
public:
    enum State : quint8 { Closed = 0, Connected = 1, Connecting = 2 };

    explicit EthernetLink(const Timing& timing = Timing{}, QObject* parent = nullptr);
    ~EthernetLink() override;

    // Connects to `address`:`port` when closed; the caller has checked both.
    void open(const QString& address, quint16 port);
    void shutdown(); // closes the socket when one is there, without a report

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
    // Closes the connection; a standing one is reported lost.
    qintptr descriptor() const override {
        const Transport* t = transport();
        return t ? t->descriptor() : -1;
    }
    void closeLink() override;
    QString statusName() const override { return QStringLiteral("以太网"); }
    QString endpoint() const override { return peer(); }
    void setTrace(std::shared_ptr<LinkTrace> trace) override;

signals:
    void handshakeReplied();
    void pollReplyDecoded();

private:
    // The new state, reported as `reported` with the peer or, when given, `detail`.
    void setState(State s, LinkState reported, const QString& detail = {});
    void onConnected();
    void onData();
    void onLost();
    void dropSocket();
    void rejectReply(const QString& why);
    void giveUp(const QString& text);
    QString peer() const;

    State m_state = Closed;
    QString m_address;
    quint16 m_port = 0;
    std::unique_ptr<Transport> m_socket;
    std::shared_ptr<LinkTrace> m_trace;
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
