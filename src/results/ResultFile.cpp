#include "ResultFile.h"

#include "results/AuditLog.h"
#include "results/ResultSchema.h"
#include "results/ResultsLog.h"
#include "results/RunConditions.h"
#include "results/SqlCondition.h"
#include "results/SqliteStatement.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QStorageInfo>
#include <algorithm>
#include <atomic>
#include <functional>

namespace q7rk {

namespace {

QString uniqueName() {
    static std::atomic<quint64> counter{0};
    return QStringLiteral("q7rk-results-%1").arg(++counter);
}

// SQLite's primary result code of a failed statement.
int sqliteCode(const QSqlError& e) {
    return e.nativeErrorCode().toInt() & 0xff;
}
constexpr int SqlitePerm = 3, SqliteBusy = 5, SqliteLocked = 6, SqliteReadOnly = 8,
              SqliteIoErr = 10, SqliteCorrupt = 11, SqliteFull = 13, SqliteCantOpen = 14,
              SqliteConstraint = 19, SqliteAuth = 23, SqliteNotADb = 26;

QString curveTable() {
    return quotedName(CurveTableName);
}

QString testNumberField() {
    return quotedName("测试编号");
}

QSqlError execError(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    q.exec(sql);
    return q.lastError();
}

QString indexName(TestKind kind, const char* suffix) {
    return quotedName((QByteArray(description(kind).tableName) + suffix).constData());
}

QSqlError createCurveTable(const QSqlDatabase& db) {
    return execError(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 TEXT, %3 INTEGER NOT "
                                        "NULL DEFAULT 0, \"vi_order\" INTEGER, \"电压\" REAL, "
                                        "\"电流\" REAL, PRIMARY KEY (%2, %3, \"vi_order\")) "
                                        "WITHOUT ROWID")
                             .arg(curveTable(), testNumberField(), quotedName(BoilingColumn)));
}

QStringList columnsOf(const QSqlDatabase& db, const QString& table) {
    QStringList out;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT name FROM pragma_table_info(?)"));
    q.addBindValue(table);
    if (q.exec())
        while (q.next())
            out << q.value(0).toString();
    return out;
}

// A table of an older file keyed by the number alone is made again keyed by number and
// boiling state (`create` makes the new one), its rows copied with the boiling state of their
// number's parameter row. Part of the write's transaction: all of it or nothing. A table
// under the name that lacks a column of ours (other than `laterColumns`, added since) is
// someone else's: it is left alone and the write fails.
QSqlError keyByBoiling(const QSqlDatabase& db, TestKind kind, const char* tableName,
                       const std::function<QSqlError()>& create,
                       const QStringList& laterColumns = {}) {
    const QString name = QString::fromUtf8(tableName);
    const QStringList old = columnsOf(db, name);
    if (old.isEmpty() || old.contains(QString::fromUtf8(BoilingColumn))) return create();
    const QString moved = quotedName((QByteArray(tableName) + "_迁移").constData());
    if (QSqlError e = execError(
            db, QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(quotedName(tableName), moved));
        e.isValid())
        return e;
    if (QSqlError e = create(); e.isValid()) return e;
    for (const QString& c : columnsOf(db, name))
        if (!old.contains(c) && c != QString::fromUtf8(BoilingColumn) && !laterColumns.contains(c))
            return QSqlError(QString(),
                             QStringLiteral("表“%1”缺少列“%2”，不是本程序的表").arg(name, c),
                             QSqlError::StatementError);
    QStringList kept;
    for (const QString& c : old)
        kept << QLatin1Char('"') + c + QLatin1Char('"');
    const QString boiling =
        QStringLiteral("coalesce((SELECT %1 FROM %2 p WHERE p.%3 = o.%3 ORDER BY p.rowid "
                       "LIMIT 1), 0)")
            .arg(boilingOfRow(kind, QStringLiteral("p")), parameterTable(kind), testNumberField());
    QStringList picked;
    for (const QString& c : kept)
        picked << QStringLiteral("o.") + c;
    if (QSqlError e = execError(db, QStringLiteral("INSERT INTO %1 (%2,%3) SELECT %4,%5 FROM %6 o")
                                        .arg(quotedName(tableName), kept.join(QLatin1Char(',')),
                                             quotedName(BoilingColumn),
                                             picked.join(QLatin1Char(',')), boiling, moved));
        e.isValid())
        return e;
    return execError(db, QStringLiteral("DROP TABLE %1").arg(moved));
}

// The names of the columns the kind's parameter table has.
QStringList parameterColumns(const QSqlDatabase& db, TestKind kind, QSqlError* error = nullptr) {
    QStringList present;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(parameterTable(kind)))) {
        if (error) *error = q.lastError();
        return present;
    }
    while (q.next())
        present << q.value(1).toString();
    return present;
}

