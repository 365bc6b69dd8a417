#include "ResultStore.h"

#include "results/ResultFile.h"
#include "results/ResultSchema.h"
#include "results/ResultTexts.h"
#include "results/ResultsLog.h"
#include "results/SqlCondition.h"
#include "results/SqliteStatement.h"
#include "settings/NumberText.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace q7rk {

namespace {

QString curveTable() {
    return quotedName(CurveTableName);
}

QString testNumberField() {
    return quotedName("测试编号");
}

// True when the file holds anything under the key, a parameter row or curve rows.
bool keyTaken(const ResultFile& file, const TestKey& key) {
    const TestKind kind = file.kind();
    QVariantList binds;
    const QString rows = rowKeyClause(kind, key, binds);
    const QString curve = file.keyClause(QString::fromUtf8(CurveTableName), key, binds);
    QSqlQuery q(file.db());
    q.prepare(QStringLiteral("SELECT EXISTS(SELECT 1 FROM %1 WHERE %3) OR "
                             "EXISTS(SELECT 1 FROM %2 WHERE %4)")
                  .arg(parameterTable(kind), curveTable(), rows, curve));
    for (const QVariant& v : binds)
        q.addBindValue(v);
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

// Writes curves through prepared inserts on SQLite itself, each taking up to 64 samples, so
// that SQLite's work per statement is not paid per sample. The statements are prepared once
// per length and kept for the next curve of the same transaction.
class CurveWriter {
public:
    explicit CurveWriter(const ResultFile& file) : m_handle(file.handle()) {}

    QSqlError write(const TestKey& key, const std::vector<CurvePoint>& curve) {
        const QByteArray number = key.number.toUtf8();
        for (std::size_t at = 0; at < curve.size();) {
            const std::size_t n = std::min(SamplesPerInsert, curve.size() - at);
            SqliteStatement& insert = statementFor(n);
            if (!insert.isValid()) return insert.error();
            insert.bindText(1, number);
            insert.bindInt(2, key.afterBoiling ? 1 : 0);
            for (std::size_t i = 0; i < n; ++i) {
                const CurvePoint& p = curve[at + i];
                const int first = int(3 * i + 3);
                insert.bindInt(first, qint64(at + i + 1));
                insert.bindDouble(first + 1, toStep(p.volts, 10));
                insert.bindDouble(first + 2, toStep(p.milliamperes, 1000));
            }
            insert.next();
            if (!insert.done()) return insert.error();
            insert.reset();
            at += n;
        }
        return {};
    }

private:
    static constexpr std::size_t SamplesPerInsert = 64;

    // ?1 the number, ?2 the boiling state, then three values per sample.
    SqliteStatement& statementFor(std::size_t samples) {
        auto& kept = m_statements[samples - 1];
        if (kept) return *kept;
        QStringList rows;
        for (std::size_t i = 0; i < samples; ++i)
            rows << QStringLiteral("(?1,?2,?%1,?%2,?%3)")
                        .arg(3 * i + 3)
                        .arg(3 * i + 4)
                        .arg(3 * i + 5);
        kept = std::make_unique<SqliteStatement>(
            m_handle,
            QStringLiteral("INSERT INTO %1 (%2,%3,\"vi_order\",\"电压\",\"电流\") VALUES %4")
                .arg(curveTable(), testNumberField(), quotedName(BoilingColumn),
                     rows.join(QLatin1Char(','))));
        return *kept;
    }

    sqlite3* m_handle;
    std::array<std::unique_ptr<SqliteStatement>, SamplesPerInsert> m_statements;
};

QSqlError insertCurve(const ResultFile& file, const TestKey& key,
                      const std::vector<CurvePoint>& curve) {
    return CurveWriter(file).write(key, curve);
}

// The curve of a test, sample 1 first; it ends before the first missing sample, which would
// otherwise be drawn a second early. nullopt when the rows cannot be read.
std::optional<std::vector<CurvePoint>> readCurve(const ResultFile& file, const TestKey& key) {
    QVariantList binds;
    const QString where = file.keyClause(QString::fromUtf8(CurveTableName), key, binds);
    QSqlQuery curve(file.db());
    curve.setForwardOnly(true);
    curve.prepare(QStringLiteral("SELECT \"vi_order\", \"电压\", \"电流\" FROM %1 "
                                 "WHERE %2 ORDER BY \"vi_order\"")
                      .arg(curveTable(), where));
    for (const QVariant& v : binds)
        curve.addBindValue(v);
    if (!curve.exec()) return std::nullopt;
    std::vector<CurvePoint> out;
    while (curve.next()) {
        if (curve.value(0).toLongLong() != qlonglong(out.size()) + 1) break;
        out.push_back({sampleValue(curve.value(1)), sampleValue(curve.value(2))});
    }
    return out;
}

// Writes tests of one kind inside the caller's transaction: the parameter row (its values as
// they go into the file), the curve and the conditions. The inserts are prepared once for all
// the tests of the transaction.
class TestWriter {
public:
    explicit TestWriter(const ResultFile& file)
        : m_row(file.db()), m_curves(file), m_conditions(file) {
        const TestKind kind = file.kind();
        QStringList marks(qsizetype(description(kind).fields.size()), QStringLiteral("?"));
        m_row.prepare(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(parameterTable(kind), columnList(kind), marks.join(QLatin1Char(','))));
    }

    QSqlError write(const StoredTest& test, const QVariantList& values) {
        for (qsizetype i = 0; i < values.size(); ++i)
            m_row.bindValue(int(i), values[i]);
        if (!m_row.exec()) return m_row.lastError();
        const TestKey key = test.key();
        if (const QSqlError e = m_curves.write(key, test.curve); e.isValid()) return e;
        if (test.conditions) return m_conditions.write(key, *test.conditions);
        return {};
    }

private:
    QSqlQuery m_row;
    CurveWriter m_curves;
    ConditionsWriter m_conditions;
};

// Adds to `taken` the keys among `tests` that the file holds already (a parameter row or
// curve rows), by one look per table for up to 250 numbers; the file has this version's layout.
QSqlError takenAmong(const ResultFile& file, std::span<const StoredTest> tests,
                     QSet<QString>& taken) {
    const TestKind kind = file.kind();
    constexpr std::size_t PerLook = 250;
    for (std::size_t from = 0; from < tests.size(); from += PerLook) {
        const std::size_t n = std::min(PerLook, tests.size() - from);
        const QString marks = QStringList(qsizetype(n), QStringLiteral("?")).join(QLatin1Char(','));
        QSqlQuery q(file.db());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 IN (%4) UNION "
                                 "SELECT %1, %5 FROM %6 WHERE %1 IN (%4)")
                      .arg(testNumberField(), boilingOfRow(kind), parameterTable(kind), marks,
                           quotedName(BoilingColumn), curveTable()));
        for (int twice = 0; twice < 2; ++twice)
            for (std::size_t i = 0; i < n; ++i)
                q.addBindValue(tests[from + i].testNumber());
        if (!q.exec()) return q.lastError();
        while (q.next())
            taken.insert(shownKey({q.value(0).toString(), q.value(1).toInt() != 0}));
    }
    return {};
}

