#pragma once

#include "results/AuditLog.h"
#include "results/StoredTest.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>
#include <span>

class QSqlDatabase;
class QSqlError;

namespace q7rk {

class ResultFile;

// One search of a parameter table: a field, a comparison (">", "<", "=", "介于") and its
// values as typed.
struct QueryCondition {
    TestKind kind = TestKind::Tv;
    QString field;
    QString comparison;
    QString value1;
    QString value2; // upper bound of "介于"
};

// Where a search read in pages stands. Rows come by test date (rows without one first),
// then in the order they were stored; the last row read is kept by both.
struct PagePosition {
    QVariant date;    // its 测试日期 as the file holds it (null for none)
    qint64 rowid = 0; // 0 before the first page
};

// Parameter rows as read: each cell as the file holds it (a number, a text or null), made
// into the grid's text only when shown. The header is the table's field names.
struct ResultRows {
    TestKind kind = TestKind::Tv;
    QStringList header;
    QVariantList cells; // row after row, header.size() cells each
    PagePosition last;  // the last row read: the next page starts after it
    bool atEnd = true;  // no rows left after the last one read
    // Empty when rows were found; otherwise what to tell the operator.
    QString message;

    int count() const { return header.isEmpty() ? 0 : int(cells.size() / header.size()); }
    const QVariant& value(int row, int column) const {
        return cells[qsizetype(row) * header.size() + column];
    }
    // A cell as the grid shows it: numbers as plain decimals, null empty.
    QString text(int row, int column) const;
    QStringList row(int row) const;
    // The key of a row: its number and, for a kind with the boiling marks, its 水煮后 mark.
    TestKey key(int row) const;
};

// What an operation that changes a file reports: ok, and the text for the operator. A
// warning is said besides, whether the operation went well or not (a file holding a test
// number more than once, told once per file).
struct ResultOutcome {
    ResultOutcome() = default;
    ResultOutcome(bool ok_, QString message_, QString warning_ = {})
        : ok(ok_), message(std::move(message_)), warning(std::move(warning_)) {}

    bool ok = false;
    QString message;
    QString warning;
};
// A failed save names the file and the cause.
using SaveOutcome = ResultOutcome;

// A write into another SQLite file that shares a save's fate: the file is attached to the
// save's connection and written inside its transaction, so a crash or a failure keeps both
// or neither. `write` gets the connection, the schema name the file is attached under and the
// key being stored; an error it returns fails the save.
struct CompanionWrite {
    QString path; // empty: nothing to write
    std::function<QSqlError(QSqlDatabase& db, const QString& schema, const TestKey& key)> write;
};

// What a batch of imported tests came to: ok when the batch was written (or had nothing to
// write); the keys the file held already, left as they were.
struct ImportOutcome {
    bool ok = false;
    QString message; // when not ok: the file and the cause; nothing of the batch is stored
    QString warning;
    int stored = 0;
    QList<TestKey> alreadyStored;
};

// One field of a correction and its new value as typed.
struct FieldChange {
    QString field;
    QString value;
};

// The three result files (SQLite) in one directory. Every operation opens its file on a
// connection of its own and closes it again, so nothing stays open between operations and
// another program may read the files meanwhile. Values are always bound. A file that is
// missing holds nothing; it is created with its tables on the first save. A test is addressed
// by its key: the number, and for TV and leakage whether it was measured after boiling.
// Opened for writing, a file gets a unique index on the key, unless it already holds a key
// twice; the tables an older version keyed by number alone are made again keyed by both.
class ResultStore {
public:
    // An empty directory means the working directory at the time of each operation.
    explicit ResultStore(QString directory = QString());

    // Full path of the kind's file.
    QString locateDbFile(TestKind kind) const;

    // True when the key is taken: the kind's file holds a parameter row or curve rows under it.
    bool checkTestTable(TestKind kind, const TestKey& key) const;

    // The parameter row and the curve in one transaction: all of it or nothing. Not ok when
    // a value does not fit its field, the number is taken, or the file cannot be written
    // (full disk, read-only folder, not a database, locked longer than a moment). The
    // companion's write goes in the same transaction; a failure of it names its file.
    SaveOutcome save(const StoredTest& test, const CompanionWrite& companion = {});

