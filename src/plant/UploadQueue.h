#pragma once

#include "plant/PlantData.h"
#include "plant/PlantStatus.h"

#include <vector>

namespace q7rk {

struct QueuedUpload {
    qint64 id = 0; // order of arrival
    PieceUpload piece;
    QString reason; // why it could not be sent
};

// Uploads that the plant database could not take, kept in a local SQLite file (beside the
// result files) until a retry sends them. One entry per serial and curve number: a newer
// upload of the same piece replaces the waiting one.
class UploadQueue {
public:
    static constexpr const char* FileName = "plant-queue.db";

    explicit UploadQueue(QString path);

    const QString& path() const { return m_path; }

    PlantStatus add(const PieceUpload& piece, const QString& reason) const;
    // 0 when the file does not exist yet.
    PlantReply<int> count() const;
    // Oldest first.
    PlantReply<std::vector<QueuedUpload>> entries() const;
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