// Writes a history line with the whole test (row, curve, conditions) for every parameter row
// of the key, before they go. False when the history cannot be written: then nothing is
// deleted.
bool keepRemovedTest(const ResultFile& file, const TestKey& key, AuditEntry entry) {
    const TestKind kind = file.kind();
    QVariantList binds;
    const QString where = rowKeyClause(kind, key, binds);
    QSqlQuery q(file.db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                  .arg(file.readableColumns(), parameterTable(kind), where));
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec()) return false;
    const auto curve = readCurve(file, key);
    if (!curve) return false;
    RemovedTest removed;
    removed.curveJson =
        QString::fromUtf8(QJsonDocument(curveToJson(*curve)).toJson(QJsonDocument::Compact));
    if (const auto conditions = readConditions(file, key))
        removed.conditionsJson = QString::fromUtf8(
            QJsonDocument(conditionsToJson(*conditions)).toJson(QJsonDocument::Compact));
    entry.testNumber = key.number;
    entry.afterBoiling = key.afterBoiling;
    entry.field = QString::fromUtf8(DeletionField);
    const int columns = int(description(kind).fields.size());
    while (q.next()) {
        removed.row.clear();
        for (int i = 0; i < columns; ++i)
            removed.row << q.value(i);
        if (addDeletionEntry(file, entry, removed).isValid()) return false;
    }
    return true;
}