// A file written before a field was added gets it now, empty in its earlier rows.
QSqlError addLaterFields(const QSqlDatabase& db, TestKind kind) {
    QSqlError error;
    const QStringList present = parameterColumns(db, kind, &error);
    if (error.isValid()) return error;
    for (const FieldSpec& f : description(kind).fields) {
        if (!f.addedLater || present.contains(QString::fromUtf8(f.name))) continue;
        const QString type =
            f.type == FieldType::Number ? QStringLiteral("REAL") : QStringLiteral("TEXT");
        if (const QSqlError e =
                execError(db, QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                  .arg(parameterTable(kind), quotedName(f.name), type));
            e.isValid())
            return e;
    }
    return {};
}

QSqlError createSchema(const ResultFile& file) {
    const QSqlDatabase db = file.db();
    const TestKind kind = file.kind();
    QStringList cols;
    for (const FieldSpec& f : description(kind).fields)
        cols << quotedName(f.name) + (f.type == FieldType::Number ? QStringLiteral(" REAL")
                                                                  : QStringLiteral(" TEXT"));
    QSqlError e = execError(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                                    .arg(parameterTable(kind), cols.join(QLatin1Char(','))));
    if (e.isValid()) return e;
    if (e = addLaterFields(db, kind); e.isValid()) return e;
    if (e = keyByBoiling(db, kind, ConditionsTableName, [&] { return createConditionsTable(file); },
                         {QStringLiteral("迟到采样")});
        e.isValid())
        return e;
    if (e = keyByBoiling(db, kind, CurveTableName, [&] { return createCurveTable(db); });
        e.isValid())
        return e;
    return createAuditTable(file);
}

// The keys the parameter table holds more than once, in the order they first came.
QStringList repeatedKeysOf(const QSqlDatabase& db, TestKind kind) {
    QStringList keys;
    QSqlQuery dup(db);
    if (dup.exec(QStringLiteral("SELECT %1, %2 FROM %3 GROUP BY %1, %2 HAVING count(*) > 1 "
                                "ORDER BY min(rowid)")
                     .arg(testNumberField(), boilingOfRow(kind), parameterTable(kind)))) {
        while (dup.next())
            keys << shownKey({dup.value(0).toString(), dup.value(1).toBool()});
    }
    return keys;
}

// A committed test survives a power cut: a rollback journal (deleted at commit) and a full
// sync at every commit. Declared on each write rather than trusted to the defaults of
// whatever last wrote the file.
void setDurability(QSqlQuery& q, const QString& schema = {}) {
    const QString prefix = schema.isEmpty() ? QString() : schema + QLatin1Char('.');
    q.exec(QStringLiteral("PRAGMA %1journal_mode=DELETE").arg(prefix));
    q.exec(QStringLiteral("PRAGMA %1synchronous=FULL").arg(prefix));
}

} // namespace

ResultFile::ResultFile(QString path, TestKind kind)
    : m_path(std::move(path)), m_kind(kind), m_name(uniqueName()) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(m_path);
    // Another program holding the file for a moment is waited for; one holding it longer
    // makes the operation fail rather than hang the station.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    m_open = db.open();
    if (!m_open) {
        m_openError = db.lastError();
        qCWarning(resultsLog).noquote()
            << "cannot open" << m_path << "- SQLite" << m_openError.nativeErrorCode()
            << m_openError.text().simplified();
    }
}

