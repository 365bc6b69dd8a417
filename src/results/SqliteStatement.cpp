#include "SqliteStatement.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <sqlite3.h>

namespace q7rk {

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3* const*>(v.constData());
}

SqliteStatement::SqliteStatement(sqlite3* db, const QString& sql) : m_db(db) {
    if (!m_db) return;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_stmt, nullptr) != SQLITE_OK)
        m_stmt = nullptr;
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_stmt);
}

QSqlError SqliteStatement::error() const {
    if (!m_db)
        return QSqlError(QStringLiteral("no SQLite connection"), {}, QSqlError::ConnectionError);
    return QSqlError(QString::fromUtf8(sqlite3_errmsg(m_db)), {}, QSqlError::StatementError,
                     QString::number(sqlite3_extended_errcode(m_db)));
}

void SqliteStatement::bind(int position, const QVariant& value) {
    if (value.isNull()) {
        sqlite3_bind_null(m_stmt, position);
    } else if (value.typeId() == QMetaType::Double) {
        bindDouble(position, value.toDouble());
    } else if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int) {
        bindInt(position, value.toLongLong());
    } else {
        const QByteArray utf8 = value.toString().toUtf8();
        sqlite3_bind_text(m_stmt, position, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
}

void SqliteStatement::bindText(int position, const QByteArray& utf8) {
    sqlite3_bind_text(m_stmt, position, utf8.constData(), int(utf8.size()), SQLITE_STATIC);
}

void SqliteStatement::bindInt(int position, qint64 value) {
    sqlite3_bind_int64(m_stmt, position, value);
}

void SqliteStatement::bindDouble(int position, double value) {
    sqlite3_bind_double(m_stmt, position, value);
}

bool SqliteStatement::next() {
    if (!m_stmt || m_done || m_failed) return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    m_done = rc == SQLITE_DONE;
    m_failed = !m_done;
    return false;
}

void SqliteStatement::reset() {
    if (m_stmt) sqlite3_reset(m_stmt);
    m_done = m_failed = false;
}

int SqliteStatement::columnCount() const {
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

QVariant SqliteStatement::value(int column) const {
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_stmt, column);
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(m_stmt, column));
    case SQLITE_NULL:
        return {};
    default: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column));
    }
    }
}

qint64 SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

} // namespace q7rk
