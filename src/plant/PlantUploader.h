#pragma once

#include "plant/PieceRecords.h"
#include "plant/PlantConnection.h"
#include "plant/UploadQueue.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace q7rk {

struct UploadOutcome {
    PlantStatus status; // ok: the piece is in the plant database; else why it is not
    // Where the entry stands when it was not sent: Waiting goes with the next retry, Held
    // waits for the operator, Superseded is never sent. None: the outbox could not note the
    // attempt (the entry stays as it was, listed still).
    std::optional<OutboxState> left;
    bool gone = false; // sent or removed by another program before this send could
    bool queued() const { return left == OutboxState::Waiting; }
};

struct RetryReport {
    std::vector<std::pair<QString, int>> uploaded; // serial and curve number, in order
    int left = 0;                                  // uploads still in the queue, held ones too
    int held = 0;                                  // of those, the ones only the operator sends
    PlantStatus status;                            // why the last one failed, if one did
};

// Which entries a retry pass sends.
struct RetryChoice {
    bool held = false;        // the operator's pass: held entries go too
    std::vector<qint64> only; // these entries alone; empty: every one
};

// Called before each piece with the pieces done and the pieces in the pass; false stops the
// pass there.
using RetryProgress = std::function<bool(int done, int total)>;

// Sends the entries of the plant outbox: what the plant database cannot take now waits there
// and goes out with a later retry. A piece sent again replaces its rows, so a retry after a
// half-finished attempt (a kill while a send was in flight) stores every piece once. An
// entry is read again just before it goes, under a lock that the programs on the folder
// share: one that was sent, removed or superseded by a newer test meanwhile is not sent.
//
// Uploads share one connection, opened by the first and kept while they succeed: opening
// one costs more than writing a piece. Like every Qt connection it belongs to the thread
// that opened it, so an uploader is used on one thread only.
class PlantUploader {
public:
    // Uploaders that share `sendLock` (one on the window's thread, one on a retry thread)
    // never send pieces at the same moment, so a retry cannot overtake a newer upload of the
    // piece it is about to send.
    explicit PlantUploader(PlantSource source = PlantSource(),
                           QString queuePath = QString::fromLatin1(UploadQueue::FileName),
                           std::shared_ptr<std::mutex> sendLock = nullptr);

    // The outbox entry `id` to the plant database now. When the kept connection fails
    // otherwise (the server restarted since), the piece is sent once more on a new one.
    UploadOutcome send(qint64 id) const;
    // A piece that no stored test carries: into the outbox, then sent.
    UploadOutcome upload(const PieceUpload& piece) const;

    PlantReply<int> pendingCount() const { return m_queue.count(); }

    // One pass over the outbox, oldest first; stops early when the server cannot be reached.
    // The automatic pass sends the Waiting entries, the operator's every entry but the
    // superseded ones. An entry the server refuses for good (a rejected statement, a value,
    // a curve longer than the table) is held with its reason.
    RetryReport retry(const RetryChoice& choice = {}, const RetryProgress& progress = {}) const;

    const UploadQueue& queue() const { return m_queue; }
    const std::shared_ptr<std::mutex>& sendLock() const { return m_sendLock; }

private:
    PlantStatus sendPiece(const PieceUpload& piece) const;

    PieceRecords m_pieces;
    UploadQueue m_queue;
    std::shared_ptr<std::mutex> m_sendLock;
    mutable std::unique_ptr<PlantConnection> m_connection; // kept between uploads
};

} // namespace q7rk
