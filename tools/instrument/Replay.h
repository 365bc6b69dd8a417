#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <deque>
#include <map>
#include <optional>

namespace q7rk::instrument {

// Bytes the recorded instrument sent after one frame of the program, and when.
struct ReplyPiece {
    double delayMs = 0; // after the frame arrived
    QByteArray bytes;
};

// One frame the program sent and what came back before its next one.
struct Exchange {
    QList<ReplyPiece> pieces;
    // Exactly one whole poll reply came back: the rest (nothing, a broken or short reply,
    // stray bytes) is a fault to play again as it was.
    bool answered() const;
};

// One run of a recorded link: its polls by the sample index they carried, in order, and the
// reply each sample was taken from.
struct RecordedRun {
    std::map<int, std::deque<Exchange>> polls;
    std::map<int, QByteArray> sampled;
};

// A link trace as the program writes it (--trace), read back: the handshakes, the runs and
// their polls. The program's own code is not used; the format is read from its description.
struct LinkRecording {
    std::deque<Exchange> handshakes;
    std::deque<RecordedRun> runs;
    int polls = 0;
    int lines = 0;

    // Nothing and the reason (file, line) when the file cannot be read as a trace.
    static std::optional<LinkRecording> read(const QString& path, QString* error);
};

// Answers a program from a recording: a handshake with the recorded answer, a poll with what
// the recorded polls of the same sample index got, in order, except that a sample's first poll
// gets an answer first. Every answer of a sample is the reply the recorded sample was taken
// from, so the replayed sample is the same whichever poll it is taken from; a sample that
// takes more polls than recorded gets it again. Faults of samples the program passed by are
// played on its next polls, so a replay loses as many replies as the run did.
// A sample index that goes back starts the next recorded run.
class ReplayResponder {
public:
    explicit ReplayResponder(LinkRecording recording) : recording_(std::move(recording)) {}

    QList<ReplyPiece> answer(const QByteArray& frame);

private:
    QList<ReplyPiece> answerPoll(int sampleIndex);
    void passSamplesBefore(int sampleIndex);

    LinkRecording recording_;
    int handshakes_ = 0;
    int run_ = -1;
    int lastSample_ = -1;
    RecordedRun left_; // the current run's polls not played yet
    std::deque<Exchange> owed_;
};

} // namespace q7rk::instrument
