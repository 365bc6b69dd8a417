#pragma once

#include <QString>

class QSqlDatabase;
class QSqlQuery;

namespace q7rk {

// What the ODBC driver said about its last failure: the SQLSTATE and the driver's own code
// of the first diagnostic record. Qt 6.4's ODBC driver passes only the driver's code and
// words on (QSqlError::nativeErrorCode() is psqlODBC's 1 or 101, SQLite's result code), so
// the state is read from the handles Qt keeps; a handle's records stay until its next call.
struct OdbcState {
    QString sqlState; // five characters; empty when the driver said nothing
    int native = 0;

    bool present() const { return !sqlState.isEmpty(); }
    bool inClass(const char* twoCharacters) const {
        return sqlState.startsWith(QLatin1String(twoCharacters));
    }
};

namespace odbcDiagnostics {

// After a failed exec, prepare or fetch of `query`.
OdbcState ofStatement(const QSqlQuery& query);
// After a failed begin or commit on `db`.
OdbcState ofConnection(const QSqlDatabase& db);
// The driver library's name ("psqlodbcw.so", "sqlite3odbc.so"); empty when not open.
QString driverName(const QSqlDatabase& db);

// Qt's driver drops the connection handle, and its records, when the login fails: the
// state comes from a second attempt with the same text. Empty state when that one gets in.
OdbcState ofLogin(const QString& connectText, int loginSeconds);

} // namespace odbcDiagnostics
} // namespace q7rk
