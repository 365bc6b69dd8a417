#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace q7rk {

class ResultStore;
enum class TestKind;

// Rows (header first) as CSV in UTF-8 with a byte-order mark, lines ended by CR LF, so that
// a spreadsheet opens the Chinese headers as they are. Cells holding a comma, a quote or a
// line break are quoted, quotes doubled. A text that a spreadsheet would take for a formula
// (it starts with =, +, -, @, a tab or a carriage return) gets a leading apostrophe; a cell
// of a number column that is a plain decimal stays a number, negative or not.
QByteArray csvBytes(const QStringList& header, const QList<QStringList>& rows,
                    const QList<bool>& numberColumns = {});

// The number columns of a kind's parameter table, in field order.
QList<bool> numberColumns(TestKind kind);

// Writes the bytes to the file in one piece (a failed write leaves an older file as it was).
bool writeFileAtomically(const QString& path, const QByteArray& bytes);

// One test's curve: "vi_order", "电压", "电流"; an empty list when the test is not stored.
QList<QStringList> curveRows(const ResultStore& store, TestKind kind, const QString& testNumber,
                             QStringList* header);

} // namespace q7rk
