#pragma once

#include <QSqlError>
#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;
class QSqlDatabase;

namespace q7rk {

// The SQLite handle under a Qt connection, or null for any other driver.
sqlite3* sqliteHandle(const QSqlDatabase& db);

// A statement on SQLite itself, for the two paths that move thousands of rows (the curve of
// a save, the rows of a search): the Qt driver copies every value into a variant and keys
// every bound value by a generated name, which costs more than the file work. Values are
// bound and read by position.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const QString& sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool isValid() const { return m_stmt != nullptr; }
    // The last fault of the connection, as the Qt driver reports one (native code, text).
    QSqlError error() const;

    // Positions count from 1, as in SQL. A text is copied into the statement.
    void bind(int position, const QVariant& value);
    void bindText(int position, const QByteArray& utf8); // kept by the caller until done
    void bindInt(int position, qint64 value);
    void bindDouble(int position, double value);

    // One step: true while a row is there; done() tells whether the statement ran to the end
    // or failed.
    bool next();
    bool done() const { return m_done; }
    // Ready to run again with the same bound values.
    void reset();

    int columnCount() const;
    // A column as SQLite holds it: a number (double or integer), a text, or null.
    QVariant value(int column) const;
    qint64 integer(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    bool m_done = false;
    bool m_failed = false; // the fault stays readable through error() until reset
};

} // namespace q7rk
