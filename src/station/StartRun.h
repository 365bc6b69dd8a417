#pragma once

#include "kinds/ChannelTest.h"
#include "kinds/TestKindDescription.h"
#include "shell/Commands.h"

#include <QObject>
#include <QString>
#include <functional>

namespace q7rk {

class ActiveLink;
class PanelModel;
class Prompter;
class RunController;
class ShellModel;

// A group button as the operator presses it: during its run it stops the run; otherwise the
// start, in its order — the link, the gate (rules and the parameters of a display), the
// numbers already stored, the length, the question, the new-test reset, the tests taken from
// the panel, and the run. A declined or refused start leaves the last test's results, charts
// and samples as they were. It also keeps the group buttons' captions.
class StartRun : public QObject {
    Q_OBJECT
public:
    // A test number already stored for that kind? (The result files answer it.)
    using DuplicateCheck = std::function<bool(TestKind kind, const TestKey& key)>;

    StartRun(ChannelModel& channels, ChannelTests& tests, PanelModel& panel, ShellModel& shell,
             Prompter& prompter, const ActiveLink& links, RunController& run,
             QObject* parent = nullptr);

    void startOrStop(Command group);
    // The stop-all button.
    void stopAll();

    void setDuplicateCheck(DuplicateCheck check) { m_duplicate = std::move(check); }
    // Asked with the group's command once the link is known to stand and before the start
    // question: false keeps the tests shown (the operator would give up unsaved results).
    void setGate(std::function<bool(Command)> gate) { m_gate = std::move(gate); }
    // The new-test reset, once the operator said Yes.
    void setNewTestReset(std::function<void()> reset) { m_reset = std::move(reset); }
    // A line under the first line of the next start question (what the gate did).
    void setStartNote(const QString& note) { m_startNote = note; }
    // Every channel's test from the panel: the poll carries the set values of all six, and
    // the result frame the verdicts of all six.
    void takeTests();

private:
    void start(Command group);
    bool confirm();
    QString setValuesLine(int k) const;
    QString tooLongForTheStore(int k) const;
    void showRunning(Command group);
    void restoreButtons();

    ChannelModel& m_channels;
    ChannelTests& m_tests;
    PanelModel& m_panel;
    ShellModel& m_shell;
    Prompter& m_prompter;
    const ActiveLink& m_links;
    RunController& m_run;
    DuplicateCheck m_duplicate;
    std::function<bool(Command)> m_gate;
    std::function<void()> m_reset;
    QString m_startNote;
};

// Channel k's test as the panel shows it when a run starts: its kind, every box that holds a
// number, and what the instrument will be told of it. What the run measured is left alone.
void takeTestAtStart(const PanelModel& panel, int k, ChannelTest& test);

} // namespace q7rk
