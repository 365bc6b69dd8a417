#include "PieceGrid.h"

#include "settings/NumberText.h"

namespace q7rk {

namespace {
bool validRow(int row) {
    return row >= 1 && row <= PieceGrid::Rows;
}
} // namespace

PieceGrid::PieceGrid(QObject* parent) : QObject(parent) {}

QString PieceGrid::columnHeader(int column) {
    static const char* const texts[] = {"", "  比容", "  折弯", "  抗拉", "  Tr", "  Vm", "  Vt"};
    return column >= 0 && column <= Columns ? QString::fromUtf8(texts[column]) : QString();
}

QString PieceGrid::rowHeader(int row) {
    static const char* const texts[] = {"1 ", "2 ", "3 ", "1'", "2'", "3'"};
    return validRow(row) ? QString::fromLatin1(texts[row - 1]) : QString();
}

int PieceGrid::columnWidth(int column) {
    return column == 0 ? 300 : 850;
}

QColor PieceGrid::rowColour(int row) {
    switch ((row - 1) % 3) {
    case 0:
        return QColor(255, 192, 192);
    case 1:
        return QColor(255, 255, 192);
    default:
        return QColor(192, 192, 255);
    }
}

QString PieceGrid::cell(int row, int column) const {
    if (!validRow(row) || column < 1 || column > Columns) return {};
    return m_cells[std::size_t(row - 1)][std::size_t(column - 1)];
}

void PieceGrid::setCell(int row, int column, const QString& text) {
    if (!validRow(row) || column < 1 || column > Columns) return;
    QString& c = m_cells[std::size_t(row - 1)][std::size_t(column - 1)];
    if (c == text) return;
    c = text;
    emit cellChanged(row, column, text);
}

QString PieceGrid::entry(PieceQuantity quantity, int row) const {
    if (!validRow(row)) return {};
    return m_entries[std::size_t(quantity)][std::size_t(row - 1)];
}

void PieceGrid::setEntry(PieceQuantity quantity, int row, const QString& text) {
    if (!validRow(row)) return;
    QString& e = m_entries[std::size_t(quantity)][std::size_t(row - 1)];
    if (e != text) {
        e = text;
        emit entryChanged(quantity, row, text);
    }
    const int decimals = quantity == PieceQuantity::SpecificCapacitance ? 3 : 0;
    const auto value = parseNumber(text);
    setCell(row, int(quantity) + 1, value ? formatFixed(*value, decimals) : text);
}

void PieceGrid::clear() {
    for (int q = 0; q < 3; ++q)
        for (int row = 1; row <= Rows; ++row)
            setEntry(PieceQuantity(q), row, QString());
    for (int row = 1; row <= Rows; ++row)
        for (int column = 1; column <= Columns; ++column)
            setCell(row, column, QString());
}

void PieceGrid::fill(const std::vector<LoadedPiece>& pieces) {
    for (const LoadedPiece& p : pieces)
        for (int column = 1; column <= Columns; ++column)
            setCell(p.curveNumber, column, p.cells[std::size_t(column - 1)]);
}

PieceCells PieceGrid::cells(int row) const {
    return {cell(row, 1), cell(row, 2), cell(row, 3)};
}

} // namespace q7rk
