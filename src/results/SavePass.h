#pragma once

#include "results/StoredTest.h"

#include <QList>
#include <QSet>
#include <QString>

namespace q7rk {

class PanelModel;
class ResultStore;
class SampleStore;

// One channel of the group as the save pass sees it.
struct SaveCandidate {
    int channel = 0;
    StoredTest test;
    bool requiredFilled = true; // the kind's required boxes hold text
    bool takenInFile = false;   // the number is taken in the kind's file
};

// The verdict of the checks. A refusal means nothing is stored.
struct SaveDecision {
    QString refusal;    // the text for the operator, empty when the pass may store
    QList<int> toStore; // positions in the candidate list, in channel order
    QList<int> skipped; // stored by an earlier pass of this run: left alone
};

// Key of a stored test in the set of what this run has stored.
QString savedKey(TestKind kind, const QString& testNumber);

// The checks of a save pass, before anything is written, channel by channel: a number
// taken in the file or used twice in the group, then the required boxes; the first channel
// that fails refuses the pass. A value a field cannot take refuses it as a failed save.
// A channel whose test this run has already stored (and the file still holds) is skipped
// instead of refused.
SaveDecision checkSavePass(const QList<SaveCandidate>& group, const QSet<QString>& storedThisRun);

struct SaveReport {
    bool ok = false;
    QString message; // refusal or failure; empty when all went well
    int stored = 0;  // tests really stored by this pass
    QList<int> storedChannels;
    QList<int> skippedChannels;
};

// A channel the station lets the pass store, and the samples its run took.
struct SaveRequest {
    int channel = 0;
    int samplesTaken = 0;
};

// The save pass over the running group firstChannel..lastChannel: checks, then each test in
// a transaction of its own. Remembers what it stored until the next run begins, so saving
// the same run twice stores nothing twice and refuses nothing.
class SavePass {
public:
    explicit SavePass(ResultStore& store) : m_store(store) {}

    // A new run: its channels' numbers count as taken again when stored before.
    void newRun() { m_storedThisRun.clear(); }

    QList<SaveCandidate> candidates(const PanelModel& panel, const SampleStore& samples) const;
    SaveReport run(const PanelModel& panel, const SampleStore& samples);
    SaveReport run(const PanelModel& panel, const SampleStore& samples,
                   const QList<SaveRequest>& channels);
    SaveReport run(const QList<SaveCandidate>& group);

private:
    ResultStore& m_store;
    QSet<QString> m_storedThisRun;
};

} // namespace q7rk
