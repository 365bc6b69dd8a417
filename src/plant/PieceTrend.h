#pragma once

#include "plant/PlantConnection.h"

#include <QDate>
#include <QString>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace q7rk {

// What a trend of the plant's pieces can follow: the values every tester uploaded for each
// piece, the TV value against the foil's formation voltage, and what boiling changed (piece
// n' less piece n of the same foil).
enum class PieceField { Vt, Tr, Vm, TvRatio, SpecVot, Bend, Pull, DeltaVt, DeltaTr };

struct PieceFieldName {
    PieceField field;
    const char* key;  // "vt" on command lines and in JSON
    const char* name; // "Vt", "比容", "ΔVt" for the engineer
};
std::span<const PieceFieldName> pieceFields();
std::optional<PieceField> pieceFieldFromKey(const QString& key);
QString pieceFieldName(PieceField field);
// The changes over boiling pair pieces 1-3 with 1'-3'.
bool isBoilingChange(PieceField field);

enum class BoilingSide { Any, Before, After };

struct PieceTrendRequest {
    PieceField field = PieceField::Vt;
    QString spec;   // 规格 (Speci); empty: every grade
    QString line;   // 线别 (PLNum); empty: every line
    QDate from, to; // upload dates (ProDate), both included; an invalid one leaves that end open
    // Pieces 1-3 or 1'-3'; a change over boiling always takes both.
    BoilingSide boiling = BoilingSide::Any;
    // One piece of each foil, 1-3 (with its n' unless the side says otherwise); 0: all.
    int piece = 0;
};

// One piece on the chart; for a change over boiling, piece n (1-3) of a foil with its n'.
struct PiecePoint {
    QString serial;
    int piece = 0; // NumCurve, 1..6
    QDate date;    // the foil's ProDate
    QString line;
    double value = 0;
    std::optional<double> formationVoltage; // the foil's VF

    bool afterBoiling() const { return piece > 3; }
};

struct PieceTrend {
    std::vector<PiecePoint> points; // by date, then foil, then piece
    // Pieces read without a value (Null, no VF for the ratio, no piece n' for a change):
    // counted, not charted.
    int withoutValue = 0;
};

// The points of a request, read with bound values in one forward pass; `goOn` hears how many
// rows were read every few thousand and returns false to cancel (the reply is Cancelled).
PlantReply<PieceTrend> readPieceTrend(PlantConnection& connection, const PieceTrendRequest& request,
                                      const std::function<bool(int rowsRead)>& goOn = {});

// A foil's pieces on one side of boiling, the subgroup of a chart of means: consecutive
// points of the same foil and side, `first` and `count` into the points.
struct FoilSubgroup {
    int first = 0;
    int count = 0;
};
std::vector<FoilSubgroup> foilSubgroups(const std::vector<PiecePoint>& points);

} // namespace q7rk
