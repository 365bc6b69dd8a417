#pragma once

#include "kinds/ChannelTest.h"
#include "link/Frame.h"
#include "link/ResultSender.h"
#include "settings/ChannelModel.h"
#include "settings/Timing.h"
#include "shell/Commands.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

namespace q7rk {

class Evaluator;
class InstrumentLink;
class ActiveLink;
class RunEvents;
class SamplingTick;

// Running a channel group. A run is driven by two timers: the poll (every 250 ms) keeps the
// raw readings fresh, the sampling tick (every second) takes one sample per channel and then
// evaluates channels 1-3; whenever a stop flag may have changed (a tick, a stop button, a lost
// link) the run ends once channels 1-3 have all stopped. Nothing waits in a loop: between
// ticks the program idles. The links only report (readings, a silent instrument, a lost link);
// what that means for the run is decided here, including an Ethernet peer that keeps the
// connection but stops answering. Whether a run may start, and what the operator sees of it,
// is the station's: this only runs and tells.
class RunController : public QObject {
    Q_OBJECT
public:
    // Why the last run ended.
    enum class EndReason { Finished, Stopped, InstrumentSilent, LinkLost };

    RunController(ChannelModel& channels, ChannelTests& tests, SamplingTick& tick,
                  Evaluator& evaluator, RunEvents& events, const ActiveLink& links,
                  const Timing& timing = Timing{}, QObject* parent = nullptr);

    // The last channel a group button runs (RunChannels123: 2); -1 for other commands.
    static int lastChannelOf(Command group);
    // The run of `group` begins on the active link with the channels' tests as they were
    // taken at the start: channels 1..lastChannelOf(group)+1 run.
    void begin(Command group);
    // The group whose button stops the run now (nothing once it was pressed or while idle).
    std::optional<Command> stoppableGroup() const { return m_stoppable; }
    // The stoppable group's button: its channels stop, and the run ends as usual.
    void stopGroup();

    bool isRunning() const { return m_running; }
    // Samples of the last run that a late tick took from an earlier reading.
    int lateSamples() const { return m_lateSamples; }
    EndReason endReason() const { return m_endReason; }
    // How the logs and traces name a reason: "finished", "stopped", "instrument silent", …
    static const char* endReasonName(EndReason reason);
    // Why the last run was cut short, as the operator reads it; empty after a normal end or a
    // stop.
    QString endNotice() const;
    // Stops every running channel as the stop-all button does; the run then ends as usual
    // (result frames included).
    void stopAll();
    // Stops the run as stopAll() does and calls `then` once the instrument has had both result
    // frames on the link that carried the run (at once when nothing runs): closing that link
    // must wait for them.
    void stopThen(std::function<void()> then);
    // The program closes: timers off, nothing asked. A run still going is ended on the spot:
    // the instrument gets both result frames before this returns.
    void shutdown();

signals:
    void runStarted();
    // Channel k's test was judged (its verdict set) during the run.
    void channelJudged(int channel);
    // A second of the run was sampled and the watched channels evaluated: the run has taken
    // samplesTaken samples (the shared sampling cursor is moved by others too).
    void ticked(int samplesTaken);
    // Timers off, result frames on their way; `resultsSent` follows when the second went.
    void runEnded();
    void resultsSent();

private:
    InstrumentLink& activeLink() const;
    void beginRun();
    void onTick();
    void takeSample();
    void onPoll();
    void onReply();
    void onSilence();
    void onLinkTrouble(InstrumentLink* link, EndReason reason);
    void stopRunningGroup(EndReason reason);
    void checkEnd();
    void markInterrupted();
    void endRun();
    void onResultsSent();
    void stopTimers();

    ChannelModel& m_channels;
    ChannelTests& m_tests;
    SamplingTick& m_tick;
    Evaluator& m_evaluator;
    RunEvents& m_events;
    const ActiveLink& m_links;
    InstrumentLink& m_serial;
    InstrumentLink& m_ethernet;
    Timing m_timing;
    PollComposer m_poll;
    ResultSender m_results;
    QTimer m_sampleTimer;
    QTimer m_pollTimer;
    QTimer m_watchdog; // silence of an Ethernet peer during a run
    int m_pollsSinceReply = 0;
    QElapsedTimer m_runClock; // since the start of the run: sample n is due at n seconds
    int m_lateSamples = 0;
    // What waits for the second result frame (closing the link that carried the run).
    std::function<void()> m_afterResults;
    QString m_endNotice; // what the operator is told when the run ends by a lost link
    bool m_running = false;
    std::optional<Command> m_stoppable;
    EndReason m_endReason = EndReason::Finished;
};

} // namespace q7rk
