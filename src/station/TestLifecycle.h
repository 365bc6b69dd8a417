#pragma once

#include "plant/PlantData.h"
#include "results/StoredTest.h"
#include "settings/ChannelModel.h"

#include <QList>
#include <QString>
#include <functional>

namespace q7rk {

// Where the test shown in a channel stands. Every command that stores, uploads, resets or
// replaces a channel's test asks this first, so a test is stored once, under its own number,
// and never given up without the operator's word.
enum class TestState {
    Idle,        // nothing to keep: start-up, after 新建, after a declined start
    Running,     // the run is taking samples
    Finished,    // the run judged it; not stored yet
    Stored,      // in the result file
    Interrupted, // the run was stopped or the link lost before the test was judged
    Recalled,    // shown from the result file or the plant database, not a test of this run
};

// What became of a stored TV test's plant piece.
enum class PieceState {
    NotOffered, // no 保存 has offered it yet (or it is no TV test)
    Sent,       // in the plant database
    Queued,     // the local queue sends it
    NotSent,    // declined or refused: the next 保存 of this run offers it again
};

struct TestRecord {
    TestState state = TestState::Idle;
    // The samples this channel's run actually took. The shared sampling cursor is also moved
    // by the plant upload (to the length of a piece's curve), so it cannot tell this.
    int samplesTaken = 0;
    // Judged while the run goes on for other channels: its test ended there, and later
    // seconds of the run are not part of it.
    bool judged = false;
    // What the run measured when it judged the test (or what the recovery journal kept of
    // it): the numbers, the verdict and the curve a save stores, with the operator's texts
    // of the moment of the save.
    StoredTest measured;
    QString recalledNumber; // the stored test number a recalled test came from
    PieceState pieceState = PieceState::NotOffered;
    // The piece as it was first offered: serial, piece number and run values stay those of
    // this run, whatever the panel shows later. A new run, 新建 or a recalled test ends it.
    RunPiece piece;
};

class TestLifecycle {
public:
    // Told of every channel whose state changed, after the change.
    using Observer = std::function<void(int channel, TestState state)>;
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    const TestRecord& operator[](int k) const { return m_channels[std::size_t(k)]; }
    TestState state(int k) const { return m_channels[std::size_t(k)].state; }
    int samplesTaken(int k) const { return m_channels[std::size_t(k)].samplesTaken; }

    // The new-test reset of channels first..last (inclusive).
    void clear(int first, int last);
    // Channels first..last run; a finished test elsewhere is no longer offered for saving.
    void runStarted(int first, int last);
    // One more second of the run: every channel still in the run and not yet judged has taken
    // n samples.
    void sampleTaken(int n);
    // Channel k's test was judged: its curve ends with what it measured.
    void judged(int k, const StoredTest& measured);
    // The run is over: a judged channel is finished, the others were interrupted.
    void runEnded();
    void stored(int k);
    void recalled(int k, const QString& testNumber);
    // A test judged before the program last went, put back into channel k from the recovery
    // journal: finished and not stored, as the run left it.
    void recovered(int k, const StoredTest& measured);
    // What the upload did with the plant piece of a stored test.
    void pieceOffered(int k, const RunPiece& piece, PieceState state);

    // Channels of first..last holding a finished test that nothing has stored.
    QList<int> unsaved(int first = 0, int last = ChannelCount - 1) const;
    QList<int> inState(TestState state) const;
    // Stored tests whose plant piece is neither in the plant nor in the queue.
    QList<int> unsentPieces() const;

    static QString name(TestState state);

private:
    void set(int k, const TestRecord& test);

    PerChannel<TestRecord> m_channels{};
    Observer m_observer;
};

} // namespace q7rk
