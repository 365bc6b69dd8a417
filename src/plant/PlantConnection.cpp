#include "PlantConnection.h"

#include "plant/PlantTexts.h"

#include <QRandomGenerator>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace q7rk {

namespace {

const QString OdbcDriver = QStringLiteral("QODBC");

QString uniqueName() {
    static std::atomic<quint64> next{0};
    return QStringLiteral("q7rk-plant-%1").arg(++next);
}

// Qt's ODBC driver puts "DSN=" in front of a name itself, so the text goes without it.
QString odbcDatabaseName(const QString& connectText) {
    if (connectText.startsWith(QLatin1String("DSN="), Qt::CaseInsensitive))
        return connectText.mid(4);
    return connectText;
}

// Qt's ODBC driver sets these on the connection before it logs in. The login time-out covers
// a server that takes the connection and never answers as well (psqlODBC hands it to libpq as
// connect_timeout); drivers that do not know an attribute ignore it.
QString connectOptions(const PlantWaits& waits) {
    return QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%2")
        .arg(waits.loginSeconds)
        .arg(waits.statementSeconds);
}

QString detail(const QSqlError& error) {
    QString text = error.databaseText().trimmed();
    if (text.isEmpty()) text = error.driverText().trimmed();
    return text;
}

QString withDetail(const QString& message, const QSqlError& error) {
    const QString d = detail(error);
    return d.isEmpty() ? message : message + QStringLiteral("\n（") + d + QStringLiteral("）");
}

bool containsAny(const QString& text, std::initializer_list<const char*> words) {
    for (const char* w : words)
        if (text.contains(QLatin1String(w), Qt::CaseInsensitive)) return true;
    return false;
}

// Attempts of one transaction against other writers; each loser waits longer, and at
// random, so the same two do not meet again.
constexpr int MaxAttempts = 5;

void waitBeforeRetry(int attempt) {
    const int ms = int(QRandomGenerator::global()->bounded(10, 40)) * attempt;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The PostgreSQL ODBC driver shares state between connections while it connects and
// disconnects (a use after free seen with eight stations connecting at once): opening and
// closing are one thread at a time; the work on open connections runs in parallel.
std::mutex& connectionLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

QVariant nullNumber() {
    return QVariant(QMetaType::fromType<double>());
}

PlantConnection::PlantConnection(const PlantSource& source, PlantLogin login)
    : PlantConnection(source.connectString(login), source.dataSource(), source.waits()) {}

PlantConnection::PlantConnection(const QString& connectText, const QString& sourceName,
                                 PlantWaits waits)
    : m_name(uniqueName()), m_sourceName(sourceName), m_waits(waits) {
    if (!QSqlDatabase::isDriverAvailable(OdbcDriver)) return;
    m_db = QSqlDatabase::addDatabase(OdbcDriver, m_name);
    m_db.setDatabaseName(odbcDatabaseName(connectText));
    m_db.setConnectOptions(connectOptions(m_waits));
}

PlantConnection::~PlantConnection() {
    if (!m_db.isValid()) return;
    if (m_inTransaction) m_db.rollback();
    close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

void PlantConnection::close() {
    const std::lock_guard oneAtATime(connectionLock());
    m_db.close();
}

PlantStatus PlantConnection::open() {
    if (!m_db.isValid())
        return PlantStatus::failure(PlantFault::NoDriver, plantTexts::noQtDriver());
    if (m_db.isOpen()) return PlantStatus::success();
    m_sessionSerializable = false;
    {
        const std::lock_guard oneAtATime(connectionLock());
        if (!m_db.open()) return connectFault(m_db.lastError());
    }
    return limitStatements();
}

// Qt's ODBC driver sets no statement attributes, so ODBC's query time-out is out of reach,
// and psqlODBC ignores the connection time-out: PostgreSQL bounds the session's statements
// itself. SQLite's data source waits for a locked file for its own Timeout.
PlantStatus PlantConnection::limitStatements() {
    if (m_waits.statementSeconds <= 0 || m_db.driver()->dbmsType() != QSqlDriver::PostgreSQL)
        return PlantStatus::success();
    QSqlQuery q(m_db);
    if (q.exec(QStringLiteral("set statement_timeout = %1")
                   .arg(qint64(m_waits.statementSeconds) * 1000)))
        return PlantStatus::success();
    const PlantStatus s = statementFault(q.lastError());
    q = QSqlQuery();
    // Not kept open without its bound: the next open() tries again.
    close();
    return s;
}

PlantStatus PlantConnection::connectFault(const QSqlError& error) const {
    const QString text = error.databaseText() + QLatin1Char(' ') + error.driverText();
    // The driver manager's own words (unixODBC and the Windows one say the same).
    if (containsAny(text, {"Data source name not found", "IM002"}))
        return PlantStatus::failure(PlantFault::NoDataSource,
                                    withDetail(plantTexts::noDataSource(m_sourceName), error));
    if (containsAny(text, {"Can't open lib", "IM003", "Specified driver could not be loaded"}))
        return PlantStatus::failure(PlantFault::NoDriver,
                                    withDetail(plantTexts::noOdbcDriver(m_sourceName), error));
    if (containsAny(text, {"authentication", "role \"", "password", "Login failed", "28000"}))
        return PlantStatus::failure(PlantFault::LoginRefused,
                                    withDetail(plantTexts::loginRefused(), error));
    return PlantStatus::failure(PlantFault::ServerAway,
                                withDetail(plantTexts::serverAway(), error));
}

PlantStatus PlantConnection::statementFault(const QSqlError& error) const {
    const QString text = error.databaseText();
    // This Qt's ODBC driver passes the server's words but not its SQLSTATE (newer ones append
    // it): serialization failure 40001, deadlock 40P01, and a key that a concurrent writer
    // inserted first (23505, only possible between our delete and insert). SQLite reports
    // a lock held past its busy timeout.
    if (containsAny(text, {"could not serialize access", "deadlock detected",
                           "duplicate key value violates unique constraint", "40001", "40P01",
                           "23505", "database is locked", "无法串行访问", "检测到死锁"}))
        return PlantStatus::failure(PlantFault::Conflict,
                                    withDetail(plantTexts::writeConflict(), error));
    // PostgreSQL's statement_timeout (57014): a busy or stuck server, worth a later retry.
    if (containsAny(text, {"canceling statement due to statement timeout", "57014"}))
        return PlantStatus::failure(
            PlantFault::ServerAway,
            withDetail(plantTexts::noAnswer(m_waits.statementSeconds), error));
    if (containsAny(text, {"connection dead", "server closed the connection", "no connection",
                           "connection lost", "connection has been lost", "terminating connection",
                           "08S01", "could not send", "disk I/O error", "unable to open database"}))
        return PlantStatus::failure(PlantFault::ServerAway,
                                    withDetail(plantTexts::connectionLost(), error));
    return PlantStatus::failure(PlantFault::Rejected,
                                withDetail(plantTexts::statementRejected(), error));
}

QString PlantConnection::quoted(const QString& column) const {
    if (!m_db.isValid() || !m_db.driver()) return column;
    return m_db.driver()->escapeIdentifier(column, QSqlDriver::FieldName);
}

PlantStatus PlantConnection::exec(const QString& sql, const QVariantList& values) {
    return execCounted(sql, values).status;
}

PlantReply<int> PlantConnection::execCounted(const QString& sql, const QVariantList& values) {
    using Reply = PlantReply<int>;
    if (PlantStatus s = open(); !s.ok()) return Reply::failed(s);
    QSqlQuery q(m_db);
    if (!q.prepare(sql)) return Reply::failed(statementFault(q.lastError()));
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) return Reply::failed(statementFault(q.lastError()));
    return {q.numRowsAffected(), {}};
}

PlantReply<PlantRecordset> PlantConnection::select(const QString& sql, const QVariantList& values) {
    using Reply = PlantReply<PlantRecordset>;
    if (PlantStatus s = open(); !s.ok()) return Reply::failed(s);
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) return Reply::failed(statementFault(q.lastError()));
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) return Reply::failed(statementFault(q.lastError()));
    std::vector<QVariantList> rows;
    const int fields = q.record().count();
    while (q.next()) {
        QVariantList row;
        row.reserve(fields);
        for (int i = 0; i < fields; ++i)
            row.append(q.value(i));
        rows.push_back(std::move(row));
    }
    if (q.lastError().isValid()) return Reply::failed(statementFault(q.lastError()));
    return {PlantRecordset(std::move(rows)), {}};
}

