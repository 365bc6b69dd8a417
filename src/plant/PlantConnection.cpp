#include "PlantConnection.h"

#include "plant/PlantLog.h"
#include "plant/PlantTexts.h"
#include "plant/PostgresPing.h"

#include <QElapsedTimer>
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
    : m_name(uniqueName()), m_connectText(connectText), m_sourceName(sourceName), m_waits(waits) {
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
        QElapsedTimer took;
        took.start();
        std::unique_lock oneAtATime(connectionLock());
        if (!m_db.open()) {
            oneAtATime.unlock();
            const PlantStatus fault = connectFault(m_db.lastError(), took.elapsed());
            // The data source by its name only: the connection text may hold a password.
            qCInfo(plantLog).noquote()
                << "cannot connect to data source" << m_sourceName << "after" << took.elapsed()
                << "ms:" << faultName(fault.fault) << "-" << detail(m_db.lastError()).simplified();
            return fault;
        }
        qCDebug(plantLog).noquote()
            << "connected to data source" << m_sourceName << "in" << took.elapsed() << "ms";
    }
    m_onSqlite =
        odbcDiagnostics::driverName(m_db).contains(QLatin1String("sqlite"), Qt::CaseInsensitive);
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
    const PlantStatus s = statementFault(q);
    q = QSqlQuery();
    // Not kept open without its bound: the next open() tries again.
    close();
    return s;
}

// Qt's driver drops the handle of a failed login with its records, so the state comes from a
// second attempt; one that used up the whole login wait is not repeated: nobody answered.
PlantStatus PlantConnection::connectFault(const QSqlError& error, qint64 tookMs) const {
    if (m_waits.loginSeconds > 0 && tookMs >= qint64(m_waits.loginSeconds) * 1000)
        return PlantStatus::failure(PlantFault::ServerAway,
                                    withDetail(plantTexts::serverAway(), error));
    return loginFault(error);
}

PlantStatus PlantConnection::loginFault(const QSqlError& error) const {
    const OdbcState state = [&] {
        const std::lock_guard oneAtATime(connectionLock());
        return odbcDiagnostics::ofLogin(m_connectText, m_waits.loginSeconds);
    }();
    const auto fail = [&](PlantFault fault, const QString& message) {
        return PlantStatus::failure(fault, withDetail(message, error));
    };
    if (state.sqlState == QLatin1String("IM002"))
        return fail(PlantFault::NoDataSource, plantTexts::noDataSource(m_sourceName));
    // unixODBC reports a driver library it cannot load as the warning 01000 alone, with no
    // code of a driver (0); the standard's code is IM003.
    if (state.sqlState == QLatin1String("IM003") ||
        (state.sqlState == QLatin1String("01000") && state.native == 0))
        return fail(PlantFault::NoDriver, plantTexts::noOdbcDriver(m_sourceName));
    if (state.inClass("28")) return fail(PlantFault::LoginRefused, plantTexts::loginRefused());
    // psqlODBC says 08001 for every login that failed, refused or not reached.
    if (state.sqlState == QLatin1String("08001") &&
        postgresAnswers(OdbcSources::connectKeys(m_connectText), m_waits.loginSeconds))
        return fail(PlantFault::LoginRefused, plantTexts::loginRefused());
    // 08xxx, a file the SQLite driver cannot open (HY000), or the second attempt got in.
    return fail(PlantFault::ServerAway, plantTexts::serverAway());
}

PlantStatus PlantConnection::statementFault(const QSqlQuery& query) const {
    return statementFault(query.lastError(), odbcDiagnostics::ofStatement(query));
}

PlantStatus PlantConnection::connectionFault() const {
    return statementFault(m_db.lastError(), odbcDiagnostics::ofConnection(m_db));
}

