#pragma once

#include "plant/PlantUploader.h"
#include "results/StoredTest.h"

namespace q7rk {

class ResultStore;

// Where a stored test's piece goes in the plant: the foil's serial and the piece (1-6).
struct PieceAddress {
    QString serial;
    int piece = 1;
};

// A stored TV test as a plant piece: its rise time, Vmax and TV value, and its curve cut as a
// run's upload cuts it (rise time plus delay). It carries no whole-roll row and no lab values:
// the plant keeps those as it has them.
PlantReply<PieceUpload> storedPiece(const StoredTest& test, const PieceAddress& to);

// What the operator is offered for a stored test: the serial and piece its newest outbox
// entry had, else its number and piece 1 (1' after boiling).
PieceAddress proposedAddress(const UploadQueue& outbox, const StoredTest& test);

// The stored test of `key` into the outbox under that key, then sent now. Fails without a
// send when there is no such test or its values make no piece.
UploadOutcome uploadStoredTest(const ResultStore& store, const PlantUploader& uploader,
                               const TestKey& key, const PieceAddress& to);

} // namespace q7rk