// A test whose boiling mark was corrected takes its curve, conditions and history along to
// its new key. False when the other key already holds any of them.
bool moveKey(const ResultFile& file, const TestKey& from, const TestKey& to) {
    for (const char* table : {CurveTableName, ConditionsTableName, AuditTableName}) {
        const QString name = QString::fromUtf8(table);
        if (!file.hasColumn(name, QString::fromUtf8(BoilingColumn))) continue;
        QSqlQuery q(file.db());
        q.prepare(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ? AND %2 = ?%4")
                      .arg(quotedName(table), quotedName(BoilingColumn), testNumberField(),
                           name == QString::fromUtf8(AuditTableName)
                               ? QStringLiteral(" AND \"字段\" <> '%1'")
                                     .arg(QString::fromUtf8(DeletionField))
                               : QString()));
        q.addBindValue(int(to.afterBoiling));
        q.addBindValue(from.number);
        q.addBindValue(int(from.afterBoiling));
        if (!q.exec()) return false;
    }
    return true;
}

} // namespace

QString ResultRows::text(int row, int column) const {
    return shownValue(fieldType(kind, column), value(row, column));
}

TestKey ResultRows::key(int r) const {
    const int boiling = fieldIndex(kind, QString::fromUtf8(BoilingColumn));
    return {text(r, 0), description(kind).storesBoilingMarks && boiling >= 0 &&
                            parseBool(text(r, boiling)).value_or(false)};
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

bool ResultStore::checkTestTable(TestKind kind, const TestKey& key) const {
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return false;
    ResultFile c(path, kind);
    return c.isOpen() && keyTaken(c, key);
}

QString ResultStore::prepareForWriting(ResultFile& file, QSqlError* error) {
    const bool told = m_duplicatesReported.contains(file.path());
    QStringList repeated;
    *error = file.prepareForWriting(told ? nullptr : &repeated);
    if (error->isValid() || repeated.isEmpty()) return {};
    m_duplicatesReported << file.path();
    qCWarning(resultsLog).noquote()
        << file.path() << "holds these keys more than once:" << repeated.join(QLatin1Char(' '));
    return resulttext::duplicateRows(file.path(), repeated);
}

SaveOutcome ResultStore::save(const StoredTest& test, const CompanionWrite& companion) {
    const auto values = boundValues(test);
    if (!values) return {false, resulttext::saveFailed(), {}};
    const QString path = locateDbFile(test.kind);
    ResultFile c(path, test.kind);
    SaveOutcome out;
    const auto faultIn = [&](const QString& file, const QSqlError& e) {
        out.message = ResultFile::saveFault(e, file);
        return out;
    };
    const auto fault = [&](const QSqlError& e) { return faultIn(path, e); };
    if (!c.isOpen()) return fault(c.openError());
    const bool withCompanion = !companion.path.isEmpty() && companion.write;
    const QString companionSchema = QStringLiteral("companion");
    if (withCompanion) {
        // The result file is read first: attaching reads it too, and a fault of its own
        // would be blamed on the companion.
        if (const QSqlError e = c.readSchema(); e.isValid()) return fault(e);
        if (const QSqlError e = c.attach(companion.path, companionSchema); e.isValid())
            return faultIn(companion.path, e);
    }
    if (const QSqlError e = c.begin(); e.isValid()) return fault(e);
    QSqlError schema;
    out.warning = prepareForWriting(c, &schema);
    if (schema.isValid()) return fault(schema);
    const TestKey key = test.key();
    if (keyTaken(c, key)) {
        out.message = resulttext::duplicateNumber(test.kind, key);
        return out;
    }
    if (const QSqlError e = TestWriter(c).write(test, *values); e.isValid()) return fault(e);
    if (withCompanion) {
        QSqlDatabase db = c.db();
        if (const QSqlError e = companion.write(db, companionSchema, key); e.isValid())
            return faultIn(companion.path, e);
    }
    if (const QSqlError e = c.commit(); e.isValid()) return fault(e);
    out.ok = true;
    return out;
}

ImportOutcome ResultStore::importTests(std::span<const StoredTest> tests, const QString& origin) {
    ImportOutcome out;
    if (tests.empty()) {
        out.ok = true;
        return out;
    }
    const TestKind kind = tests.front().kind;
    const QString path = locateDbFile(kind);
    ResultFile c(path, kind);
    const auto fault = [&](const QSqlError& e) {
        out.message = c.saveFault(e);
        out.stored = 0;
        return out;
    };
    if (!c.isOpen()) return fault(c.openError());
    if (const QSqlError e = c.begin(); e.isValid()) return fault(e);
    QSqlError schema;
    out.warning = prepareForWriting(c, &schema);
    if (schema.isValid()) return fault(schema);
    TestWriter writer(c);
    QSet<QString> taken;
    if (const QSqlError e = takenAmong(c, tests, taken); e.isValid()) return fault(e);
    for (const StoredTest& test : tests) {
        const auto values = boundValues(test);
        if (!values || test.kind != kind) {
            out.message = QString::fromUtf8(description(kind).incompleteText);
            out.stored = 0;
            return out;
        }
        const TestKey key = test.key();
        if (taken.contains(shownKey(key))) {
            out.alreadyStored << key;
            continue;
        }
        if (const QSqlError e = writer.write(test, *values); e.isValid()) return fault(e);
        taken.insert(shownKey(key)); // a key twice among the tests: the second is told
        AuditEntry line = auditStart(kind, key);
        line.field = QString::fromUtf8(ImportField);
        line.newValue = origin;
        if (const QSqlError e = addCorrectionEntry(c, line); e.isValid()) return fault(e);
        ++out.stored;
    }
    if (const QSqlError e = c.commit(); e.isValid()) return fault(e);
    out.ok = true;
    return out;
}

QList<TestKey> ResultStore::storedKeys(TestKind kind, bool* readable) const {
    QList<TestKey> out;
    const QString path = locateDbFile(kind);
    if (readable) *readable = true;
    if (!QFileInfo::exists(path)) return out;
    ResultFile c(path, kind);
    QSqlQuery q(c.db());
    q.setForwardOnly(true);
    // Curve rows count too: a key with a curve alone is taken as well.
    // A file of an older version keys its curves by the number alone until it is written.
    const bool curvesByBoiling =
        description(kind).storesBoilingMarks &&
        c.hasColumn(QString::fromUtf8(CurveTableName), QString::fromUtf8(BoilingColumn));
    const bool ok =
        c.isOpen() &&
        q.exec(QStringLiteral("SELECT %1, %2 FROM %3 UNION SELECT %1, %4 FROM %5")
                   .arg(testNumberField(), boilingOfRow(kind), parameterTable(kind),
                        curvesByBoiling ? quotedName(BoilingColumn) : QStringLiteral("0"),
                        curveTable()));
    if (readable) *readable = ok;
    while (ok && q.next())
        out.append({q.value(0).toString(), q.value(1).toInt() != 0});
    return out;
}

std::optional<QList<QPair<QString, qint64>>> ResultStore::tableRows(TestKind kind,
                                                                    QString* error) const {
    QList<QPair<QString, qint64>> out;
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return out;
    ResultFile c(path, kind);
    QSqlQuery tables(c.db());
    const auto failed = [&](const QSqlError& e) -> std::optional<QList<QPair<QString, qint64>>> {
        if (error) *error = e.text().simplified();
        return std::nullopt;
    };
    if (!c.isOpen()) return failed(c.openError());
    if (!tables.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                    "ORDER BY name")))
        return failed(tables.lastError());
    while (tables.next()) {
        const QString name = tables.value(0).toString();
        QSqlQuery count(c.db());
        if (!count.exec(QStringLiteral("SELECT count(*) FROM %1").arg(quotedName(name))) ||
            !count.next())
            return failed(count.lastError());
        out.append({name, count.value(0).toLongLong()});
    }
    return out;
}

