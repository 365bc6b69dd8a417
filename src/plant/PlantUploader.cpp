#include "PlantUploader.h"

#include "plant/PlantInput.h"

#include <algorithm>

namespace q7rk {

namespace {
// Faults after which the next upload would fail the same way.
bool serverUnusable(PlantFault f) {
    return f == PlantFault::NoDriver || f == PlantFault::NoDataSource ||
           f == PlantFault::LoginRefused || f == PlantFault::ServerAway;
}

// Faults that the same upload meets again however often it is tried, until someone changes
// the piece or the plant database.
bool refusedForGood(PlantFault f) {
    return f == PlantFault::Rejected || f == PlantFault::BadInput || f == PlantFault::CurveTooLong;
}
} // namespace

PlantUploader::PlantUploader(PlantSource source, QString queuePath,
                             std::shared_ptr<std::mutex> sendLock)
    : m_pieces(std::move(source)), m_queue(std::move(queuePath)),
      m_sendLock(sendLock ? std::move(sendLock) : std::make_shared<std::mutex>()) {}

UploadOutcome PlantUploader::upload(const PieceUpload& piece) const {
    PieceUpload p = piece;
    p.serial = trimBlanks(p.serial);
    if (!p.date.isValid()) p.date = QDate::currentDate();
    const std::lock_guard sending(*m_sendLock);
    const PlantStatus sent = send(p);
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

PlantStatus PlantUploader::send(const PieceUpload& piece) const {
    const bool kept = m_connection != nullptr;
    if (!kept) m_connection = std::make_unique<PlantConnection>(m_pieces.source(), PlantLogin::Own);
    PlantStatus sent = m_pieces.upload(piece, *m_connection);
    // Refused input, and a conflict the upload itself already retried, leave the
    // connection as good as it was.
    if (sent.ok() || sent.fault == PlantFault::BadInput || sent.fault == PlantFault::CurveTooLong ||
        sent.fault == PlantFault::Conflict)
        return sent;
    // Otherwise the next upload starts on a new connection. One that was kept may have
    // died since its last use, and drivers word that differently (a SQLite file moved
    // away reads as a refused write): one more try on a new one tells. The piece is one
    // transaction: the first attempt left nothing of it, or all, which the second replaces.
    m_connection.reset();
    if (!kept) return sent;
    return send(piece);
}

RetryReport PlantUploader::retry(const RetryChoice& choice, const RetryProgress& progress) const {
    RetryReport report;
    const auto listed = m_queue.entries();
    if (!listed.ok()) {
        report.status = listed.status;
        return report;
    }
    std::vector<qint64> ids;
    for (const QueuedUpload& entry : listed.value) {
        const bool chosen =
            choice.only.empty() || std::ranges::find(choice.only, entry.id) != choice.only.end();
        if (chosen && (choice.held || !entry.held)) ids.push_back(entry.id);
    }
    for (std::size_t done = 0; done < ids.size(); ++done) {
        if (progress && !progress(int(done), int(ids.size()))) break;
        const std::lock_guard sending(*m_sendLock);
        const auto current = m_queue.entry(ids[done]);
        if (!current.ok()) {
            report.status = current.status;
            break;
        }
        if (!current.value) continue; // sent, replaced or removed since the pass began
        const QueuedUpload& entry = *current.value;
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
        // A queue file that cannot be written still holds the entry as it was.
        m_queue.noteFailure(entry.id, sent.message, refusedForGood(sent.fault));
        if (serverUnusable(sent.fault)) break;
    }
    if (const auto left = m_queue.counts(); left.ok()) {
        report.left = left.value.total;
        report.held = left.value.held;
    } else {
        report.left = int(listed.value.size() - report.uploaded.size());
    }
    return report;
}

} // namespace q7rk
