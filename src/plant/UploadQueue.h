#pragma once

#include "plant/PlantData.h"
#include "plant/PlantStatus.h"

#include <QDateTime>
#include <optional>
#include <vector>

namespace q7rk {

struct QueuedUpload {
    qint64 id = 0; // order of arrival
    PieceUpload piece;
    QString reason;    // why it could not be sent, the last time it was tried
    QDateTime queued;  // when it came into the queue (invalid for entries of older files)
    QDateTime tried;   // the last attempt
    bool held = false; // refused for good the last time: only the operator sends it again
};

struct QueueCounts {
    int total = 0;
    int held = 0;
};

// Uploads that the plant database could not take, kept in a local SQLite file (beside the
// result files) until a retry sends them. One entry per serial and curve number: a newer
// upload of the same piece replaces the waiting one (and is no longer held). An entry the
// server refused for a reason that a retry cannot mend is held: automatic retries pass it by
// until the operator sends it again.
class UploadQueue {
public:
    static constexpr const char* FileName = "plant-queue.db";

    explicit UploadQueue(QString path);

    const QString& path() const { return m_path; }

    PlantStatus add(const PieceUpload& piece, const QString& reason) const;
    // 0 when the file does not exist yet.
    PlantReply<int> count() const;
    PlantReply<QueueCounts> counts() const;
    // Oldest first.
    PlantReply<std::vector<QueuedUpload>> entries() const;
    // The entry as it stands now; nullopt once it has gone.
    PlantReply<std::optional<QueuedUpload>> entry(qint64 id) const;
    // A failed attempt: its reason and time, and whether the entry is now held.
    PlantStatus noteFailure(qint64 id, const QString& reason, bool held) const;
    // Whether an upload of the piece waits.
    PlantReply<bool> holds(const QString& serial, int curveNumber) const;
    PlantStatus remove(qint64 id) const;
    // Drops a waiting upload of the piece (after the piece itself was sent).
    PlantStatus removePiece(const QString& serial, int curveNumber) const;

private:
    PlantStatus failure() const;

    QString m_path;
};

} // namespace q7rk