ResultFile::~ResultFile() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen()) {
            if (m_inTransaction) QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase ResultFile::db() const {
    return QSqlDatabase::database(m_name, false);
}

sqlite3* ResultFile::handle() const {
    return sqliteHandle(db());
}

QSqlError ResultFile::readSchema() {
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("PRAGMA main.schema_version"))) return q.lastError();
    return {};
}

QSqlError ResultFile::attach(const QString& path, const QString& schema) {
    QSqlQuery q(db());
    q.prepare(QStringLiteral("ATTACH DATABASE ? AS %1").arg(schema));
    q.addBindValue(path);
    if (!q.exec()) return q.lastError();
    setDurability(q, schema);
    return {};
}

QSqlError ResultFile::begin() {
    QSqlQuery q(db());
    setDurability(q);
    m_inTransaction = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
    return q.lastError();
}

QSqlError ResultFile::commit() {
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("COMMIT"))) return q.lastError();
    m_inTransaction = false;
    return {};
}

void ResultFile::rollback() {
    if (m_inTransaction) QSqlQuery(db()).exec(QStringLiteral("ROLLBACK"));
    m_inTransaction = false;
}

resulttext::FileFault ResultFile::faultOf(const QSqlError& e, const QString& path) {
    using resulttext::FileFault;
    if (QFileInfo(path).isDir()) return FileFault::NotADatabase;
    switch (sqliteCode(e)) {
    case SqliteFull:
        return FileFault::DiskFull;
    case SqlitePerm:
    case SqliteReadOnly:
    case SqliteCantOpen:
    case SqliteAuth:
        return FileFault::ReadOnly;
    case SqliteCorrupt:
    case SqliteNotADb:
        return FileFault::NotADatabase;
    case SqliteBusy:
    case SqliteLocked:
        return FileFault::Locked;
    case SqliteIoErr:
        // Some file systems report a full disk as a plain write error.
        if (QStorageInfo(QFileInfo(path).absolutePath()).bytesAvailable() < (1 << 20))
            return FileFault::DiskFull;
        break;
    default:
        break;
    }
    return FileFault::Other;
}

bool ResultFile::isConstraint(const QSqlError& error) {
    return sqliteCode(error) == SqliteConstraint;
}

bool ResultFile::isOpenFault(const QSqlError& error) const {
    return !m_open && error.nativeErrorCode() == m_openError.nativeErrorCode() &&
           error.text() == m_openError.text();
}

QString ResultFile::saveFault(const QSqlError& error) const {
    if (isOpenFault(error))
        return resulttext::saveFault(m_path, faultOf(error, m_path), error.databaseText());
    return saveFault(error, m_path);
}

QString ResultFile::saveFault(const QSqlError& error, const QString& path) {
    qCWarning(resultsLog).noquote() << "cannot write" << path << "- SQLite"
                                    << error.nativeErrorCode() << error.text().simplified();
    return resulttext::saveFault(path, faultOf(error, path), error.databaseText());
}

const QSqlError& ResultFile::logged(const char* operation, const QSqlError& error) const {
    if (error.isValid() && !isOpenFault(error))
        qCWarning(resultsLog).noquote() << "cannot" << operation << "in" << m_path << "- SQLite"
                                        << error.nativeErrorCode() << error.text().simplified();
    return error;
}

