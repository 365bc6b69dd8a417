#pragma once

#include "plant/PieceRecords.h"
#include "plant/PlantConnection.h"
#include "plant/UploadQueue.h"

#include <memory>
#include <utility>
#include <vector>

namespace q7rk {

struct UploadOutcome {
    PlantStatus status;  // ok: the piece is in the plant database; else why it is not
    bool queued = false; // not sent, but kept for a retry
};

struct RetryReport {
    std::vector<std::pair<QString, int>> uploaded; // serial and curve number, in order
    int left = 0;                                  // uploads still waiting
    PlantStatus status;                            // why the last one failed, if one did
};

// Store-and-forward in front of the piece upload: what the plant database cannot take now
// waits in the local queue and goes out with a later retry. A piece sent again replaces
// its rows, so a retry after a half-finished attempt stores every piece once.
//
// Uploads share one connection, opened by the first and kept while they succeed: opening
// one costs more than writing a piece. Like every Qt connection it belongs to the thread
// that opened it, so an uploader is used on one thread only.
class PlantUploader {
public:
    explicit PlantUploader(PlantSource source = PlantSource(),
                           QString queuePath = QString::fromLatin1(UploadQueue::FileName));

    // Input the operator must correct (BadInput) and a curve longer than the plant's Curve
    // table are refused and not kept: a retry could not send them either. When the kept
    // connection fails otherwise (the server restarted since), the piece is sent once more
    // on a new one before it is queued.
    UploadOutcome upload(const PieceUpload& piece) const;

    PlantReply<int> pendingCount() const { return m_queue.count(); }

    // One pass over the queue, oldest first; stops early when the server cannot be reached.
    RetryReport retry() const;

    const UploadQueue& queue() const { return m_queue; }

private:
    PlantStatus send(const PieceUpload& piece) const;

    PieceRecords m_pieces;
    UploadQueue m_queue;
    mutable std::unique_ptr<PlantConnection> m_connection; // kept between uploads
};

} // namespace q7rk
