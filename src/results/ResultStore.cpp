#include "ResultStore.h"

#include "results/ResultSchema.h"
#include "results/ResultTexts.h"
#include "results/SqlCondition.h"
#include "results/SqliteStatement.h"
#include "settings/NumberText.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStorageInfo>
#include <algorithm>
#include <atomic>
#include <cmath>

namespace q7rk {

namespace {

// A connection of its own for one operation, removed again when the operation ends.
class Connection {
public:
    explicit Connection(const QString& path) : m_name(uniqueName()) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
            db.setDatabaseName(path);
            // Another program holding the file for a moment is waited for; one holding it
            // longer makes the operation fail rather than hang the station.
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
            m_open = db.open();
            if (!m_open) m_openError = db.lastError();
        }
    }
    ~Connection() {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            if (db.isOpen()) {
                if (m_inTransaction) QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool isOpen() const { return m_open; }
    const QSqlError& openError() const { return m_openError; }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // The write lock is taken at the start, so a writer waits for another one up front
    // instead of failing halfway through.
    // A committed test survives a power cut: a rollback journal (deleted at commit) and a
    // full sync at every commit. Declared on each write rather than trusted to the defaults
    // of whatever last wrote the file.
    QSqlError begin() {
        QSqlQuery q(db());
        q.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        q.exec(QStringLiteral("PRAGMA synchronous=FULL"));
        m_inTransaction = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
        return q.lastError();
    }
    QSqlError commit() {
        QSqlQuery q(db());
        if (!q.exec(QStringLiteral("COMMIT"))) return q.lastError();
        m_inTransaction = false;
        return {};
    }
    void rollback() {
        if (m_inTransaction) QSqlQuery(db()).exec(QStringLiteral("ROLLBACK"));
        m_inTransaction = false;
    }

private:
    static QString uniqueName() {
        static std::atomic<quint64> counter{0};
        return QStringLiteral("q7rk-results-%1").arg(++counter);
    }

    QString m_name;
    bool m_open = false;
    QSqlError m_openError;
    bool m_inTransaction = false; // rolled back if the operation leaves without committing
};

// SQLite's primary result code of a failed statement.
int sqliteCode(const QSqlError& e) {
    return e.nativeErrorCode().toInt() & 0xff;
}
constexpr int SqlitePerm = 3, SqliteBusy = 5, SqliteLocked = 6, SqliteReadOnly = 8,
              SqliteIoErr = 10, SqliteCorrupt = 11, SqliteFull = 13, SqliteCantOpen = 14,
              SqliteConstraint = 19, SqliteAuth = 23, SqliteNotADb = 26;

resulttext::FileFault faultOf(const QSqlError& e, const QString& path) {
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

QString quoted(const char* identifier) {
    return QLatin1Char('"') + QString::fromUtf8(identifier) + QLatin1Char('"');
}

QString tableOf(TestKind kind) {
    return quoted(description(kind).tableName);
}

QString curveTable() {
    return quoted(CurveTableName);
}

QString testNumberField() {
    return quoted("测试编号");
}

QString columnList(TestKind kind) {
    QStringList cols;
    for (const FieldSpec& f : description(kind).fields)
        cols << quoted(f.name);
    return cols.join(QLatin1Char(','));
}

// The kind's fields as a file written before some were added can give them: those it lacks
// read as NULL (by name they would not be found, or be taken for a text).
QString readableColumns(QSqlDatabase db, TestKind kind) {
    const auto fields = description(kind).fields;
    if (std::none_of(fields.begin(), fields.end(), [](const FieldSpec& f) { return f.addedLater; }))
        return columnList(kind);
    QStringList present;
    QSqlQuery info(db);
    if (info.exec(QStringLiteral("PRAGMA table_info(%1)").arg(tableOf(kind))))
        while (info.next())
            present << info.value(1).toString();
    QStringList cols;
    for (const FieldSpec& f : fields)
        cols << (f.addedLater && !present.contains(QString::fromUtf8(f.name))
                     ? QStringLiteral("NULL")
                     : quoted(f.name));
    return cols.join(QLatin1Char(','));
}

QSqlError execError(QSqlDatabase db, const QString& sql) {
    QSqlQuery q(db);
    q.exec(sql);
    return q.lastError();
}

QString indexName(TestKind kind, const char* suffix) {
    return quoted((QByteArray(description(kind).tableName) + suffix).constData());
}

// A file written before a field was added gets it now, empty in its earlier rows.
QSqlError addLaterFields(QSqlDatabase db, TestKind kind) {
    QStringList present;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(tableOf(kind)))) return q.lastError();
    while (q.next())
        present << q.value(1).toString();
    for (const FieldSpec& f : description(kind).fields) {
        if (!f.addedLater || present.contains(QString::fromUtf8(f.name))) continue;
        const QString type =
            f.type == FieldType::Number ? QStringLiteral("REAL") : QStringLiteral("TEXT");
        if (const QSqlError e = execError(db, QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                                  .arg(tableOf(kind), quoted(f.name), type));
            e.isValid())
            return e;
    }
    return {};
}

QSqlError createSchema(QSqlDatabase db, TestKind kind) {
    QStringList cols;
    for (const FieldSpec& f : description(kind).fields)
        cols << quoted(f.name) + (f.type == FieldType::Number ? QStringLiteral(" REAL")
                                                              : QStringLiteral(" TEXT"));
    QSqlError e = execError(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                                    .arg(tableOf(kind), cols.join(QLatin1Char(','))));
    if (e.isValid()) return e;
    if (e = addLaterFields(db, kind); e.isValid()) return e;
    if (e = createConditionsTable(db); e.isValid()) return e;
    return execError(db, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 TEXT, \"vi_order\" "
                                        "INTEGER, \"电压\" REAL, \"电流\" REAL, PRIMARY KEY "
                                        "(%2, \"vi_order\")) WITHOUT ROWID")
                             .arg(curveTable(), testNumberField()));
}

