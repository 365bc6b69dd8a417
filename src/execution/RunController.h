#pragma once

#include "kinds/TestKindDescription.h"
#include "link/Frame.h"
#include "link/ResultSender.h"
#include "settings/ChannelModel.h"
#include "settings/SampleStore.h"
#include "settings/Timing.h"
#include "shell/Commands.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <span>

namespace q7rk {

class Evaluator;
class InstrumentLink;
class ActiveLink;
class PanelModel;
class Prompter;
class SamplingTick;
class SettingsStore;
class ShellModel;

// Starting and stopping a channel group and the run itself. A run is driven by two timers:
// the poll (every 250 ms) keeps the raw readings fresh, the sampling tick (every second)
// takes one sample per channel and then evaluates channels 1-3; whenever a stop flag may
// have changed (a tick, a stop button, a lost link) the run ends once channels 1-3 have all
// stopped. Nothing waits in a loop: between ticks the program idles. The links only report
// (readings, a silent instrument, a lost link); what that means for the run is decided here,
// including an Ethernet peer that keeps the connection but stops answering.
class RunController : public QObject {
    Q_OBJECT
public:
    // A test number already stored for that kind? (The result files answer it.)
    using DuplicateCheck = std::function<bool(TestKind kind, const TestKey& key)>;

    // Why the last run ended.
    enum class EndReason { Finished, Stopped, InstrumentSilent, LinkLost };

    RunController(ChannelModel& channels, RunStates& runs, PanelModel& panel, SamplingTick& tick,
                  Evaluator& evaluator, ShellModel& shell, Prompter& prompter,
                  SettingsStore& settings, const ActiveLink& links, const Timing& timing = Timing{},
                  QObject* parent = nullptr);

    // A group button (RunChannels123, RunChannels12, RunChannel1): starts its group, or stops
    // it while it runs. Other commands do nothing.
    void startOrStop(Command group);

    void setDuplicateCheck(DuplicateCheck check) { m_duplicate = std::move(check); }
    // A line under the first line of the next start question (what the start gate did).
    void setStartNote(const QString& note) { m_startNote = note; }
    // The new-test reset the window runs before every start, once the operator said Yes.
    void setNewTestReset(std::function<void()> reset) { m_newTestReset = std::move(reset); }
    // Asked with the group's command once the link is known to stand and before the start
    // question: false keeps the tests shown (the operator would give up unsaved results).
    void setStartGate(std::function<bool(Command)> gate) { m_startGate = std::move(gate); }

    bool isRunning() const { return m_running; }
    // Samples of the last run that a late tick took from an earlier reading.
    int lateSamples() const { return m_lateSamples; }
    EndReason endReason() const { return m_endReason; }
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
    struct GroupButton {
        Command command;
        qint16 lastChannel;
        const char* runningCaption;
        const char* stoppedCaption;
    };
    static std::span<const GroupButton> groupButtons();
    static const GroupButton* groupButton(Command command);

    InstrumentLink& activeLink() const;
    void start(const GroupButton& button);
    bool confirmStart();
    QString tooLongForTheStore(int k) const;
    QString setValuesLine(int k) const;
    void beginRun();
    void stopGroup(const GroupButton& button);
    void restoreStartButtons();
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
    RunStates& m_runs;
    PanelModel& m_panel;
    SamplingTick& m_tick;
    Evaluator& m_evaluator;
    ShellModel& m_shell;
    Prompter& m_prompter;
    SettingsStore& m_settings;
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
    DuplicateCheck m_duplicate;
    QString m_startNote;
    std::function<void()> m_newTestReset;
    std::function<bool(Command)> m_startGate;
    bool m_running = false;
    // The group whose button reads "stop" now; empty while none does.
    const GroupButton* m_stoppable = nullptr;
    EndReason m_endReason = EndReason::Finished;
};

} // namespace q7rk
