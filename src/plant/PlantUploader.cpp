#include "PlantUploader.h"

#include "plant/PlantInput.h"

namespace q7rk {

namespace {
// Faults after which the next upload would fail the same way.
bool serverUnusable(PlantFault f) {
    return f == PlantFault::NoDriver || f == PlantFault::NoDataSource ||
           f == PlantFault::LoginRefused || f == PlantFault::ServerAway;
}
} // namespace

PlantUploader::PlantUploader(PlantSource source, QString queuePath)
    : m_pieces(std::move(source)), m_queue(std::move(queuePath)) {}

UploadOutcome PlantUploader::upload(const PieceUpload& piece) const {
    PieceUpload p = piece;
    p.serial = trimBlanks(p.serial);
    if (!p.date.isValid()) p.date = QDate::currentDate();
    const PlantStatus sent = m_pieces.upload(p);
    if (sent.ok()) {
        // A waiting older copy would overwrite this one at the next retry. The piece is
        // stored either way, so a queue file that cannot be changed does not undo that.
        m_queue.removePiece(p.serial, p.curveNumber);
        return {sent, false};
    }
    // A later retry would be refused the same way: the operator must correct the value, or
    // the plant's Curve table must first be widened.
    if (sent.fault == PlantFault::BadInput || sent.fault == PlantFault::CurveTooLong)
        return {sent, false};
    const PlantStatus kept = m_queue.add(p, sent.message);
    if (!kept.ok())
        return {PlantStatus::failure(sent.fault, sent.message + '\n' + kept.message), false};
    return {sent, true};
}

RetryReport PlantUploader::retry() const {
    RetryReport report;
    const auto waiting = m_queue.entries();
    if (!waiting.ok()) {
        report.status = waiting.status;
        return report;
    }
    for (const QueuedUpload& entry : waiting.value) {
        const PlantStatus sent = m_pieces.upload(entry.piece);
        if (sent.ok()) {
            if (PlantStatus s = m_queue.remove(entry.id); !s.ok()) {
                report.status = s;
                break;
            }
            report.uploaded.emplace_back(entry.piece.serial, entry.piece.curveNumber);
            continue;
        }
        report.status = sent;
        if (serverUnusable(sent.fault)) break;
    }
    const auto left = m_queue.count();
    report.left = left.ok() ? left.value : int(waiting.value.size() - report.uploaded.size());
    return report;
}

} // namespace q7rk