std::optional<StoredTest> ResultStore::load(TestKind kind, const TestKey& key) const {
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return std::nullopt;
    ResultFile c(path, kind);
    if (!c.isOpen()) return std::nullopt;
    StoredTest test;
    test.kind = kind;
    QVariantList binds;
    const QString where = rowKeyClause(kind, key, binds);
    QSqlQuery q(c.db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY rowid LIMIT 1")
                  .arg(c.readableColumns(), parameterTable(kind), where));
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec() || !q.next()) return std::nullopt;
    test.values = shownRow(kind, q);
    auto curve = readCurve(c, key);
    if (!curve) return std::nullopt;
    test.curve = std::move(*curve);
    test.conditions = readConditions(c, key);
    return test;
}

std::optional<RunConditions> ResultStore::conditions(TestKind kind, const TestKey& key) const {
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return std::nullopt;
    ResultFile c(path, kind);
    return c.isOpen() ? readConditions(c, key) : std::nullopt;
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
    ResultFile c(path, cond.kind);
    if (!c.isOpen()) return false;
    // Rows by test date, then by rowid; a page starts after the (date, rowid) of the last
    // one, so no rows are counted again and nothing is held open between pages. Rows without
    // a date come first, as SQLite sorts null. The date index keeps both the order and the
    // start of a page from sorting the file.
    c.indexTestDates();
    sqlite3* handle = c.handle();
    const QString date = quotedName(QString::fromUtf8(TestDateField));
    const PagePosition& after = rows.last;
    QString from;
    if (after.rowid != 0)
        from = after.date.isNull() ? QStringLiteral(" AND (%1 IS NOT NULL OR rowid > ?)").arg(date)
                                   : QStringLiteral(" AND (%1, rowid) > (?, ?)").arg(date);
    SqliteStatement q(
        handle, QStringLiteral("SELECT rowid,%1,%2 FROM %3 WHERE (%4)%5 "
                               "ORDER BY %1, rowid LIMIT ?")
                    .arg(date, c.readableColumns(), parameterTable(cond.kind), where->sql, from));
    int at = 0;
    for (const QVariant& v : where->binds)
        q.bind(++at, v);
    if (after.rowid != 0) {
        if (!after.date.isNull()) q.bind(++at, after.date);
        q.bindInt(++at, after.rowid);
    }
    q.bindInt(++at, limit);
    const int columns = int(rows.header.size());
    int read = 0;
    while (q.next()) {
        rows.last = {q.value(1), q.integer(0)};
        for (int i = 2; i <= columns + 1; ++i)
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
    ResultFile c(path, cond.kind);
    if (!c.isOpen()) return std::nullopt;
    SqliteStatement q(c.handle(), QStringLiteral("SELECT count(*) FROM %1 WHERE %2")
                                      .arg(parameterTable(cond.kind), where->sql));
    int at = 0;
    for (const QVariant& v : where->binds)
        q.bind(++at, v);
    if (!q.next()) return std::nullopt;
    return q.integer(0);
}

ResultOutcome ResultStore::remove(TestKind kind, const QList<TestKey>& keys) {
    const auto named = [](const QList<TestKey>& list) {
        QStringList out;
        for (const TestKey& k : list)
            out << shownKey(k);
        return out.join(QStringLiteral("、"));
    };
    if (keys.isEmpty()) return {true, resulttext::deleted(), {}};
    QList<TestKey> failed;
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return {false, resulttext::deleteFailed(named(keys)), {}};
    ResultFile c(path, kind);
    QString warning;
    int rows = 0;
    const AuditEntry who = auditStart(kind, {});
    bool prepared = false; // the file's layout, once one deletion committed with it
    for (const TestKey& key : keys) {
        bool done = false;
        QSqlError schema;
        if (c.isOpen() && !c.begin().isValid()) {
            if (!prepared) warning = prepareForWriting(c, &schema);
            QVariantList rowBinds, curveBinds;
            QSqlQuery row(c.db());
            row.prepare(QStringLiteral("DELETE FROM %1 WHERE %2")
                            .arg(parameterTable(kind), rowKeyClause(kind, key, rowBinds)));
            for (const QVariant& v : rowBinds)
                row.addBindValue(v);
            QSqlQuery curve(c.db());
            curve.prepare(QStringLiteral("DELETE FROM %1 WHERE %2")
                              .arg(curveTable(), c.keyClause(QString::fromUtf8(CurveTableName), key,
                                                             curveBinds)));
            for (const QVariant& v : curveBinds)
                curve.addBindValue(v);
            // Curve rows without a parameter row would keep the key taken: they go too, but
            // the missing row is still reported.
            // Counted at once: the driver reports the connection's last statement.
            // The whole test is kept in the history in the same transaction.
            const bool kept = !schema.isValid() && keepRemovedTest(c, key, who);
            const int deleted = kept && row.exec() ? row.numRowsAffected() : -1;
            if (deleted >= 0 && curve.exec() && !deleteConditions(c, key).isValid() &&
                !c.commit().isValid()) {
                prepared = true;
                done = deleted > 0;
                rows += deleted;
            } else {
                c.rollback();
            }
        }
        if (!done) failed << key;
    }
    if (!failed.isEmpty()) {
        qCWarning(resultsLog).noquote() << "cannot delete" << named(failed) << "from" << path;
        return {false, resulttext::deleteFailed(named(failed)), warning};
    }
    // The count is told only when a test held more than one row.
    return {true, resulttext::deleted(rows > keys.size() ? rows : 1), warning};
}

ResultOutcome ResultStore::restore(TestKind kind, qint64 deletionId) {
    const QString path = locateDbFile(kind);
    const ResultOutcome failed{false, resulttext::restoreFailed(path, {})};
    if (!QFileInfo::exists(path)) return failed;
    ResultFile c(path, kind);
    const auto fault = [&](const QSqlError& e) {
        c.logged("restore a deleted test", e);
        return ResultOutcome{false, resulttext::restoreFailed(path, e.databaseText())};
    };
    if (!c.isOpen()) return fault(c.openError());
    if (const QSqlError e = c.begin(); e.isValid()) return fault(e);
    QSqlError schema;
    const QString warning = prepareForWriting(c, &schema);
    if (schema.isValid()) return fault(schema);
    AuditEntry line;
    const auto removed = removedTest(c, deletionId, &line);
    if (!removed) return {false, resulttext::notRestorable(), warning};
    // Put back once: a second copy of the same deletion would bring back a test that may
    // have been corrected and deleted again since.
    QList<AuditEntry> undone{line};
    QString unread;
    findRestores(c, undone, &unread);
    if (!unread.isEmpty()) {
        qCWarning(resultsLog).noquote()
            << "cannot read the history of" << path << "-" << unread.simplified();
        return {false, resulttext::restoreFailed(path, unread), warning};
    }
    if (!undone.front().restoredAt.isEmpty())
        return {false, resulttext::alreadyRestored(undone.front().restoredAt), warning};
    const TestKey key = line.key();
    if (keyTaken(c, key)) return {false, resulttext::duplicateNumber(kind, key), warning};
    QSqlQuery row(c.db());
    QStringList marks(removed->row.size(), QStringLiteral("?"));
    row.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                    .arg(parameterTable(kind), columnList(kind), marks.join(QLatin1Char(','))));
    for (const QVariant& v : removed->row)
        row.addBindValue(v);
    if (!row.exec()) return fault(row.lastError());
    const auto curve = curveFromJson(QJsonDocument::fromJson(removed->curveJson.toUtf8()).array());
    if (const QSqlError e = insertCurve(c, key, curve); e.isValid()) return fault(e);
    if (!removed->conditionsJson.isEmpty()) {
        const RunConditions conditions =
            conditionsFromJson(QJsonDocument::fromJson(removed->conditionsJson.toUtf8()).object());
        if (const QSqlError e = insertConditions(c, key, conditions); e.isValid()) return fault(e);
    }
    AuditEntry entry = auditStart(kind, key);
    entry.field = QString::fromUtf8(RestoreField);
    entry.oldValue = line.time; // when the test went, as the history shows it
    entry.undoesDeletion = deletionId;
    if (const QSqlError e = addCorrectionEntry(c, entry); e.isValid()) return fault(e);
    if (const QSqlError e = c.commit(); e.isValid()) return fault(e);
    return {true, resulttext::restored(kind, key), warning};
}