// True when the file holds anything under the number, a parameter row or curve rows.
bool numberTaken(QSqlDatabase db, TestKind kind, const QString& number) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT EXISTS(SELECT 1 FROM %1 WHERE %3 = ?) OR "
                             "EXISTS(SELECT 1 FROM %2 WHERE %3 = ?)")
                  .arg(tableOf(kind), curveTable(), testNumberField()));
    q.addBindValue(number);
    q.addBindValue(number);
    return q.exec() && q.next() && q.value(0).toBool();
}

// The row's values as they go into the file; nullopt when one does not fit its field.
std::optional<QVariantList> boundValues(const StoredTest& test) {
    const auto fields = description(test.kind).fields;
    if (test.values.size() != qsizetype(fields.size())) return std::nullopt;
    QVariantList out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto v = storedValue(fields[i].type, test.values[qsizetype(i)]);
        if (!v) return std::nullopt;
        out << *v;
    }
    return out;
}

QStringList shownRow(TestKind kind, const QSqlQuery& q) {
    const auto fields = description(kind).fields;
    QStringList row;
    row.reserve(qsizetype(fields.size()));
    for (std::size_t i = 0; i < fields.size(); ++i)
        row << shownValue(fields[i].type, q.value(int(i)));
    return row;
}

// A stored sample; NaN for one that is no number (a file written by another program),
// rather than a zero that would pass for a reading.
double sampleValue(const QVariant& v) {
    bool ok = false;
    const double d = v.isNull() ? 0.0 : v.toDouble(&ok);
    return ok && std::isfinite(d) ? d : std::nan("");
}

// Samples are kept to the resolution they are shown with.
double toStep(double value, double perUnit) {
    return std::round(value * perUnit) / perUnit;
}

