#pragma once

#include "plant/PlantData.h"
#include "plant/PlantStatus.h"

#include <QStringList>
#include <optional>
#include <QVariant>

namespace q7rk {

// Leading and trailing blanks removed (other white space is kept, as the boxes hold it).
QString trimBlanks(const QString& text);

// Letters a-z typed into the serial, grade, IQ-number and line boxes become A-Z;
// everything else passes unchanged.
QString upperCaseTyped(const QString& text);

// The values of a whole-roll row, ready to bind: numbers as numbers, empty optional
// numbers as Null.
struct FoilValues {
    QString serial, grade, iqNumber, productionLine;
    double vf = 0, joints = 0;
    QVariant length, area, weight;
};
PlantReply<FoilValues> foilValues(const FoilRecord& foil);

// The bound values of a piece's three laboratory cells (empty: Null).
PlantReply<std::array<QVariant, 3>> pieceCellValues(int curveNumber, const PieceCells& cells);

// The piece number of a label as the operator types it: "1"-"6", or "1'"-"3'" for 4-6.
std::optional<int> pieceNumberFromLabel(const QString& label);

// N, the number of curve columns: rise time plus delay time, each rounded to a whole number
// with halves to even.
PlantReply<int> curveLength(int curveNumber, const RunValues& run);
// The run's values of `piece` as the plant and the outbox take them.
void takeRunValues(PieceUpload& piece, const RunValues& run);

// The curve columns of a test whose samples are `volts` ([0] is sample 1): column [0] = 0 and
// column [k] = sample k + 1 for k = 1..n-1 (sample 1 is not stored), 0 past the samples. At
// least column [0].
std::vector<float> curveColumns(const std::vector<float>& volts, int n);

// A whole-roll value the page holds for a serial, ready to bind.
struct WholeRollValue {
    const char* column; // of Whole_Parameter
    QString label;      // as the page labels it, "长度"
    QString text;       // as shown, trimmed
    QVariant value;     // a number for the number columns
};
// The values of the boxes of `held` that are not blank, in column order (the serial is not
// one of them). A blank box is no value: the plant keeps what it has there. A number box that
// holds no number refuses the lot.
PlantReply<std::vector<WholeRollValue>> heldWholeRoll(const FoilRecord& held);

// What writing `held` into the plant's whole-roll row changes: "长度 1200→1250" for each
// value that differs ("空" for one the plant does not have); with no row, "规格 H3A" for each.
QStringList wholeRollChanges(const std::vector<WholeRollValue>& held,
                             const std::optional<FoilRecord>& plant);

// The upload of one finished TV test as its piece, with the page's whole-roll values and lab
// cells. The boxes are checked when it is sent: a piece with a box that cannot go is still
// kept in the outbox, with the reason it was refused. Fails only when the run's values give
// no curve length.
PlantReply<PieceUpload> makePieceUpload(const RunPiece& piece,
                                        const std::optional<FoilRecord>& foil,
                                        const PieceCells& cells, QDate date);

} // namespace q7rk
