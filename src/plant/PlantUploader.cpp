#include "PlantUploader.h"

#include "plant/PlantInput.h"
#include "plant/PlantLog.h"
#include "plant/PlantTexts.h"

#include <QLockFile>
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
    const auto added = m_queue.add(p, OutboxState::Unasked);
    if (!added.ok()) return {added.status, std::nullopt};
    return send(added.value);
}

UploadOutcome PlantUploader::send(qint64 id) const {
    const std::lock_guard sending(*m_sendLock);
    // Another program on this folder sending at the same moment is waited for as long as
    // one piece of its may take.
    QLockFile others(m_queue.sendLockPath());
    others.setStaleLockTime(0); // stale only when its process is gone
    const PlantWaits& waits = m_pieces.source().waits();
    if (!others.tryLock(std::max(1, waits.loginSeconds + waits.statementSeconds) * 2000)) {
        const PlantStatus busy =
            PlantStatus::failure(PlantFault::ServerAway, plantTexts::otherSender());
        if (!m_queue.setState(id, OutboxState::Waiting, busy.message).ok()) return {busy, {}};
        return {busy, OutboxState::Waiting};
    }
    const auto current = m_queue.entry(id);
    if (!current.ok()) return {current.status, {}};
    if (!current.value) // sent or removed by another program meanwhile
        return {PlantStatus::failure(PlantFault::LocalStore, plantTexts::entryGone()), {}, true};
    const QueuedUpload& entry = *current.value;
    const auto newer = m_queue.superseded(entry);
    if (!newer.ok()) return {newer.status, {}};
    if (entry.state == OutboxState::Superseded || newer.value) {
        const PlantStatus old =
            PlantStatus::failure(PlantFault::BadInput, plantTexts::supersededPiece());
        m_queue.setState(id, OutboxState::Superseded, old.message);
        return {old, OutboxState::Superseded};
    }
    const PlantStatus sent = sendPiece(entry.piece);
    const auto piece = [&] {
        return QStringLiteral("piece %1 curve %2 (outbox entry %3)")
            .arg(entry.piece.serial)
            .arg(entry.piece.curveNumber)
            .arg(id);
    };
    if (sent.ok()) {
        qCInfo(plantLog).noquote() << piece() << "stored in the plant database";
        // A mark that cannot be written leaves the entry to be sent again: the same values
        // replace themselves in the plant.
        m_queue.markSent(id);
        return {sent, {}};
    }
    const OutboxState state = refusedForGood(sent.fault) ? OutboxState::Held : OutboxState::Waiting;
    // Held waits for someone to act; waiting goes with the next retry on its own.
    if (state == OutboxState::Held)
        qCWarning(plantLog).noquote()
            << piece() << "held for the operator:" << faultName(sent.fault) << "-"
            << sent.message.simplified();
    else
        qCInfo(plantLog).noquote() << piece() << "waits for a retry:" << faultName(sent.fault)
                                   << "-" << sent.message.simplified();
    if (const PlantStatus noted = m_queue.setState(id, state, sent.message); !noted.ok())
        return {PlantStatus::failure(sent.fault, sent.message + '\n' + noted.message), {}};
    return {sent, state};
}

PlantStatus PlantUploader::sendPiece(const PieceUpload& piece) const {
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
    return sendPiece(piece);
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
        const bool goes = choice.held ? entry.state != OutboxState::Superseded
                                      : entry.state == OutboxState::Waiting;
        if (chosen && goes) ids.push_back(entry.id);
    }
    qCInfo(plantLog).noquote() << QStringLiteral("queue pass: %1 of %2 entries go%3")
                                      .arg(ids.size())
                                      .arg(listed.value.size())
                                      .arg(choice.held ? QStringLiteral(" (held ones too)")
                                                       : QString());
    for (std::size_t done = 0; done < ids.size(); ++done) {
        if (progress && !progress(int(done), int(ids.size()))) break;
        const auto before = m_queue.entry(ids[done]);
        if (!before.ok()) {
            report.status = before.status;
            break;
        }
        if (!before.value) continue; // sent, removed or replaced since the pass began
        const UploadOutcome out = send(ids[done]);
        if (out.status.ok()) {
            report.uploaded.emplace_back(before.value->piece.serial,
                                         before.value->piece.curveNumber);
            continue;
        }
        if (out.gone || out.left == OutboxState::Superseded) continue;
        report.status = out.status;
        // A file that cannot be read or noted ends the pass, as does a server that is away.
        if (!out.left || serverUnusable(out.status.fault)) break;
    }
    if (const auto left = m_queue.counts(); left.ok()) {
        report.left = left.value.total;
        report.held = left.value.held;
    } else {
        report.left = int(listed.value.size() - report.uploaded.size());
    }
    qCInfo(plantLog).noquote() << QStringLiteral("queue pass over: %1 sent, %2 left (%3 held)%4")
                                      .arg(report.uploaded.size())
                                      .arg(report.left)
                                      .arg(report.held)
                                      .arg(report.status.ok()
                                               ? QString()
                                               : " - " + report.status.message.simplified());
    return report;
}

} // namespace q7rk