PlantReply<QStringList> PlantConnection::columnNames(const QString& table) {
    const auto record = columns(table);
    if (!record.ok()) return PlantReply<QStringList>::failed(record.status);
    QStringList names;
    for (int i = 0; i < record.value.count(); ++i)
        names << record.value.fieldName(i);
    return {names, {}};
}

PlantReply<QSqlRecord> PlantConnection::columns(const QString& table) {
    using Reply = PlantReply<QSqlRecord>;
    if (PlantStatus s = open(); !s.ok()) return Reply::failed(s);
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("select * from %1 where 1=0").arg(table)))
        return Reply::failed(statementFault(q.lastError()));
    return {q.record(), {}};
}

PlantStatus PlantConnection::begin() {
    if (PlantStatus s = open(); !s.ok()) return s;
    if (!m_db.transaction()) return statementFault(m_db.lastError());
    m_inTransaction = true;
    return PlantStatus::success();
}

PlantStatus PlantConnection::beginSerializable() {
    if (PlantStatus s = open(); !s.ok()) return s;
    // For the session, before the transaction: inside it the PostgreSQL driver wraps every
    // statement in a savepoint, where the isolation level can no longer be set.
    if (!m_sessionSerializable && m_db.driver()->dbmsType() == QSqlDriver::PostgreSQL) {
        if (PlantStatus s = exec(QStringLiteral(
                "set session characteristics as transaction isolation level serializable"));
            !s.ok())
            return s;
        m_sessionSerializable = true;
    }
    return begin();
}

PlantStatus PlantConnection::serializable(const std::function<PlantStatus()>& work) {
    PlantStatus done;
    for (int attempt = 1; attempt <= MaxAttempts; ++attempt) {
        done = beginSerializable();
        if (done.ok()) done = work();
        if (done.ok()) done = commit();
        if (done.ok()) break;
        // A connection that is kept must not stay inside a failed transaction.
        rollback();
        if (done.fault != PlantFault::Conflict) break;
        if (attempt < MaxAttempts) waitBeforeRetry(attempt);
    }
    return done;
}

PlantStatus PlantConnection::commit() {
    if (!m_inTransaction) return PlantStatus::success();
    m_inTransaction = false;
    if (m_db.commit()) return PlantStatus::success();
    const PlantStatus s = statementFault(m_db.lastError());
    m_db.rollback();
    return s;
}

void PlantConnection::rollback() {
    if (!m_inTransaction) return;
    m_inTransaction = false;
    m_db.rollback();
}

} // namespace q7rk
