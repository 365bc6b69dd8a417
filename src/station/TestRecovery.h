#pragma once

#include "results/RecoveryJournal.h"
#include "station/TestLifecycle.h"

#include <QList>
#include <QString>
#include <functional>

namespace q7rk {

class PanelModel;
class Prompter;
class RunConditionsRecorder;
class SampleStore;
class StoredTestDisplay;
struct ChannelModel;

// Nothing judged is lost: each channel's test enters the recovery journal the moment it is
// judged, is written again with the run's final conditions when the run ends, and leaves it
// when it is stored or given up (the lifecycle says which). The next start offers what the
// journal holds; Yes puts the tests back into their channels, as the run left them, and runs
// the ordinary save, so they are stored exactly as an uninterrupted save would have stored
// them; No gives them up after saying which.
class TestRecovery {
public:
    struct Parts {
        TestLifecycle& tests;
        const ChannelModel& channels;
        PanelModel& panel;
        SampleStore& samples;
        RunConditionsRecorder& conditions;
        StoredTestDisplay& display;
        Prompter& prompter; // the start-up question and its answer
        Prompter& notices;  // a journal that cannot be written, told without waiting
    };
    explicit TestRecovery(const Parts& parts) : m_parts(parts) {}

    // Channel k was judged in the run that is going: it is kept now, before anything else.
    void judged(int k);
    // The lifecycle of channel k changed.
    void stateChanged(int k, TestState state);
    // The operator gave the unsaved tests up (a quit he confirmed, a script that said No).
    void giveUpAll();

    struct Outcome {
        QList<JournalEntry> offered; // what the journal held
        bool accepted = false;       // the operator said Yes
        QString error;               // the journal could not be read (whole or in part)
    };
    // The start-up offer: asked only when the journal holds tests. `save` is the ordinary
    // save of the finished tests.
    Outcome offer(const std::function<bool()>& save);

    // What the journal holds now (a script checks before it is asked).
    RecoveryJournal::Contents pending() const { return m_journal.read(); }
    // The question asked for these entries.
    static QString question(const QList<JournalEntry>& entries);
    // "第1路 1203HL 合格" for each entry, joined by "，".
    static QString listed(const QList<JournalEntry>& entries);

private:
    void keep(int k);
    void restore(const QList<JournalEntry>& entries);
    void tell(const QString& failure);

    Parts m_parts;
    RecoveryJournal m_journal;
    PerChannel<bool> m_kept{}; // channels whose test the journal holds
};

} // namespace q7rk