// One prepared insert, run once per sample on SQLite itself; the number is bound once.
QSqlError insertCurve(QSqlDatabase db, const StoredTest& test) {
    SqliteStatement insert(sqliteHandle(db),
                           QStringLiteral("INSERT INTO %1 VALUES (?,?,?,?)").arg(curveTable()));
    if (!insert.isValid()) return insert.error();
    const QByteArray number = test.testNumber().toUtf8();
    insert.bindText(1, number);
    qint64 order = 0;
    for (const CurvePoint& p : test.curve) {
        insert.bindInt(2, ++order);
        insert.bindDouble(3, toStep(p.volts, 10));
        insert.bindDouble(4, toStep(p.milliamperes, 1000));
        insert.next();
        if (!insert.done()) return insert.error();
        insert.reset();
    }
    return {};
}

// Writes a history line with the whole row for every parameter row of the number, before
// they go. False when the history cannot be written: then nothing is deleted.
bool keepRemovedRows(QSqlDatabase db, TestKind kind, const QString& number, AuditEntry entry) {
    if (createAuditTable(db).isValid()) return false;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                  .arg(readableColumns(db, kind), tableOf(kind), testNumberField()));
    q.addBindValue(number);
    if (!q.exec()) return false;
    entry.testNumber = number;
    entry.field = QString::fromUtf8(DeletionField);
    const int columns = int(description(kind).fields.size());
    while (q.next()) {
        QVariantList row;
        for (int i = 0; i < columns; ++i)
            row << q.value(i);
        if (addDeletionEntry(db, kind, entry, row).isValid()) return false;
    }
    return true;
}

} // namespace

QString ResultRows::text(int row, int column) const {
    return shownValue(fieldType(kind, column), value(row, column));
}

QStringList ResultRows::row(int r) const {
    QStringList out;
    out.reserve(header.size());
    for (int c = 0; c < int(header.size()); ++c)
        out << text(r, c);
    return out;
}

ResultStore::ResultStore(QString directory) : m_directory(std::move(directory)) {}

QString ResultStore::locateDbFile(TestKind kind) const {
    const QDir dir(m_directory.isEmpty() ? QDir::currentPath() : m_directory);
    return dir.absoluteFilePath(QString::fromUtf8(description(kind).fileName));
}

bool ResultStore::checkTestTable(TestKind kind, const QString& testNumber) const {
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return false;
    Connection c(path);
    return c.isOpen() && numberTaken(c.db(), kind, testNumber);
}

QString ResultStore::uniqueNumbers(const QSqlDatabase& db, TestKind kind, const QString& path) {
    const QString table = tableOf(kind);
    const QString plainIndex = indexName(kind, "_测试编号");
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                   .arg(indexName(kind, "_测试编号_唯一"), table, testNumberField()))) {
        execError(db, QStringLiteral("DROP INDEX IF EXISTS %1").arg(plainIndex));
        return {};
    }
    // Any other fault shows in the writes that follow.
    if (sqliteCode(q.lastError()) != SqliteConstraint) return {};
    // Searches by number stay quick while the file waits to be cleaned up.
    execError(db, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                      .arg(plainIndex, table, testNumberField()));
    if (m_duplicatesReported.contains(path)) return {};
    QStringList numbers;
    QSqlQuery dup(db);
    if (dup.exec(QStringLiteral("SELECT %1 FROM %2 GROUP BY %1 HAVING count(*) > 1 "
                                "ORDER BY min(rowid)")
                     .arg(testNumberField(), table))) {
        while (dup.next())
            numbers << dup.value(0).toString();
    }
    if (numbers.isEmpty()) return {};
    m_duplicatesReported << path;
    return resulttext::duplicateRows(path, numbers);
}

