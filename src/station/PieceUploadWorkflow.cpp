#include "PieceUploadWorkflow.h"

#include "plant/PlantConnection.h"
#include "plant/PlantInput.h"
#include "plant/PlantLog.h"
#include "plant/PlantPage.h"
#include "plant/PlantQueuePresenter.h"
#include "plant/PlantTexts.h"
#include "settings/ProgramTitle.h"
#include "shell/Prompter.h"
#include "station/StoredPieceUpload.h"

#include <QDate>
#include <QHash>
#include <algorithm>

namespace q7rk {

namespace {

const char* fateName(PieceFate fate) {
    switch (fate) {
    case PieceFate::Stored:
        return "stored in the plant database";
    case PieceFate::Queued:
        return "queued for a retry";
    case PieceFate::Refused:
        return "held for the operator";
    case PieceFate::NotKept:
        return "not sent, not queued";
    case PieceFate::Declined:
        return "declined";
    }
    return "";
}

// After these the next piece would wait for the same refusal or time-out.
bool serverUnusable(PlantFault f) {
    return f == PlantFault::NoDriver || f == PlantFault::NoDataSource ||
           f == PlantFault::LoginRefused || f == PlantFault::ServerAway;
}

QString clause(PieceFate fate, const QString& numbers, const QString& reason) {
    switch (fate) {
    case PieceFate::Stored:
        return plantTexts::storedInPlant(numbers);
    case PieceFate::Queued:
        return plantTexts::waitsInQueue(numbers, reason);
    case PieceFate::NotKept:
        return plantTexts::notKept(numbers, reason);
    case PieceFate::Refused:
        return plantTexts::refused(numbers, reason);
    case PieceFate::Declined:
        break;
    }
    return {};
}

// Orders the pieces, fills the lists by outcome and writes the message: the pieces not in
// the plant database, then one line per outcome and cause, each naming its pieces in order.
void summarise(PlantUploadResult& r, const QString& serial) {
    using plantTexts::pieceLabels;
    std::stable_sort(
        r.pieces.begin(), r.pieces.end(),
        [](const PieceOutcome& a, const PieceOutcome& b) { return a.curveNumber < b.curveNumber; });
    QList<int> missing;
    for (const PieceOutcome& p : std::as_const(r.pieces)) {
        switch (p.fate) {
        case PieceFate::Stored:
            r.uploaded << p.curveNumber;
            break;
        case PieceFate::Queued:
            r.queued << p.curveNumber;
            missing << p.curveNumber;
            break;
        case PieceFate::Declined:
            r.declined << p.curveNumber;
            break;
        case PieceFate::Refused:
        case PieceFate::NotKept:
            r.failed << p.curveNumber;
            missing << p.curveNumber;
            break;
        }
    }
    QStringList lines;
    if (!missing.isEmpty()) lines << plantTexts::notInPlant(pieceLabels(missing));
    // What went first, then what waits, then what the operator must see to.
    for (PieceFate fate :
         {PieceFate::Stored, PieceFate::Queued, PieceFate::NotKept, PieceFate::Refused}) {
        if (missing.isEmpty()) break;
        QList<bool> told(r.pieces.size(), false);
        for (qsizetype i = 0; i < r.pieces.size(); ++i) {
            const PieceOutcome& first = r.pieces[i];
            if (told[i] || first.fate != fate) continue;
            QList<int> group;
            for (qsizetype j = i; j < r.pieces.size(); ++j)
                if (r.pieces[j].fate == fate && r.pieces[j].reason == first.reason) {
                    group << r.pieces[j].curveNumber;
                    told[j] = true;
                }
            lines << clause(fate, pieceLabels(group), first.reason);
        }
    }
    r.withoutFoil.removeIf([&](int n) { return r.failed.contains(n); });
    if (!r.withoutFoil.isEmpty())
        lines << plantTexts::foilNotWritten(pieceLabels(r.withoutFoil), serial);
    r.message = lines.join(QLatin1Char('\n'));
}

} // namespace

RunPiece takeRunPiece(const StoredTest& measured, int k, const QString& serial, bool afterBoiling) {
    RunPiece piece{k, k + (afterBoiling ? 3 : 0) + 1, serial, runValuesOf(measured)};
    // As far as the run's values make the piece's curve long: the samples stay the test's
    // when the channel shows something else later.
    if (const auto length = curveLength(piece.curveNumber, piece.run); length.ok())
        for (std::size_t n = 0; n < std::size_t(length.value) && n < measured.curve.size(); ++n)
            piece.volts.push_back(float(measured.curve[n].volts));
    return piece;
}

PieceUploadWorkflow::PieceUploadWorkflow(const PlantPage& page, PlantQueuePresenter& queue,
                                         Prompter& prompter, QObject* parent)
    : QObject(parent), m_page(page), m_queue(queue), m_prompter(prompter) {}

void PieceUploadWorkflow::tell(const QString& text) {
    m_prompter.inform(programTitle::full(), text);
}

// What pieces 1 and 1' do to the foil's whole-roll record, read from the plant now; or that
// neither the page nor the plant knows the foil. A plant that cannot be reached now says
// nothing here, and the pieces go straight to the queue instead of waiting for the same
// time-out again.
QString PieceUploadWorkflow::firstQuestionNote(const QList<RunPiece>& pieces,
                                               PlantStatus& unreachable) {
    const QString serial = pieces.first().serial;
    const std::optional<FoilRecord> held = m_page.heldFoil(serial);
    const bool writesFoil = std::any_of(pieces.begin(), pieces.end(), [&](const RunPiece& rp) {
        return rp.serial == serial && (rp.curveNumber == 1 || rp.curveNumber == 4);
    });
    if (held && !writesFoil) return {};
    PlantConnection c(m_page.source(), PlantLogin::Shared);
    const auto row = readWholeRoll(c, serial);
    if (!row.ok()) {
        if (serverUnusable(row.status.fault)) unreachable = row.status;
        return {};
    }
    QString note;
    if (!held) {
        if (!row.value)
            note = plantTexts::noFoilAnywhere(serial);
        else if (writesFoil)
            note = plantTexts::wholeRollUnchanged(serial);
    } else if (const auto values = heldWholeRoll(*held); values.ok()) {
        // A value that is not valid is told with the piece it refuses.
        const QString changes =
            wholeRollChanges(values.value, row.value).join(QStringLiteral("，"));
        note = changes.isEmpty() ? plantTexts::wholeRollUnchanged(serial)
               : row.value       ? plantTexts::wholeRollWritten(serial, changes)
                                 : plantTexts::wholeRollCreated(serial, changes);
    }
    return note.isEmpty() ? note : QLatin1Char('\n') + note;
}

// The one question for the pieces of a foil: declining it declines each of them.
bool PieceUploadWorkflow::askOnce(const QList<RunPiece>& pieces, const QString& serial,
                                  const QString& note) {
    QList<int> numbers;
    int bits = 0;
    for (const RunPiece& rp : pieces)
        if (rp.serial == serial) {
            numbers << rp.curveNumber;
            bits |= pieceBit(rp.curveNumber);
        }
    return m_prompter.ask(
        {Question::UploadPieces, bits}, plantTexts::questionTitle(),
        plantTexts::uploadPiecesQuestion(plantTexts::pieceLabels(numbers), serial) + note);
}

std::optional<PieceUpload>
PieceUploadWorkflow::pieceUpload(const RunPiece& rp, const std::optional<FoilRecord>& foil) const {
    auto built =
        makePieceUpload(rp, foil, m_page.grid().cells(rp.curveNumber), QDate::currentDate());
    if (!built.ok()) return std::nullopt;
    return std::move(built.value);
}

UploadQueue::WithSave PieceUploadWorkflow::outboxWrite(const RunPiece& rp,
                                                       std::shared_ptr<qint64> id) const {
    const auto piece = pieceUpload(rp, m_page.heldFoil(rp.serial));
    if (!piece) return {};
    return m_queue.outbox().withSave(*piece, std::move(id));
}

// The piece's entry in the outbox, holding what the page says of it now (a box corrected
// since the save goes with it); a piece that no save put there gets an entry of its own.
PlantReply<qint64> PieceUploadWorkflow::outboxEntry(const RunPiece& rp,
                                                    const std::optional<FoilRecord>& foil) {
    const UploadQueue& outbox = m_queue.outbox();
    const auto piece = pieceUpload(rp, foil);
    if (!piece)
        return PlantReply<qint64>::failed(PlantStatus::failure(
            PlantFault::BadInput, curveLength(rp.curveNumber, rp.run).status.message));
    // Not replaced for a file that cannot be written, the entry still holds the piece as it
    // was saved. One sent or removed from the queue window since is offered as a new entry.
    if (rp.outboxId != 0)
        if (const auto replaced = outbox.replacePiece(rp.outboxId, *piece);
            !replaced.ok() || replaced.value)
            return {rp.outboxId, {}};
    return outbox.add(*piece, OutboxState::Unasked);
}

PlantUploadResult PieceUploadWorkflow::upload(const QList<RunPiece>& pieces) {
    PlantUploadResult result;
    // Once the server cannot be reached, the rest of the group waits in the outbox without
    // waiting for the same time-out again.
    PlantStatus unreachable;
    QString note = pieces.isEmpty() ? QString() : firstQuestionNote(pieces, unreachable);
    const bool once = m_page.uploadConfirm() == UploadConfirm::Once;
    // Asked once: one answer per foil, normally the only one of the group.
    QHash<QString, bool> answers;
    const UploadQueue& outbox = m_queue.outbox();
    for (const RunPiece& rp : pieces) {
        const int n = rp.curveNumber, k = rp.channel;
        // What became of the piece goes into the log too, with its cause.
        const auto settle = [&](PieceFate fate, const QString& cause) {
            result.pieces << PieceOutcome{n, k, fate, cause};
            qCInfo(plantLog).noquote()
                << QStringLiteral("piece %1 curve %2 (channel %3): %4%5")
                       .arg(rp.serial)
                       .arg(n)
                       .arg(k + 1)
                       .arg(fateName(fate))
                       .arg(cause.isEmpty() ? QString() : " - " + cause.simplified());
        };
        bool yes = false;
        if (!once)
            yes = m_prompter.ask({Question::UploadPiece, n}, plantTexts::questionTitle(),
                                 plantTexts::uploadQuestion(n, rp.serial) + note);
        else if (const auto asked = answers.constFind(rp.serial); asked != answers.cend())
            yes = *asked;
        else
            yes = answers[rp.serial] = askOnce(pieces, rp.serial, note);
        note.clear();
        // Only what the page holds for this piece's own serial.
        const std::optional<FoilRecord> foil = m_page.heldFoil(rp.serial);
        const auto entry = outboxEntry(rp, foil);
        if (!entry.ok()) {
            settle(PieceFate::NotKept, entry.status.message);
            continue;
        }
        if (!yes) {
            outbox.setState(entry.value, OutboxState::Declined, {});
            settle(PieceFate::Declined, {});
            continue;
        }
        if (const auto length = curveLength(n, rp.run); length.ok()) emit sending(n, length.value);

        UploadOutcome out{unreachable, OutboxState::Waiting};
        if (unreachable.ok())
            out = m_queue.uploader().send(entry.value);
        else if (const PlantStatus noted =
                     outbox.setState(entry.value, OutboxState::Waiting, unreachable.message);
                 !noted.ok())
            out = {
                PlantStatus::failure(unreachable.fault, unreachable.message + '\n' + noted.message),
                std::nullopt};
        if ((n == 1 || n == 4) && !foil && (out.status.ok() || out.queued()))
            result.withoutFoil << n;
        if (out.status.ok()) {
            settle(PieceFate::Stored, {});
            if (!once) tell(plantTexts::curveSaved(n, rp.serial));
            continue;
        }
        const PieceFate fate = out.queued() ? PieceFate::Queued
                               : out.left   ? PieceFate::Refused
                                            : PieceFate::NotKept;
        settle(fate, out.status.message);
        if (out.queued() && serverUnusable(out.status.fault)) unreachable = out.status;
    }
    m_queue.countAgain();
    const QString serial = pieces.isEmpty() ? QString() : pieces.first().serial;
    summarise(result, serial);
    // Asked once, the operator hears once what became of every piece, the stored ones too;
    // the stored ones are named with the others when some did not go.
    QString told = result.message;
    if (once && result.queued.isEmpty() && result.failed.isEmpty() && !result.uploaded.isEmpty())
        told.prepend(plantTexts::curvesSaved(plantTexts::pieceLabels(result.uploaded), serial) +
                     (told.isEmpty() ? QString() : QStringLiteral("\n")));
    if (!told.isEmpty()) tell(told);
    m_lastUpload = result;
    return result;
}

} // namespace q7rk
