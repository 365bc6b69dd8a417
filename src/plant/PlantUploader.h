#pragma once

#include "plant/PieceRecords.h"
#include "plant/PlantConnection.h"
#include "plant/UploadQueue.h"

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace q7rk {

struct UploadOutcome {
    PlantStatus status;  // ok: the piece is in the plant database; else why it is not
    bool queued = false; // not sent, but kept for a retry
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

// Store-and-forward in front of the piece upload: what the plant database cannot take now
// waits in the local queue and goes out with a later retry. A piece sent again replaces
// its rows, so a retry after a half-finished attempt stores every piece once.
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

    // Input the operator must correct (BadInput) and a curve longer than the plant's Curve
    // table are refused and not kept: a retry could not send them either. When the kept
    // connection fails otherwise (the server restarted since), the piece is sent once more
    // on a new one before it is queued.
    UploadOutcome upload(const PieceUpload& piece) const;

    PlantReply<int> pendingCount() const { return m_queue.count(); }

    // One pass over the queue, oldest first; stops early when the server cannot be reached.
    // An entry the server refuses for good (a rejected statement, a value, a curve longer
    // than the table) is held with its reason; entries already held go only when the choice
    // says so. Each entry is read again just before it goes: one that a newer upload has
    // replaced or sent meanwhile is not sent stale.
    RetryReport retry(const RetryChoice& choice = {}, const RetryProgress& progress = {}) const;

    const UploadQueue& queue() const { return m_queue; }
    const std::shared_ptr<std::mutex>& sendLock() const { return m_sendLock; }

private:
    PlantStatus send(const PieceUpload& piece) const;

    PieceRecords m_pieces;
    UploadQueue m_queue;
    std::shared_ptr<std::mutex> m_sendLock;
    mutable std::unique_ptr<PlantConnection> m_connection; // kept between uploads
};

} // namespace q7rk