SaveOutcome ResultStore::save(const StoredTest& test) {
    const auto values = boundValues(test);
    if (!values) return {false, resulttext::saveFailed(), {}};
    const QString path = locateDbFile(test.kind);
    Connection c(path);
    SaveOutcome out;
    const auto fault = [&](const QSqlError& e) {
        out.message = resulttext::saveFault(path, faultOf(e, path), e.databaseText());
        return out;
    };
    if (!c.isOpen()) return fault(c.openError());
    if (const QSqlError e = c.begin(); e.isValid()) return fault(e);
    if (const QSqlError e = createSchema(c.db(), test.kind); e.isValid()) return fault(e);
    out.warning = uniqueNumbers(c.db(), test.kind, path);
    if (numberTaken(c.db(), test.kind, test.testNumber())) {
        out.message = resulttext::duplicateNumber(test.kind, test.testNumber());
        return out;
    }
    {
        QSqlQuery row(c.db());
        QStringList marks(values->size(), QStringLiteral("?"));
        row.prepare(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(tableOf(test.kind), columnList(test.kind), marks.join(QLatin1Char(','))));
        for (const QVariant& v : *values)
            row.addBindValue(v);
        if (!row.exec()) return fault(row.lastError());
        if (const QSqlError e = insertCurve(c.db(), test); e.isValid()) return fault(e);
        if (test.conditions)
            if (const QSqlError e = insertConditions(c.db(), test.testNumber(), *test.conditions);
                e.isValid())
                return fault(e);
    }
    if (const QSqlError e = c.commit(); e.isValid()) return fault(e);
    out.ok = true;
    return out;
}

std::optional<StoredTest> ResultStore::load(TestKind kind, const QString& testNumber) const {
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return std::nullopt;
    Connection c(path);
    if (!c.isOpen()) return std::nullopt;
    StoredTest test;
    test.kind = kind;
    {
        QSqlQuery q(c.db());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? ORDER BY rowid LIMIT 1")
                      .arg(readableColumns(c.db(), kind), tableOf(kind), testNumberField()));
        q.addBindValue(testNumber);
        if (!q.exec() || !q.next()) return std::nullopt;
        test.values = shownRow(kind, q);

        QSqlQuery curve(c.db());
        curve.setForwardOnly(true);
        curve.prepare(QStringLiteral("SELECT \"vi_order\", \"电压\", \"电流\" FROM %1 "
                                     "WHERE %2 = ? ORDER BY \"vi_order\"")
                          .arg(curveTable(), testNumberField()));
        curve.addBindValue(testNumber);
        if (!curve.exec()) return std::nullopt;
        while (curve.next()) {
            // A missing sample ends the curve: what follows would be drawn a second early.
            if (curve.value(0).toLongLong() != qlonglong(test.curve.size()) + 1) break;
            test.curve.push_back({sampleValue(curve.value(1)), sampleValue(curve.value(2))});
        }
    }
    test.conditions = readConditions(c.db(), testNumber);
    return test;
}

std::optional<RunConditions> ResultStore::conditions(TestKind kind,
                                                     const QString& testNumber) const {
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return std::nullopt;
    Connection c(path);
    return c.isOpen() ? readConditions(c.db(), testNumber) : std::nullopt;
}

ResultRows ResultStore::query(const QueryCondition& condition) const {
    ResultRows out = emptyRows(condition.kind);
    appendPage(condition, out, -1);
    return out;
}

ResultRows ResultStore::allRows(TestKind kind) const {
    return query({kind, {}, {}, {}, {}});
}

ResultRows ResultStore::emptyRows(TestKind kind) {
    ResultRows out;
    out.kind = kind;
    out.header = fieldNames(kind);
    out.message = resulttext::noMatch();
    return out;
}

