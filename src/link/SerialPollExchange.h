#pragma once

#include "link/Frame.h"
#include "link/Transport.h"
#include "settings/Timing.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

namespace q7rk {

// One tick of the serial poll: send the poll, wait for the reply without blocking, resend
// on silence. Three silent attempts in a row mean the instrument is gone: the tick ends
// with finished(false) and the run control decides what stops. A garbled reply or a failed
// write restarts the attempt without counting it, but only ten times per attempt; an
// eleventh counts as a failed attempt, so a line that only ever garbles does not keep the
// poll busy for ever.
class SerialPollExchange : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxAttempts = 3;
    static constexpr int MaxRestarts = 10;

    // Builds the poll afresh for every attempt, so each one carries the current values; an
    // empty frame cannot be sent and restarts the attempt.
    using PollBuilder = std::function<QByteArray()>;

    explicit SerialPollExchange(const Timing& timing = {}, QObject* parent = nullptr);

    void setTransport(Transport* transport);
    Transport* transport() const { return m_transport; }
    void setTiming(const Timing& timing) { m_replyTimer.setInterval(timing.replyTimeoutMs); }

    // Starts a tick. A tick asked for while the last one still runs is skipped (false).
    bool tick(PollBuilder build);
    // Abandons the running tick without a finished() signal (the run ended, the port closed).
    void cancel();

    bool isRunning() const { return m_running; }
    bool replyTimedOut() const { return m_replyTimedOut; }
    int timeoutCount() const { return m_timeoutCount; }

signals:
    void replied(const q7rk::RawReadings& readings);
    // ok: a reply was decoded (replied() came first); false: three attempts went unanswered.
    void finished(bool ok);
    // One attempt went unanswered; one reply could not be decoded.
    void replyLost();
    void replyRejected();
    // An attempt's poll was written.
    void pollSent();

private:
    void startAttempt();
    void restartAttempt();
    void countFailedAttempt();
    void onReadyRead();
    void onReplyTimeout();
    void onLinkTrouble();
    void finish(bool ok);

    PollBuilder m_build;
    QPointer<Transport> m_transport;
    QTimer m_replyTimer;
    QTimer m_restartTimer; // restarts go through the event loop, never recurse
    bool m_running = false;
    bool m_waiting = false;
    bool m_replyTimedOut = false;
    int m_timeoutCount = 0;
    int m_restarts = 0;
};

} // namespace q7rk