QSqlError ResultFile::prepareForWriting(QStringList* repeatedKeys) {
    if (const QSqlError e = createSchema(*this); e.isValid()) return e;
    const QSqlDatabase base = db();
    const QString table = parameterTable(m_kind);
    const QString plainIndex = indexName(m_kind, "_测试编号");
    const QString key = QStringLiteral("%1, %2").arg(testNumberField(), boilingOfRow(m_kind));
    // A kind with the boiling marks keeps one test before and one after boiling per number;
    // the index of older versions held each number once.
    const bool byBoiling = description(m_kind).storesBoilingMarks;
    const QString unique = indexName(m_kind, byBoiling ? "_测试编号_水煮_唯一" : "_测试编号_唯一");
    QSqlQuery q(base);
    if (q.exec(QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                   .arg(unique, table, byBoiling ? key : testNumberField()))) {
        execError(base, QStringLiteral("DROP INDEX IF EXISTS %1").arg(plainIndex));
        if (byBoiling)
            execError(
                base,
                QStringLiteral("DROP INDEX IF EXISTS %1").arg(indexName(m_kind, "_测试编号_唯一")));
        return {};
    }
    // Any other fault shows in the writes that follow.
    if (!isConstraint(q.lastError())) return {};
    // Searches by number stay quick while the file waits to be cleaned up.
    execError(base, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                        .arg(plainIndex, table, testNumberField()));
    if (repeatedKeys) *repeatedKeys = repeatedKeysOf(base, m_kind);
    return {};
}

void ResultFile::indexTestDates() {
    const QString table = QString::fromUtf8(description(m_kind).tableName);
    const QString name = table + QStringLiteral("_") + QString::fromUtf8(TestDateField);
    SqliteStatement known(handle(), QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = "
                                                   "'index' AND name = ?"));
    known.bind(1, name);
    if (known.next()) return;
    // Not a fault: the file is read without the index.
    const auto without = [&](const QSqlError& e) {
        qCInfo(resultsLog).noquote()
            << "no date index in" << m_path << "-" << e.text().simplified();
        rollback();
    };
    if (const QSqlError e = begin(); e.isValid()) return without(e);
    {
        SqliteStatement create(handle(), QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                                             .arg(quotedName(name), quotedName(table),
                                                  quotedName(QString::fromUtf8(TestDateField))));
        create.next();
        if (!create.done()) return without(create.error());
    }
    if (const QSqlError e = commit(); e.isValid()) return without(e);
}

bool ResultFile::hasColumn(const QString& table, const QString& column) const {
    QSqlQuery q(db());
    q.prepare(QStringLiteral("SELECT 1 FROM pragma_table_info(?) WHERE name = ?"));
    q.addBindValue(table);
    q.addBindValue(column);
    return q.exec() && q.next();
}

QString ResultFile::keyClause(const QString& table, const TestKey& key, QVariantList& binds) const {
    binds << key.number << int(key.afterBoiling);
    if (!hasColumn(table, QString::fromUtf8(BoilingColumn))) {
        if (!description(m_kind).storesBoilingMarks)
            return QStringLiteral("\"测试编号\" = ? AND 0 = ?");
        return QStringLiteral(
                   "\"测试编号\" = ? AND coalesce((SELECT (p.\"%1\" IS 'True') FROM \"%2\" p "
                   "WHERE p.\"测试编号\" = \"%3\".\"测试编号\" ORDER BY p.rowid LIMIT 1), 0) = ?")
            .arg(QString::fromUtf8(BoilingColumn), QString::fromUtf8(description(m_kind).tableName),
                 table);
    }
    // A history line written before the column came has none: it belongs to the one test the
    // number then had, and shows with either.
    return QStringLiteral("\"测试编号\" = ? AND (\"%1\" IS NULL OR \"%1\" = ?)")
        .arg(QString::fromUtf8(BoilingColumn));
}

QString ResultFile::readableColumns() const {
    const auto fields = description(m_kind).fields;
    if (std::none_of(fields.begin(), fields.end(), [](const FieldSpec& f) { return f.addedLater; }))
        return columnList(m_kind);
    const QStringList present = parameterColumns(db(), m_kind);
    QStringList cols;
    for (const FieldSpec& f : fields)
        cols << (f.addedLater && !present.contains(QString::fromUtf8(f.name))
                     ? QStringLiteral("NULL")
                     : quotedName(f.name));
    return cols.join(QLatin1Char(','));
}

} // namespace q7rk