bool ResultStore::appendPage(const QueryCondition& cond, ResultRows& rows, int limit) const {
    rows.atEnd = true;
    const auto where = sqlCondition(cond);
    const QString path = locateDbFile(cond.kind);
    if (!where || !QFileInfo::exists(path)) return false;
    Connection c(path);
    if (!c.isOpen()) return false;
    // Pages follow the row key, so each starts where the last ended without counting rows
    // again, and nothing is held open between pages.
    SqliteStatement q(sqliteHandle(c.db()),
                      QStringLiteral("SELECT rowid,%1 FROM %2 WHERE (%3) AND rowid > ? "
                                     "ORDER BY rowid LIMIT ?")
                          .arg(readableColumns(c.db(), cond.kind), tableOf(cond.kind), where->sql));
    int at = 0;
    for (const QVariant& v : where->binds)
        q.bind(++at, v);
    q.bindInt(++at, rows.lastRowid);
    q.bindInt(++at, limit);
    const int columns = int(rows.header.size());
    int read = 0;
    while (q.next()) {
        rows.lastRowid = q.integer(0);
        for (int i = 1; i <= columns; ++i)
            rows.cells.append(q.value(i));
        ++read;
    }
    if (!q.done()) return false;
    rows.atEnd = limit < 0 || read < limit;
    if (rows.count() > 0) rows.message.clear();
    return true;
}

std::optional<qint64> ResultStore::countMatches(const QueryCondition& cond) const {
    const auto where = sqlCondition(cond);
    const QString path = locateDbFile(cond.kind);
    if (!where || !QFileInfo::exists(path)) return 0;
    Connection c(path);
    if (!c.isOpen()) return std::nullopt;
    SqliteStatement q(
        sqliteHandle(c.db()),
        QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(tableOf(cond.kind), where->sql));
    int at = 0;
    for (const QVariant& v : where->binds)
        q.bind(++at, v);
    if (!q.next()) return std::nullopt;
    return q.integer(0);
}

ResultOutcome ResultStore::remove(TestKind kind, const QStringList& testNumbers) {
    if (testNumbers.isEmpty()) return {true, resulttext::deleted(), {}};
    QStringList failed;
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path))
        return {false, resulttext::deleteFailed(testNumbers.join(QStringLiteral("、"))), {}};
    Connection c(path);
    const QString warning = c.isOpen() ? uniqueNumbers(c.db(), kind, path) : QString();
    int rows = 0;
    const AuditEntry who = auditStart(kind, {});
    for (const QString& number : testNumbers) {
        bool done = false;
        if (c.isOpen() && !c.begin().isValid()) {
            QSqlQuery row(c.db());
            row.prepare(QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                            .arg(tableOf(kind), testNumberField()));
            row.addBindValue(number);
            QSqlQuery curve(c.db());
            curve.prepare(
                QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(curveTable(), testNumberField()));
            curve.addBindValue(number);
            // Curve rows without a parameter row would keep the number taken: they go too,
            // but the missing row is still reported.
            // Counted at once: the driver reports the connection's last statement.
            // The removed rows are kept in the history in the same transaction.
            const bool kept = keepRemovedRows(c.db(), kind, number, who);
            const int deleted = kept && row.exec() ? row.numRowsAffected() : -1;
            if (deleted >= 0 && curve.exec() && !deleteConditions(c.db(), number).isValid() &&
                !c.commit().isValid()) {
                done = deleted > 0;
                rows += deleted;
            } else {
                c.rollback();
            }
        }
        if (!done) failed << number;
    }
    if (!failed.isEmpty())
        return {false, resulttext::deleteFailed(failed.join(QStringLiteral("、"))), warning};
    // The count is told only when a number held more than one row.
    return {true, resulttext::deleted(rows > testNumbers.size() ? rows : 1), warning};
}

ResultOutcome ResultStore::correct(TestKind kind, const QString& testNumber, const QString& field,
                                   const QString& value) {
    return correct(kind, testNumber, QList<FieldChange>{{field, value}});
}

