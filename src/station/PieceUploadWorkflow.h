#pragma once

#include "plant/PlantData.h"
#include "plant/UploadQueue.h"
#include "results/StoredTest.h"

#include <QList>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace q7rk {

class PlantPage;
class PlantQueuePresenter;
class Prompter;

// What became of one piece of an uploaded group.
enum class PieceFate {
    Stored,   // in the plant database now
    Queued,   // not sent; the local queue holds it for a retry
    Refused,  // cannot go as it is (a value to correct, a curve longer than the table, a newer
              // test of the piece): held in the outbox for the operator
    NotKept,  // not sent, and the outbox could not note it (the entry stays as it was)
    Declined, // the operator answered No: the outbox keeps it as not sent
};

struct PieceOutcome {
    int curveNumber = 0; // 1..6
    int channel = -1;    // the channel the piece came from
    PieceFate fate = PieceFate::Stored;
    QString reason; // why it is not in the plant database; empty for Stored and Declined
};

// What the upload of a group did.
struct PlantUploadResult {
    QList<PieceOutcome> pieces; // ascending curve number
    // The same by outcome, ascending.
    QList<int> uploaded; // Stored
    QList<int> queued;   // Queued
    QList<int> declined; // Declined
    QList<int> failed;   // Refused or NotKept: not in the plant database and not waiting
    // Pieces 1 and 1' that went (or wait) without whole-roll data: the page held none for
    // their serial.
    QList<int> withoutFoil;
    // What the operator was told about the pieces that are not in the plant database: a
    // first line naming them, then one line per outcome and cause. Empty when every piece
    // the operator wanted went.
    QString message;
};

// Finished TV channel k as a piece: `serial` (channel 1's test number now), piece k + 1
// (k + 4 after boiling), the values of what its run measured and the samples its curve is
// cut from.
RunPiece takeRunPiece(const StoredTest& measured, int k, const QString& serial,
                      bool afterBoiling);

// The upload of finished TV pieces (Savecanshu1), after their local store: the operator is
// asked "第n片数据是否保存?（卷号 S）" for each piece (or, set to ask once on the plant page, once
// for the pieces of each foil), the first question saying what becomes of S's whole-roll
// record; each piece is sent, or kept in the outbox when the plant database cannot take it
// now. Pieces 1 and 1' merge into S's whole-roll row what the page holds for S, and nothing
// when it holds nothing for S. The pieces come as values: the lab cells and the whole-roll
// values are the page's of the moment they go.
class PieceUploadWorkflow : public QObject {
    Q_OBJECT
public:
    PieceUploadWorkflow(const PlantPage& page, PlantQueuePresenter& queue, Prompter& prompter,
                        QObject* parent = nullptr);

    // The pieces in the order given. A piece with an outbox entry goes as that entry, with
    // the page's values of now.
    PlantUploadResult upload(const QList<RunPiece>& pieces);
    const PlantUploadResult& lastUpload() const { return m_lastUpload; }
    // The write that puts `piece` into the outbox with its test's save (its entry's id lands
    // in `id`); nothing to write when the piece cannot be built.
    UploadQueue::WithSave outboxWrite(const RunPiece& piece, std::shared_ptr<qint64> id) const;

signals:
    // The operator said Yes to piece `curveNumber`, whose curve has `columns` columns; it is
    // sent next.
    void sending(int curveNumber, int columns);

private:
    std::optional<PieceUpload> pieceUpload(const RunPiece& piece,
                                           const std::optional<FoilRecord>& foil) const;
    PlantReply<qint64> outboxEntry(const RunPiece& piece, const std::optional<FoilRecord>& foil);
    QString firstQuestionNote(const QList<RunPiece>& pieces, PlantStatus& unreachable);
    bool askOnce(const QList<RunPiece>& pieces, const QString& serial, const QString& note);
    void tell(const QString& text);

    const PlantPage& m_page;
    PlantQueuePresenter& m_queue;
    Prompter& m_prompter;
    PlantUploadResult m_lastUpload;
};

} // namespace q7rk
