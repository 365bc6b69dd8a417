#pragma once

#include "kinds/TestKindDescription.h"
#include "results/ResultTexts.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>

struct sqlite3;

namespace q7rk {

// One result file (the SQLite file of a test kind) open for one operation, on a connection of
// its own that goes when this does, so nothing stays open between operations and another
// program may read the file meanwhile. The only place that opens a result file: its pragmas,
// its transactions, the names of its faults, its tables and its indexes are kept here, and
// the store, the editing with its history and the trends all go through it.
class ResultFile {
public:
    ResultFile(QString path, TestKind kind);
    // A transaction left open is rolled back.
    ~ResultFile();
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;

    const QString& path() const { return m_path; }
    TestKind kind() const { return m_kind; }
    bool isOpen() const { return m_open; }
    const QSqlError& openError() const { return m_openError; }
    QSqlDatabase db() const;
    // SQLite itself under the connection, for the statements that move thousands of rows.
    sqlite3* handle() const;

    // Another file in the same transactions, under the durability pragmas of a result file.
    // SQLite commits the two as one (a super-journal names them), so a crash keeps both
    // changes or neither.
    QSqlError attach(const QString& path, const QString& schema);
    // Reads the file's schema: a file that is no database, or cannot be read, says so here.
    QSqlError readSchema();
    // A write: the durability pragmas, then the write lock taken at once, so a writer waits
    // for another one up front instead of failing halfway through.
    QSqlError begin();
    QSqlError commit();
    void rollback();

    // Why a statement on a file failed, as the operator is told it.
    static resulttext::FileFault faultOf(const QSqlError& error, const QString& path);
    static bool isConstraint(const QSqlError& error);
    // "无法保存到文件 …：" with the cause; the fault goes to the log too.
    QString saveFault(const QSqlError& error) const;
    static QString saveFault(const QSqlError& error, const QString& path);
    // The fault of an operation that says it in its own words; logged, and given back.
    const QSqlError& logged(const char* operation, const QSqlError& error) const;

    // Brings the tables to this version's layout inside the write's transaction and makes
    // the keys unique. A file that holds a key twice already keeps working without the unique
    // index; `repeatedKeys`, when given, then names those keys.
    QSqlError prepareForWriting(QStringList* repeatedKeys = nullptr);
    // An index on the test dates, made the first time a file is read by date (the query
    // grid's order, the trends), under the same pragmas as every write; a file that cannot be
    // written (or is busy) is read without it.
    void indexTestDates();

    bool hasColumn(const QString& table, const QString& column) const;
    // The clause that picks a key's rows of a table keyed by number and boiling state, with
    // its values in `binds`. In a table without the column yet, a number's rows take the
    // boiling state of its parameter row.
    QString keyClause(const QString& table, const TestKey& key, QVariantList& binds) const;
    // The kind's fields as this file can give them: those a file written before they were
    // added lacks read as NULL.
    QString readableColumns() const;

private:
    // The file could not be opened, and the log said so already.
    bool isOpenFault(const QSqlError& error) const;

    QString m_path;
    TestKind m_kind;
    QString m_name;
    bool m_open = false;
    QSqlError m_openError;
    bool m_inTransaction = false;
};

} // namespace q7rk
