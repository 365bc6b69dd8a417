#include "StoredPieceUpload.h"

#include "plant/PlantInput.h"
#include "plant/PlantTexts.h"
#include "results/ResultStore.h"

namespace q7rk {

PlantReply<PieceUpload> storedPiece(const StoredTest& test, const PieceAddress& to) {
    const RunTexts run{test.value(QStringLiteral("升压时间")), test.value(QStringLiteral("延迟时间")),
                       test.value(QStringLiteral("Vmax")), test.value(QStringLiteral("TV值"))};
    const auto length = curveLength(to.piece, run);
    if (!length.ok()) return PlantReply<PieceUpload>::failed(length.status);
    PieceUpload piece;
    piece.serial = trimBlanks(to.serial);
    piece.curveNumber = to.piece;
    piece.keepPlantCells = true;
    piece.riseTime = run.riseTime;
    piece.maxVoltage = run.maxVoltage;
    piece.tvValue = run.tvValue;
    piece.date = QDate::currentDate();
    // Column 0 is 0; column k is sample k + 1, as a run's upload writes it.
    piece.curve.assign(std::size_t(std::max(1, length.value)), 0.0f);
    for (std::size_t k = 1; k < piece.curve.size() && k < test.curve.size(); ++k)
        piece.curve[k] = float(test.curve[k].volts);
    return {std::move(piece), {}};
}

PieceAddress proposedAddress(const UploadQueue& outbox, const StoredTest& test) {
    const TestKey key = test.key();
    PieceAddress address{key.number, key.afterBoiling ? 4 : 1};
    if (const auto listed = outbox.entries(); listed.ok())
        for (const QueuedUpload& e : listed.value) // oldest first: the newest has the last word
            if (e.origin && e.origin->key == key) address = {e.piece.serial, e.piece.curveNumber};
    return address;
}

UploadOutcome uploadStoredTest(const ResultStore& store, const PlantUploader& uploader,
                               const TestKey& key, const PieceAddress& to) {
    const auto test = store.load(TestKind::Tv, key);
    if (!test)
        return {PlantStatus::failure(PlantFault::BadInput, plantTexts::noStoredTest(shownKey(key))),
                {}};
    const auto piece = storedPiece(*test, to);
    if (!piece.ok()) return {piece.status, {}};
    if (piece.value.serial.isEmpty())
        return {PlantStatus::failure(PlantFault::BadInput, plantTexts::noSerial()), {}};
    const auto added = uploader.queue().add(piece.value, OutboxState::Unasked, {},
                                            OutboxOrigin{key, QDateTime::currentDateTime()});
    if (!added.ok()) return {added.status, {}};
    return uploader.send(added.value);
}

} // namespace q7rk
