#pragma once

#include "kinds/TestKindDescription.h"

#include <QDateTime>
#include <QList>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

class QSqlDatabase;

namespace q7rk {

// Every correction and deletion leaves a line in this table of the same result file, written
// in the transaction of the change, so the file never holds a change without its line.
inline constexpr const char* AuditTableName = "修改历史";
// The field of a deletion's line: the whole row is kept beside it.
inline constexpr const char* DeletionField = "删除记录";

struct AuditEntry {
    QString time; // "yyyy/MM/dd HH:mm:ss", local time: sorts and compares as text
    QString operatorName;
    QString testNumber;
    QString field;
    QString oldValue;
    QString newValue;
    // A deletion: the removed parameter row as the grid shows it, in field order.
    QStringList removedRow;

    bool isDeletion() const { return field == QString::fromUtf8(DeletionField); }
};

QString auditTime(const QDateTime& when);

// Adds the table to a file that has none (files of older versions get it on their first
// change).
QSqlError createAuditTable(const QSqlDatabase& db);
// A line for a correction of one field.
QSqlError addCorrectionEntry(const QSqlDatabase& db, const AuditEntry& entry);
// A line for a deleted row; the row (the file's values in field order) is kept as JSON.
QSqlError addDeletionEntry(const QSqlDatabase& db, TestKind kind, const AuditEntry& entry,
                           const QVariantList& row);

// The lines of one test, oldest first. A file without the table has none.
// A file without the history table has an empty history; a table that cannot be read
// leaves its cause in `error`.
QList<AuditEntry> readHistory(const QSqlDatabase& db, TestKind kind, const QString& testNumber,
                              QString* error = nullptr);
// The deletions of the days from..to ("yyyy/MM/dd"), oldest first, each with its row.
QList<AuditEntry> readDeletions(const QSqlDatabase& db, TestKind kind, const QString& from,
                                const QString& to, QString* error = nullptr);

} // namespace q7rk
