#pragma once

#include "plant/PlantData.h"
#include "plant/PlantSource.h"
#include "plant/PlantStatus.h"

#include <QList>
#include <QVariant>
#include <optional>
#include <vector>

namespace q7rk {

class PlantConnection;
struct FoilValues;
struct WholeRollValue;

// The laboratory values of one piece as they went to its row: 比容, 折弯, 抗拉 (Null: empty).
struct SavedPiece {
    int curveNumber = 0;
    std::array<QVariant, 3> values;
};

// What saving the grid's laboratory values did.
struct SavedCells {
    std::vector<SavedPiece> written; // ascending curve number
    QList<int> withoutRow;           // tested pieces the plant has no row for: nothing written
};

// The pieces of a foil in the plant database: the upload of one tested piece and the
// saving of the laboratory values typed into the piece grid.
class PieceRecords {
public:
    explicit PieceRecords(PlantSource source = PlantSource());

    // Writes the piece in one transaction, all of it or nothing: for pieces 1 and 1' the
    // whole-roll values the page held for the serial (writeWholeRoll), then the
    // Part_Parameter row and the Curve row, each replacing the row of the same serial and
    // curve number, so sending the same piece again stores it once. On a connection of its
    // own, or on `c`, which is left open for the next.
    PlantStatus upload(const PieceUpload& piece) const;
    PlantStatus upload(const PieceUpload& piece, PlantConnection& c) const;

    const PlantSource& source() const { return m_source; }

    // For each grid row with test results (Tr, Vm or Vt filled), sets 比容, 折弯 and 抗拉
    // of the existing piece row; empty cells become Null. All rows that exist or none; a
    // piece without its row is named in the reply, not created.
    PlantReply<SavedCells> saveCells(const QString& serial, const PieceTable& grid) const;

private:
    PlantSource m_source;
};

// Pieces of one operation on an open connection (opening a foil uses them too).
PlantStatus insertFoil(PlantConnection& c, const FoilValues& foil, QDate date);
// Merges whole-roll values into the row of `serial`: a new row (dated `date`) when the plant
// has none, else only these columns; never a blank over a value the plant holds. Nothing
// to write, nothing done.
PlantStatus writeWholeRoll(PlantConnection& c, const QString& serial,
                           const std::vector<WholeRollValue>& values, QDate date);
// The whole-roll row of `serial` as the plant holds it; none when it has no row.
PlantReply<std::optional<FoilRecord>> readWholeRoll(PlantConnection& c, const QString& serial);
PlantReply<std::vector<LoadedPiece>> loadPieces(PlantConnection& c, const QString& serial);
PlantReply<std::vector<StoredCurve>> loadCurves(PlantConnection& c, const QString& serial);

// The last column of a stored curve that the chart draws: L + Tr, where L is 177 before
// boiling (pieces 1-3) and 57 after (pieces 4-6) and Tr the whole rise time of the piece
// (0 without a piece row), never past the last column stored. -1 for an empty curve.
int lastDrawnColumn(int curveNumber, int riseTimeWhole, int storedColumns);

} // namespace q7rk
