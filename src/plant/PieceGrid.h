#pragma once

#include "plant/PlantData.h"

#include <QColor>
#include <QObject>

namespace q7rk {

// The laboratory quantities typed per piece: boxes Cap1..6, Bend1..6, Pull1..6.
enum class PieceQuantity { SpecificCapacitance, Bend, Pull };

// The piece grid Grid2 of the plant page without widgets: rows 1..6 are the pieces
// (curve numbers), columns 1..6 比容, 折弯, 抗拉, Tr, Vm, Vt, plus the eighteen entry boxes
// that feed columns 1..3. A widget binds to it like the panels bind to PanelModel.
class PieceGrid : public QObject {
    Q_OBJECT
public:
    static constexpr int Rows = 6;
    static constexpr int Columns = 6;
    static constexpr int RowHeight = 250; // twips

    explicit PieceGrid(QObject* parent = nullptr);

    // The fixed texts and looks: header row 0 and header column 0, widths in twips, the
    // background of a data row.
    static QString columnHeader(int column); // 0..6
    static QString rowHeader(int row);       // 1..6: "1 ", "2 ", "3 ", "1'", "2'", "3'"
    static int columnWidth(int column);      // 0..6
    static QColor rowColour(int row);        // 1..6

    QString cell(int row, int column) const; // row 1..6, column 1..6
    void setCell(int row, int column, const QString& text);

    QString entry(PieceQuantity quantity, int row) const;
    // Typing into an entry box: the cell of its row shows the number as "0.000" (比容) or
    // "0" (折弯, 抗拉); a text that is not a number goes in unchanged, an empty one empties
    // the cell.
    void setEntry(PieceQuantity quantity, int row, const QString& text);

    // The grid set-up: every entry box and data cell empty.
    void clear();
    // Loaded pieces, first to last, into their rows.
    void fill(const std::vector<LoadedPiece>& pieces);

    PieceTable table() const { return m_cells; }
    PieceCells cells(int row) const;

signals:
    void cellChanged(int row, int column, const QString& text);
    void entryChanged(q7rk::PieceQuantity quantity, int row, const QString& text);

private:
    PieceTable m_cells;
    std::array<std::array<QString, Rows>, 3> m_entries;
};

} // namespace q7rk
