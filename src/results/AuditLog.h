#pragma once

#include "kinds/TestKindDescription.h"

#include <QDateTime>
#include <QList>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

namespace q7rk {

class ResultFile;

// Every correction and deletion leaves a line in this table of the same result file, written
// in the transaction of the change, so the file never holds a change without its line.
inline constexpr const char* AuditTableName = "修改历史";
// The field of a deletion's line: the whole test is kept beside it.
inline constexpr const char* DeletionField = "删除记录";
// The field of the line an imported test starts its history with; the new value names the file
// it came from.
inline constexpr const char* ImportField = "导入记录";
// The field of the line a deleted test leaves when it is put back.
inline constexpr const char* RestoreField = "恢复记录";

struct AuditEntry {
    QString time; // "yyyy/MM/dd HH:mm:ss", local time: sorts and compares as text
    QString operatorName;
    QString testNumber;
    bool afterBoiling = false;
    QString field;
    QString oldValue;
    QString newValue;
    // A deletion: the removed parameter row as the grid shows it, in field order.
    QStringList removedRow;
    qint64 id = 0; // the line's row in the table
    // A deletion made by this version keeps the curve and the conditions too, so the test can
    // be put back whole; one of an older version kept the row only.
    bool keptWhole = false;
    // A restore: the id of the deletion line it undoes (0 in lines of older versions, which
    // name the deletion by its time in oldValue).
    qint64 undoesDeletion = 0;
    // A deletion that was put back: when (as `time`); empty while it is not.
    QString restoredAt;

    TestKey key() const { return {testNumber, afterBoiling}; }
    bool isDeletion() const { return field == QString::fromUtf8(DeletionField); }
};

// A deleted test as its line keeps it: the row (the file's values in field order), the curve
// and the conditions as JSON.
struct RemovedTest {
    QVariantList row;
    QString curveJson;
    QString conditionsJson; // empty when the test had none
};

QString auditTime(const QDateTime& when);

// Adds the table to a file that has none (files of older versions get it on their first
// change).
QSqlError createAuditTable(const ResultFile& file);
// A line for a correction of one field, or for a restore (with the deletion it undoes).
QSqlError addCorrectionEntry(const ResultFile& file, const AuditEntry& entry);
// A line for a deleted test; the row is kept as JSON keyed by field names.
QSqlError addDeletionEntry(const ResultFile& file, const AuditEntry& entry,
                           const RemovedTest& removed);
// What the deletion line `id` keeps; nullopt when there is no such deletion.
std::optional<RemovedTest> removedTest(const ResultFile& file, qint64 id,
                                       AuditEntry* line = nullptr);

// The lines of one test, oldest first. A file without the history table has an empty
// history; a table that cannot be read leaves its cause in `error`.
QList<AuditEntry> readHistory(const ResultFile& file, const TestKey& key, QString* error = nullptr);
// The corrections of one field, with the deletions and restores of every test, oldest
// first: what a chart needs to tell values corrected by hand from measured ones.
QList<AuditEntry> readCorrections(const ResultFile& file, const QString& field,
                                  QString* error = nullptr);
// Sets `restoredAt` of the deletions that were put back since.
void findRestores(const ResultFile& file, QList<AuditEntry>& deletions, QString* error = nullptr);
// The deletions of the days from..to ("yyyy/MM/dd"), oldest first, each with its row and,
// when it was put back, the time of that.
QList<AuditEntry> readDeletions(const ResultFile& file, const QString& from, const QString& to,
                                QString* error = nullptr);

} // namespace q7rk