ResultOutcome ResultStore::correct(TestKind kind, const TestKey& key, const QString& field,
                                   const QString& value) {
    return correct(kind, key, QList<FieldChange>{{field, value}});
}

ResultOutcome ResultStore::correct(TestKind kind, const TestKey& key,
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
    ResultFile c(path, kind);
    if (!c.isOpen()) return failed;
    if (c.logged("correct a test", c.begin()).isValid()) return failed;
    QSqlError schema;
    const QString warning = prepareForWriting(c, &schema);
    // The operator is told that it failed; the log says why.
    const auto fault = [&](const QSqlError& e) {
        c.logged("correct a test", e);
        return ResultOutcome{false, failed.message, warning};
    };
    if (schema.isValid()) return fault(schema);
    int rows = 0;
    AuditEntry entry = auditStart(kind, key);
    TestKey now = key; // a corrected boiling mark moves the test to its other key
    for (const Target& t : targets) {
        const FieldType type = fieldType(kind, t.index);
        entry.field = fieldNames(kind)[t.index];
        entry.newValue = shownValue(type, t.value);
        QVariantList binds;
        const QString where = QStringLiteral(" FROM %1 WHERE %2")
                                  .arg(parameterTable(kind), rowKeyClause(kind, now, binds));
        QSqlQuery old(c.db());
        old.prepare(QStringLiteral("SELECT %1").arg(quotedName(entry.field)) + where);
        for (const QVariant& v : binds)
            old.addBindValue(v);
        QStringList oldValues;
        if (!old.exec()) return fault(old.lastError());
        while (old.next())
            oldValues << shownValue(type, old.value(0));
        QSqlQuery q(c.db());
        q.prepare(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3")
                      .arg(parameterTable(kind), quotedName(entry.field),
                           rowKeyClause(kind, now, binds = {})));
        q.addBindValue(t.value);
        for (const QVariant& v : binds)
            q.addBindValue(v);
        // Every row of the test: the rows of one test must not come to disagree.
        if (!q.exec()) {
            if (ResultFile::isConstraint(q.lastError()))
                return {false, resulttext::duplicateNumber(kind, {now.number, !now.afterBoiling}),
                        warning};
            return fault(q.lastError());
        }
        if (q.numRowsAffected() < 1) return {false, failed.message, warning};
        rows = q.numRowsAffected();
        for (const QString& before : oldValues) {
            entry.oldValue = before;
            if (const QSqlError e = addCorrectionEntry(c, entry); e.isValid()) return fault(e);
        }
        if (entry.field == QString::fromUtf8(BoilingColumn) &&
            description(kind).storesBoilingMarks) {
            const TestKey moved{now.number, parseBool(entry.newValue).value_or(false)};
            if (moved != now) {
                if (!moveKey(c, now, moved)) return {false, failed.message, warning};
                now = moved;
                entry.afterBoiling = moved.afterBoiling;
            }
        }
    }
    if (const QSqlError e = c.commit(); e.isValid()) return fault(e);
    return {true, resulttext::corrected(rows), warning};
}