PlantStatus PlantConnection::statementFault(const QSqlError& error, const OdbcState& state) const {
    const auto fail = [&](PlantFault fault, const QString& message) {
        qCInfo(plantLog).noquote()
            << "statement on" << m_sourceName << "failed:" << faultName(fault) << "SQLSTATE"
            << state.sqlState << "native" << state.native << "-" << detail(error).simplified();
        return PlantStatus::failure(fault, withDetail(message, error));
    };
    const QString& code = state.sqlState;
    if (m_onSqlite) {
        // The SQLite ODBC driver says HY000 to everything; its code is SQLite's result code.
        switch (state.native) {
        case 5: // SQLITE_BUSY: another writer held the file past the data source's Timeout
        case 6: // SQLITE_LOCKED
            return fail(PlantFault::Conflict, plantTexts::writeConflict());
        case 10: // SQLITE_IOERR
        case 14: // SQLITE_CANTOPEN: the file went away
            return fail(PlantFault::ServerAway, plantTexts::connectionLost());
        default:
            return fail(PlantFault::Rejected, plantTexts::statementRejected());
        }
    }
    // Serialization failure, deadlock, and a key that a concurrent writer inserted first
    // (only possible between our delete and insert): the work is started over.
    if (code == QLatin1String("40001") || code == QLatin1String("40P01") ||
        code == QLatin1String("23505"))
        return fail(PlantFault::Conflict, plantTexts::writeConflict());
    // PostgreSQL's statement_timeout: a busy or stuck server, worth a later retry.
    if (code == QLatin1String("57014"))
        return fail(PlantFault::ServerAway, plantTexts::noAnswer(m_waits.statementSeconds));
    // The link broke (08xxx), or the server ended the session: shut down (57P01, 57P02),
    // or not taking connections (57P03).
    if (state.inClass("08") || code.startsWith(QLatin1String("57P")))
        return fail(PlantFault::ServerAway, plantTexts::connectionLost());
    if (state.inClass("28")) return fail(PlantFault::LoginRefused, plantTexts::loginRefused());
    // Syntax, a missing table or column (42xxx), a bad value: the statement is refused.
    return fail(PlantFault::Rejected, plantTexts::statementRejected());
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
    if (!q.prepare(sql)) return Reply::failed(statementFault(q));
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) return Reply::failed(statementFault(q));
    return {q.numRowsAffected(), {}};
}

PlantReply<PlantRecordset> PlantConnection::select(const QString& sql, const QVariantList& values) {
    std::vector<QVariantList> rows;
    const PlantStatus s = eachRow(sql, values, [&rows](const QSqlQuery& q) {
        QVariantList row;
        const int fields = q.record().count();
        row.reserve(fields);
        for (int i = 0; i < fields; ++i)
            row.append(q.value(i));
        rows.push_back(std::move(row));
        return true;
    });
    if (!s.ok()) return PlantReply<PlantRecordset>::failed(s);
    return {PlantRecordset(std::move(rows)), {}};
}

PlantStatus PlantConnection::eachRow(const QString& sql, const QVariantList& values,
                                     const std::function<bool(const QSqlQuery&)>& row) {
    if (PlantStatus s = open(); !s.ok()) return s;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) return statementFault(q);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) return statementFault(q);
    while (q.next())
        if (!row(q))
            return PlantStatus::failure(PlantFault::Cancelled, plantTexts::readCancelled());
    if (q.lastError().isValid()) return statementFault(q);
    return PlantStatus::success();
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
        return Reply::failed(statementFault(q));
    return {q.record(), {}};
}

PlantStatus PlantConnection::begin() {
    if (PlantStatus s = open(); !s.ok()) return s;
    if (!m_db.transaction()) return connectionFault();
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
        qCDebug(plantLog) << "write conflict on attempt" << attempt << "of" << MaxAttempts;
        if (attempt < MaxAttempts) waitBeforeRetry(attempt);
    }
    return done;
}

PlantStatus PlantConnection::commit() {
    if (!m_inTransaction) return PlantStatus::success();
    m_inTransaction = false;
    if (m_db.commit()) return PlantStatus::success();
    const PlantStatus s = connectionFault();
    m_db.rollback();
    return s;
}

void PlantConnection::rollback() {
    if (!m_inTransaction) return;
    m_inTransaction = false;
    m_db.rollback();
}

} // namespace q7rk
