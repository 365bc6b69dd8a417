#pragma once

#include "link/ResultSender.h"
#include "link/SerialPollExchange.h"
#include "link/SetValueTables.h"
#include "settings/ChannelModel.h"
#include "settings/SampleStore.h"
#include "settings/Timing.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace q7rk {

class EthernetLink;
class Evaluator;
class PanelModel;
class Prompter;
class SamplingTick;
class SerialLink;
class SettingsStore;
class ShellModel;

// Starting and stopping a channel group and the run itself. A run is driven by two timers:
// the poll (every 250 ms) keeps the raw readings fresh, the sampling tick (every second)
// takes one sample per channel and then evaluates channels 1-3; whenever a stop flag may
// have changed (a tick, a stop button, a lost link) the run ends once channels 1-3 have all
// stopped. Nothing waits in a loop: between ticks the program idles.
class RunController : public QObject {
    Q_OBJECT
public:
    // A test number already stored for that kind? (The result files answer it.)
    using DuplicateCheck = std::function<bool(TestKind kind, const QString& testNumber)>;

    RunController(ChannelModel& channels, RunStates& runs, PanelModel& panel, SamplingTick& tick,
                  Evaluator& evaluator, ShellModel& shell, Prompter& prompter,
                  SettingsStore& settings, SerialLink& serial, EthernetLink& ethernet,
                  const Timing& timing = Timing{}, QObject* parent = nullptr);

    // Toolbar keys "test13", "test46", "test16" (start or stop by caption) and "stop16".
    // Returns false for other keys.
    bool buttonClicked(const QString& key);

    void setDuplicateCheck(DuplicateCheck check) { m_duplicate = std::move(check); }
    // The new-test reset the window runs before every start.
    void setNewTestReset(std::function<void()> reset) { m_newTestReset = std::move(reset); }

    bool isRunning() const { return m_running; }

signals:
    void runStarted();
    // Timers off, result frames on their way; `resultsSent` follows when the second went.
    void runEnded();
    void resultsSent();
    // The operator answered Yes to "测试结束，需要保存吗？".
    void saveRequested();

private:
    struct GroupButton {
        const char* key;
        qint16 lastChannel;
        const char* startCaption;
        const char* runningCaption;
        const char* stoppedCaption;
    };
    static const GroupButton* groupButton(const QString& key);

    bool linkStands() const;
    void start(const GroupButton& button);
    bool startRoutine();
    void stopGroup(const GroupButton& button);
    void stopAll();
    void restoreStartButtons();
    void onTick();
    void onPoll();
    void onLinkLost();
    void stopRunningGroup();
    void checkEnd();
    void endRun();

    ChannelModel& m_channels;
    RunStates& m_runs;
    PanelModel& m_panel;
    SamplingTick& m_tick;
    Evaluator& m_evaluator;
    ShellModel& m_shell;
    Prompter& m_prompter;
    SettingsStore& m_settings;
    SerialLink& m_serial;
    EthernetLink& m_ethernet;
    Timing m_timing;
    SetValueTables m_setValues;
    SerialPollExchange m_serialPoll;
    ResultSender m_results;
    QTimer m_sampleTimer; // Timer1
    QTimer m_pollTimer;   // Timer2
    DuplicateCheck m_duplicate;
    std::function<void()> m_newTestReset;
    bool m_running = false;
};

} // namespace q7rk