    // Tests brought in from elsewhere (all of one kind), in one transaction: each with its
    // curve, its conditions and a history line naming where it came from (`origin`). A key
    // the file holds already is never overwritten: it is listed in alreadyStored.
    ImportOutcome importTests(std::span<const StoredTest> tests, const QString& origin);
    // Every key the kind's file holds, by a parameter row or curve rows; none without a file.
    // `readable` false when the file is there but cannot be read.
    QList<TestKey> storedKeys(TestKind kind, bool* readable = nullptr) const;

    // How many rows each table of the kind's file holds, by table name; an empty list
    // without a file, nullopt (the cause in `error`) when the file cannot be read.
    std::optional<QList<QPair<QString, qint64>>> tableRows(TestKind kind,
                                                           QString* error = nullptr) const;

    // The stored test of that key, with its curve; nullopt when there is none.
    std::optional<StoredTest> load(TestKind kind, const TestKey& key) const;
    // What the test was measured under; nullopt when the file does not say (saved by an
    // older program, or no such test).
    std::optional<RunConditions> conditions(TestKind kind, const TestKey& key) const;

    // The parameter rows matching the condition, by test date, then in the order they were
    // stored. A value
    // that the field cannot take finds nothing. An empty field matches every row.
    ResultRows query(const QueryCondition& condition) const;
    // Every parameter row of a kind.
    ResultRows allRows(TestKind kind) const;
    // No rows yet, with the kind's header: the start of a search read in pages.
    static ResultRows emptyRows(TestKind kind);
    // Up to `limit` more matching rows after the last one in `rows` (every one left when
    // negative); sets atEnd. False when the search cannot run (no file, a bad value).
    bool appendPage(const QueryCondition& condition, ResultRows& rows, int limit) const;
    // How many rows match; nullopt when the file cannot be read.
    std::optional<qint64> countMatches(const QueryCondition& condition) const;

    // Deletes the tests (every parameter row and curve row of each key), each in its own
    // transaction; the history keeps each whole (row, curve, conditions). Not ok when any key
    // had no parameter row or could not be deleted.
    ResultOutcome remove(TestKind kind, const QList<TestKey>& keys);
    // Puts back the test the deletion line `deletionId` keeps (row, curve, conditions), with a
    // history line of its own naming the deletion; refused while its key is taken again, when
    // that deletion was put back before, and for a deletion of an older version, which kept
    // the row only.
    ResultOutcome restore(TestKind kind, qint64 deletionId);

    // Sets one field of a stored test (of every row of its key). Nothing is written when the
    // field cannot be corrected or cannot take the value. A corrected 水煮后 mark moves the
    // test to its other key, refused when that one is taken.
    ResultOutcome correct(TestKind kind, const TestKey& key, const QString& field,
                          const QString& value);
    // Several fields of one test in one transaction: all of them or none.
    ResultOutcome correct(TestKind kind, const TestKey& key, const QList<FieldChange>& changes);

    // Corrections, deletions and restores are signed with the name this gives for the kind
    // at that moment; empty without one.
    void setOperatorSource(std::function<QString(TestKind)> source) {
        m_operator = std::move(source);
    }
    // The corrections, deletions and restores of one test, oldest first. A file that cannot
    // be read gives none and says why in `error` ("无法读取结果文件 …：cause").
    QList<AuditEntry> history(TestKind kind, const TestKey& key, QString* error = nullptr) const;
    // The tests deleted on the days from..to (dates as typed, e.g. 2026/12/7), each with its
    // row and whether it was put back since; nullopt when a date is no calendar date.
    std::optional<QList<AuditEntry>> deletions(TestKind kind, const QString& from,
                                               const QString& to, QString* error = nullptr) const;

private:
    // Brings the file's tables to this version's layout inside the write's transaction (an
    // error in `error`) and makes its keys unique; a warning the first time a file cannot be.
    QString prepareForWriting(ResultFile& file, QSqlError* error);

    // The first line of a change: who and when.
    AuditEntry auditStart(TestKind kind, const TestKey& key) const;

    QString m_directory;
    std::function<QString(TestKind)> m_operator;
    QStringList m_duplicatesReported; // files whose duplicate numbers were told already
};

} // namespace q7rk