AuditEntry ResultStore::auditStart(TestKind kind, const TestKey& key) const {
    AuditEntry e;
    e.time = auditTime(QDateTime::currentDateTime());
    e.operatorName = m_operator ? m_operator(kind) : QString();
    e.testNumber = key.number;
    e.afterBoiling = key.afterBoiling;
    return e;
}

QList<AuditEntry> ResultStore::history(TestKind kind, const TestKey& key, QString* error) const {
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return {};
    ResultFile c(path, kind);
    QString cause;
    const QList<AuditEntry> entries =
        c.isOpen() ? readHistory(c, key, &cause) : QList<AuditEntry>{};
    if (!c.isOpen()) cause = c.openError().text();
    if (cause.isEmpty()) return entries;
    qCWarning(resultsLog).noquote()
        << "cannot read the history of" << path << "-" << cause.simplified();
    if (error) *error = resulttext::unreadableFile(path, cause);
    return entries;
}

std::optional<QList<AuditEntry>> ResultStore::deletions(TestKind kind, const QString& from,
                                                        const QString& to, QString* error) const {
    const auto first = normaliseDate(from);
    const auto last = normaliseDate(to);
    if (!first || !last) return std::nullopt;
    const QString path = locateDbFile(kind);
    if (!QFileInfo::exists(path)) return QList<AuditEntry>{};
    ResultFile c(path, kind);
    QString cause;
    const QList<AuditEntry> entries =
        c.isOpen() ? readDeletions(c, *first, *last, &cause) : QList<AuditEntry>{};
    if (!c.isOpen()) cause = c.openError().text();
    if (cause.isEmpty()) return entries;
    qCWarning(resultsLog).noquote()
        << "cannot read the history of" << path << "-" << cause.simplified();
    if (error) *error = resulttext::unreadableFile(path, cause);
    return entries;
}

} // namespace q7rk
