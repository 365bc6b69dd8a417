#pragma once

#include "plant/PlantUploader.h"
#include "results/StoredTest.h"

#include <QHash>

namespace q7rk {

class ResultStore;

// Where a stored test's piece goes in the plant: the foil's serial and the piece (1-6).
struct PieceAddress {
    QString serial;
    int piece = 1;
};

// The values a TV test's record holds for its piece.
RunValues runValuesOf(const StoredTest& test);

// A stored TV test as a plant piece: its rise time, Vmax and TV value, and its curve cut as a
// run's upload cuts it (rise time plus delay). It carries no whole-roll row and no lab values:
// the plant keeps those as it has them.
PlantReply<PieceUpload> storedPiece(const StoredTest& test, const PieceAddress& to);

// What the operator is offered for a stored test: the serial and piece its newest outbox
// entry had (sent already or still waiting), else its number and piece 1 (1' after boiling).
PieceAddress proposedAddress(const UploadQueue& outbox, const StoredTest& test);

// The stored TV test of `key` into the outbox under that key, as piece `to`; its id. Fails,
// saying why, when there is no such test, no serial, or its values make no piece.
PlantReply<qint64> putStoredTestInOutbox(const ResultStore& store, const UploadQueue& outbox,
                                         const TestKey& key, const PieceAddress& to);

// What the plant has of each stored test's piece, by shownKey: "已上传 2026-12-07 19:30",
// or where its entry stands in the outbox.
QHash<QString, QString> deliveryTexts(const UploadQueue& outbox);

} // namespace q7rk
