#pragma once

#include "kinds/Box.h"
#include "results/ResultStore.h"
#include "results/StoredTest.h"

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace q7rk {

class PanelModel;
class ResultStore;

// A channel the station lets the pass save, what its run measured (`measuredRecord`) and
// what it was measured under (stored beside it when given).
struct SaveRequest {
    SaveRequest(int channel_ = 0, StoredTest measured_ = {},
                std::optional<RunConditions> conditions_ = std::nullopt)
        : channel(channel_), measured(std::move(measured_)), conditions(std::move(conditions_)) {}

    int channel;
    StoredTest measured; // without the operator's texts: they are the boxes' at the save
    std::optional<RunConditions> conditions;
    CompanionWrite companion; // written with the test, in its transaction
};

// A required box left empty.
struct MissingBox {
    int channel;
    Box box;
};

// One channel of the group as the save pass sees it.
struct SaveCandidate {
    int channel = 0;
    StoredTest test;
    QList<Box> missing;       // the kind's required boxes that are blank
    bool takenInFile = false; // the number is taken in the kind's file
    CompanionWrite companion;
};

// The verdict of the checks. A refusal means nothing is stored.
struct SaveDecision {
    QString refusal;            // the text for the operator, empty when the pass may store
    QList<int> toStore;         // positions in the candidate list, in channel order
    QList<int> skipped;         // stored by an earlier pass of this run: left alone
    QList<MissingBox> missing;  // every required box left empty, in channel order
    bool forEmptyBoxes = false; // the refusal is for empty boxes and names them
};

// Key of a stored test in the set of what this run has stored.
QString savedKey(TestKind kind, const TestKey& key);

// The checks of a save pass, before anything is written, channel by channel: a number
// taken in the file or used twice in the group, then the required boxes; the first channel
// that fails refuses the pass. A refusal for empty boxes names every empty box of the group,
// one line each ("第1路：测试人未填写"). A value a field cannot take refuses it as a failed
// save. A channel whose test this run has already stored (and the file still holds) is
// skipped instead of refused. `storedThisRun` holds, by channel, the key its test was stored
// under this run.
SaveDecision checkSavePass(const QList<SaveCandidate>& group,
                           const QHash<int, QString>& storedThisRun);

// What became of one requested channel.
struct ChannelSaveOutcome {
    int channel;
    enum class Result { Stored, AlreadyStored, NoSamples, Refused, Failed } result;
};

struct SaveReport {
    bool ok = false;
    QString message; // refusal, failure or channels without samples; empty when all went well
    QString warning; // said besides: a result file that holds a test number twice
    int stored = 0;  // tests really stored by this pass
    QList<int> storedChannels;
    QList<int> skippedChannels;
    QList<ChannelSaveOutcome> outcomes; // per requested channel, ascending
    std::optional<MissingBox> firstMissing;
};

// The save pass over the channels the station offers: checks, then each test in a
// transaction of its own. A failed write ends the pass; what was stored before it stays.
// Remembers what it stored until the next run begins, so saving the same run twice stores
// nothing twice and refuses nothing.
class SavePass {
public:
    explicit SavePass(ResultStore& store) : m_store(store) {}

    // A new run: its channels' numbers count as taken again when stored before.
    void newRun() { m_storedThisRun.clear(); }

    // A channel that took no sample is never stored and refuses nothing.
    SaveReport run(const PanelModel& panel, const QList<SaveRequest>& channels);
    SaveReport run(const QList<SaveCandidate>& group);

private:
    SaveCandidate candidate(const PanelModel& panel, const SaveRequest& request) const;

    ResultStore& m_store;
    QHash<int, QString> m_storedThisRun; // by channel: the key its test was stored under
};

} // namespace q7rk