ResultOutcome ResultStore::correct(TestKind kind, const QString& testNumber,
                                   const QList<FieldChange>& changes) {
    const ResultOutcome failed{false, resulttext::operationFailed(), {}};
    struct Target {
        int index;
        QVariant value;
    };
    QList<Target> targets;
    for (const FieldChange& change : changes) {
        if (change.field.isEmpty()) return {false, resulttext::noCorrectionField()};
        if (change.value.isEmpty()) return {false, resulttext::noCorrectionValue()};
        if (!correctableFields(kind).contains(change.field)) return failed;
        const int index = fieldIndex(kind, change.field);
        if (index < 0) return failed;
        const auto stored = storedValue(fieldType(kind, index), change.value);
        if (!stored || stored->isNull()) return failed;
        targets.append({index, *stored});
    }
    if (targets.isEmpty()) return {false, resulttext::noCorrectionField()};

    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return failed;
    Connection c(path);
    if (!c.isOpen()) return failed;
    const QString warning = uniqueNumbers(c.db(), kind, path);
    if (c.begin().isValid() || createAuditTable(c.db()).isValid())
        return {false, failed.message, warning};
    int rows = 0;
    AuditEntry entry = auditStart(kind, testNumber);
    for (const Target& t : targets) {
        const FieldType type = fieldType(kind, t.index);
        entry.field = fieldNames(kind)[t.index];
        entry.newValue = shownValue(type, t.value);
        const QString where =
            QStringLiteral(" FROM %1 WHERE %2 = ?").arg(tableOf(kind), testNumberField());
        QSqlQuery old(c.db());
        old.prepare(QStringLiteral("SELECT %1").arg(quotedName(entry.field)) + where);
        old.addBindValue(testNumber);
        QStringList oldValues;
        if (!old.exec()) return {false, failed.message, warning};
        while (old.next())
            oldValues << shownValue(type, old.value(0));
        QSqlQuery q(c.db());
        q.prepare(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?")
                      .arg(tableOf(kind), quotedName(entry.field), testNumberField()));
        q.addBindValue(t.value);
        q.addBindValue(testNumber);
        // Every row of the number: the rows of one test must not come to disagree.
        if (!q.exec() || q.numRowsAffected() < 1) return {false, failed.message, warning};
        rows = q.numRowsAffected();
        for (const QString& before : oldValues) {
            entry.oldValue = before;
            if (addCorrectionEntry(c.db(), entry).isValid())
                return {false, failed.message, warning};
        }
    }
    if (c.commit().isValid()) return {false, failed.message, warning};
    return {true, resulttext::corrected(rows), warning};
}

AuditEntry ResultStore::auditStart(TestKind kind, const QString& testNumber) const {
    AuditEntry e;
    e.time = auditTime(QDateTime::currentDateTime());
    e.operatorName = m_operator ? m_operator(kind) : QString();
    e.testNumber = testNumber;
    return e;
}

QList<AuditEntry> ResultStore::history(TestKind kind, const QString& testNumber,
                                       QString* error) const {
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return {};
    Connection c(path);
    QString cause;
    const QList<AuditEntry> entries =
        c.isOpen() ? readHistory(c.db(), kind, testNumber, &cause) : QList<AuditEntry>{};
    if (!c.isOpen()) cause = c.openError().text();
    if (!cause.isEmpty() && error) *error = resulttext::unreadableFile(path, cause);
    return entries;
}

std::optional<QList<AuditEntry>> ResultStore::deletions(TestKind kind, const QString& from,
                                                        const QString& to, QString* error) const {
    const auto first = normaliseDate(from);
    const auto last = normaliseDate(to);
    if (!first || !last) return std::nullopt;
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return QList<AuditEntry>{};
    Connection c(path);
    QString cause;
    const QList<AuditEntry> entries =
        c.isOpen() ? readDeletions(c.db(), kind, *first, *last, &cause) : QList<AuditEntry>{};
    if (!c.isOpen()) cause = c.openError().text();
    if (!cause.isEmpty() && error) *error = resulttext::unreadableFile(path, cause);
    return entries;
}

} // namespace q7rk
