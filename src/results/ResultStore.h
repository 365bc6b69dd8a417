#pragma once

#include "results/StoredTest.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class QSqlDatabase;

namespace q7rk {

// One search of a parameter table: a field, a comparison (">", "<", "=", "介于") and its
// values as typed.
struct QueryCondition {
    TestKind kind = TestKind::Tv;
    QString field;
    QString comparison;
    QString value1;
    QString value2; // upper bound of "介于"
};

// Rows as texts, as the grid shows them: the header is the table's field names.
struct ResultRows {
    QStringList header;
    QList<QStringList> rows;
    // Empty when rows were found; otherwise what to tell the operator.
    QString message;
    int count() const { return int(rows.size()); }
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

// The three result files (SQLite) in one directory. Every operation opens its file on a
// connection of its own and closes it again, so nothing stays open between operations and
// another program may read the files meanwhile. Values are always bound. A file that is
// missing holds nothing; it is created with its tables on the first save. Opened for writing,
// a file gets a unique index on the test number, unless it already holds a number twice.
class ResultStore {
public:
    // An empty directory means the working directory at the time of each operation.
    explicit ResultStore(QString directory = QString());

    // Full path of the kind's file.
    QString locateDbFile(TestKind kind) const;

    // True when the number is taken: the kind's file holds a parameter row or curve rows
    // under it.
    bool checkTestTable(TestKind kind, const QString& testNumber) const;

    // The parameter row and the curve in one transaction: all of it or nothing. Not ok when
    // a value does not fit its field, the number is taken, or the file cannot be written
    // (full disk, read-only folder, not a database, locked longer than a moment).
    SaveOutcome save(const StoredTest& test);

    // The stored test of that number, with its curve; nullopt when there is none.
    std::optional<StoredTest> load(TestKind kind, const QString& testNumber) const;

    // The parameter rows matching the condition, in the order they were stored. A value
    // that the field cannot take finds nothing.
    ResultRows query(const QueryCondition& condition) const;
    // Every parameter row of a kind.
    ResultRows allRows(TestKind kind) const;

    // Deletes the tests (every parameter row and curve row of each number), each in its own
    // transaction. Not ok when any number had no parameter row or could not be deleted.
    ResultOutcome remove(TestKind kind, const QStringList& testNumbers);

    // Sets one field of a stored test (of every row of its number). Nothing is written when
    // the field cannot be corrected or cannot take the value.
    ResultOutcome correct(TestKind kind, const QString& testNumber, const QString& field,
                          const QString& value);

private:
    // Makes the file's test numbers unique; a warning the first time a file cannot be.
    QString uniqueNumbers(const QSqlDatabase& db, TestKind kind, const QString& path);

    QString m_directory;
    QStringList m_duplicatesReported; // files whose duplicate numbers were told already
};

} // namespace q7rk
