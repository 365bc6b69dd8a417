#pragma once

#include "link/Frame.h"
#include "link/LinkTrace.h"

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>

namespace q7rk {

// What the run control sees of either link to the instrument. A link carries frames and
// reports what happened; what a report means for the run (which channels stop, whether the
// run ends) is decided above it.
class InstrumentLink : public QObject {
    Q_OBJECT
public:
    // Builds the poll afresh for every attempt, so each one carries the current values.
    using PollBuilder = std::function<QByteArray()>;

    // Where a link stands, as it reports it; the supervisor turns it into captions, enabled
    // items and messages.
    enum class LinkState : quint8 {
        Closed,     // closed by the operator, or an attempt refused before it began
        Searching,  // serial: trying the port the detail names
        Connecting, // Ethernet: connecting to the peer the detail names
        Connected,  // Ethernet: the connection stands, the handshake is awaited
        Ready,      // the instrument answered the handshake
        Failed,     // the attempt was given up: the detail is the port tried last (serial) or
                    // what went wrong (Ethernet)
        Lost,       // a standing link went away on its own
    };
    Q_ENUM(LinkState)

    using QObject::QObject;
    ~InstrumentLink() override = default;

    // The instrument answered the handshake and the link still stands.
    virtual bool isReady() const = 0;
    // Sends one poll. Skipped while the previous one is still waiting for its reply.
    virtual void sendPoll(const PollBuilder& build) = 0;
    // Abandons a poll in flight without reporting on it (the run ended).
    virtual void cancelPoll() = 0;
    // The test-end command; no reply is awaited. False when it could not be written.
    virtual bool sendResult(const QByteArray& frame) = 0;
    // Gives the link up (the instrument no longer answers): the port or connection is closed
    // and reported lost, as if it had gone away.
    virtual void closeLink() = 0;
    // The descriptor of the open port or connection; -1 when the link does not stand.
    virtual qintptr descriptor() const = 0;
    // What panel 7 calls the link: "以太网", "COM3".
    virtual QString statusName() const = 0;
    // Where the instrument is reached, as a stored test records it: "COM1 (/dev/ttyS0)",
    // "192.168.0.10:4001".
    virtual QString endpoint() const = 0;
    // Every byte of the link goes into `trace` from now on (the port or connection that
    // stands, and those opened later); null ends that.
    virtual void setTrace(std::shared_ptr<LinkTrace> trace) = 0;

signals:
    // Every change of where the link stands; the detail names the port or peer.
    void stateChanged(q7rk::InstrumentLink::LinkState state, const QString& detail);
    void readingsReceived(const q7rk::RawReadings& readings);
    // The link stands but the instrument did not answer a poll in time.
    void instrumentSilent();
    // The port or the connection went away.
    void linkLost();
    // The health of a standing link, reply by reply: a poll went unanswered (its time-out
    // ran out, or the next poll fell due first), or a reply came that could not be used
    // (broken, cut short, a wrong code).
    void replyLost();
    void replyRejected();
    // A poll went out on the line (each attempt of a serial poll counts).
    void pollSent();
};

} // namespace q7rk
