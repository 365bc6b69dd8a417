#include "OdbcDiagnostics.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlResult>
#include <QVariant>
#include <sql.h>
#include <sqlext.h>

namespace q7rk::odbcDiagnostics {

namespace {

// Qt hands its ODBC handles out as a QVariant holding a SQLHANDLE (void*).
SQLHANDLE handleOf(const QVariant& v) {
    if (!v.isValid() || v.metaType() != QMetaType::fromType<void*>()) return SQL_NULL_HANDLE;
    return *static_cast<const SQLHANDLE*>(v.constData());
}

OdbcState firstRecord(SQLSMALLINT type, SQLHANDLE handle) {
    if (handle == SQL_NULL_HANDLE) return {};
    SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN r = SQLGetDiagRec(type, handle, 1, state, &native, nullptr, 0, &length);
    if (!SQL_SUCCEEDED(r)) return {};
    return {QString::fromLatin1(reinterpret_cast<const char*>(state)), int(native)};
}

} // namespace

OdbcState ofStatement(const QSqlQuery& query) {
    const QSqlResult* result = query.result();
    return result ? firstRecord(SQL_HANDLE_STMT, handleOf(result->handle())) : OdbcState{};
}

OdbcState ofConnection(const QSqlDatabase& db) {
    return db.driver() ? firstRecord(SQL_HANDLE_DBC, handleOf(db.driver()->handle())) : OdbcState{};
}

QString driverName(const QSqlDatabase& db) {
    const SQLHANDLE dbc = db.isOpen() ? handleOf(db.driver()->handle()) : SQL_NULL_HANDLE;
    if (dbc == SQL_NULL_HANDLE) return {};
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, &length))) return {};
    return QString::fromLatin1(reinterpret_cast<const char*>(name));
}

OdbcState ofLogin(const QString& connectText, int loginSeconds) {
    SQLHENV env = SQL_NULL_HANDLE;
    SQLHDBC dbc = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return {};
    OdbcState state;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(SQLULEN(loginSeconds)), 0);
        QByteArray text = connectText.toUtf8();
        const SQLRETURN r = SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                             SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        text.fill('\0'); // it may hold a password
        if (SQL_SUCCEEDED(r))
            SQLDisconnect(dbc);
        else
            state = firstRecord(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return state;
}

} // namespace q7rk::odbcDiagnostics
