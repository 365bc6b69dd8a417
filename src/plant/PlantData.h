#pragma once

#include <QDate>
#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace q7rk {

// Plain data that the plant page, the save pass and the plant database exchange. Texts are
// the boxes' texts as typed; they are trimmed and checked where they are sent.

// The whole-roll record of one foil, a row of Whole_Parameter.
struct FoilRecord {
    QString serial;         // txtWhole "编号："
    QString grade;          // txtWhole1 "规格："
    QString vf;             // VFText "VF值："
    QString length;         // txtWhole3 "长度：" (empty: Null)
    QString area;           // txtWhole4 "面积：" (empty: Null)
    QString weight;         // txtWhole6 "重量：" (empty: Null)
    QString iqNumber;       // txtWhole8 "IQ编号："
    QString productionLine; // txtWhole7 "线别："
    QString joints;         // txtWhole5 "接头数："

    bool operator==(const FoilRecord&) const = default;
};

// The laboratory values of one piece, grid columns 1 to 3 (empty: Null).
struct PieceCells {
    QString specificCapacitance; // "比容"
    QString bend;                // "折弯"
    QString pull;                // "抗拉"

    bool operator==(const PieceCells&) const = default;
};

// Everything the upload of one tested piece sends: its whole-roll row (written for the
// first piece before and after boiling only, and only when the page knew the foil), its
// Part_Parameter row and its Curve row.
struct PieceUpload {
    QString serial;      // the test number of channel 1
    int curveNumber = 0; // 1..6: pieces 1, 2, 3, 1', 2', 3'
    // The page's whole-roll boxes, its serial replaced by `serial`; none when the page did
    // not know the foil, and the plant then keeps the whole-roll row it has.
    std::optional<FoilRecord> foil;
    PieceCells cells;
    // The piece row keeps the lab values the plant holds (a stored test sent later knows
    // none of them); `cells` is not sent.
    bool keepPlantCells = false;
    // The test's values as the plant and the outbox take them: plain decimals, as the
    // channel showed them; empty where the test has none.
    QString riseTime;         // "Tr"
    QString maxVoltage;       // "Vm"
    QString tvValue;          // "Vt"
    QDate date;               // ProDate of a new whole-roll row
    std::vector<float> curve; // column [0] = 0, column [k] = sample k + 1, in volts

    bool writesFoil() const { return (curveNumber == 1 || curveNumber == 4) && foil; }
    bool operator==(const PieceUpload&) const = default;
};

// What the upload of a piece needs of a finished TV test, as its record holds it (empty
// where the record holds no number).
struct RunValues {
    std::optional<double> riseTime;   // 升压时间, "Tr"
    std::optional<double> delayTime;  // 延迟时间
    std::optional<double> maxVoltage; // Vmax, "Vm"
    std::optional<double> tvValue;    // TV值, "Vt"
    bool operator==(const RunValues&) const = default;
};

// A finished TV test as a piece, taken when it is first offered to the plant: what the
// channel shows later (another number, the other boiling option, other samples) cannot
// relabel or change it.
struct RunPiece {
    int channel = 0;
    int curveNumber = 0; // channel + 1, plus 3 after boiling
    QString serial;      // channel 1's test number then
    RunValues run;
    // The test's voltage samples, [0] being sample 1: the piece's curve is cut from them.
    std::vector<float> volts{};
    qint64 outboxId = 0; // its entry in the plant outbox, once its test is stored
    bool operator==(const RunPiece&) const = default;
};

// The six data cells of one grid row: 比容, 折弯, 抗拉, Tr, Vm, Vt.
using PieceRowCells = std::array<QString, 6>;
// Grid rows 1..6 at index 0..5.
using PieceTable = std::array<PieceRowCells, 6>;

// A Part_Parameter row as the grid shows it.
struct LoadedPiece {
    int curveNumber = 0;
    PieceRowCells cells;   // 比容 "0.000", the others "0.00"; Null as empty
    int riseTimeWhole = 0; // whole-number part of Tr, which limits the drawn curve
};

// A stored curve up to the last sample column its row has.
struct StoredCurve {
    int curveNumber = 0;
    std::vector<float> values; // column [0], [1], ...
};

// What opening a foil finds.
struct OpenedFoil {
    std::optional<FoilRecord> foil; // no whole-roll row: nothing
    std::vector<LoadedPiece> pieces;
    std::vector<StoredCurve> curves;
};

} // namespace q7rk
