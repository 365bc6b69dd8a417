#pragma once

#include "results/StoredTest.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

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

// What an operation that changes a file reports: ok, and the text for the operator.
struct ResultOutcome {
    bool ok = false;
    QString message;
};

// The three result files (SQLite) in one directory. Every operation opens its file on a
// connection of its own and closes it again, so nothing stays open between operations and
// another program may read the files meanwhile. Values are always bound. A file that is
// missing holds nothing; it is created with its tables on the first save.
class ResultStore {
public:
    // An empty directory means the working directory at the time of each operation.
    explicit ResultStore(QString directory = QString());

    // Full path of the kind's file.
    QString locateDbFile(TestKind kind) const;

    // True when the number is taken: the kind's file holds curve rows under it.
    bool checkTestTable(TestKind kind, const QString& testNumber) const;

    // The parameter row and the curve in one transaction: all of it or nothing. False when
    // a value does not fit its field or the file cannot be written.
    bool save(const StoredTest& test);

    // The stored test of that number, with its curve; nullopt when there is none.
    std::optional<StoredTest> load(TestKind kind, const QString& testNumber) const;

    // The parameter rows matching the condition, in the order they were stored. A value
    // that the field cannot take finds nothing.
    ResultRows query(const QueryCondition& condition) const;
    // Every parameter row of a kind.
    ResultRows allRows(TestKind kind) const;

    // Deletes the tests (parameter row and curve rows) by their numbers, each in its own
    // transaction. Not ok when any parameter row could not be deleted.
    ResultOutcome remove(TestKind kind, const QStringList& testNumbers);

    // Sets one field of a stored test. Nothing is written when the field cannot be
    // corrected or cannot take the value.
    ResultOutcome correct(TestKind kind, const QString& testNumber, const QString& field,
                          const QString& value);

private:
    QString m_directory;
};

} // namespace q7rk
