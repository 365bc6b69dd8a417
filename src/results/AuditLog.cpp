#include "AuditLog.h"

#include "results/ResultFile.h"
#include "results/ResultSchema.h"

#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <algorithm>

namespace q7rk {

namespace {

QString table() {
    return QLatin1Char('"') + QString::fromUtf8(AuditTableName) + QLatin1Char('"');
}

constexpr const char* kColumns = R"("时间","测试人","测试编号","字段","原值","新值","删除内容")";
// Columns added since the table was first made: the boiling state of the test, the curve
// and conditions of a deleted test, and the deletion line a restore undoes.
constexpr const char* kAddedColumns[] = {"水煮后", "删除曲线", "删除条件", "恢复的删除"};
constexpr const char* kAddedTypes[] = {"INTEGER", "TEXT", "TEXT", "INTEGER"};

QVariant nullText() {
    return QVariant(QMetaType::fromType<QString>());
}

QSqlError insert(const ResultFile& file, const AuditEntry& e, const QVariant& removed,
                 const QVariant& curve = nullText(), const QVariant& conditions = nullText()) {
    QSqlQuery q(file.db());
    q.prepare(
        QStringLiteral("INSERT INTO %1 (%2,\"水煮后\",\"删除曲线\",\"删除条件\",\"恢复的删除\") "
                       "VALUES (?,?,?,?,?,?,?,?,?,?,?)")
            .arg(table(), QString::fromUtf8(kColumns)));
    const QVariant undoes = e.undoesDeletion > 0 ? QVariant(e.undoesDeletion)
                                                 : QVariant(QMetaType::fromType<qlonglong>());
    for (const QVariant& v : {QVariant(e.time), QVariant(e.operatorName), QVariant(e.testNumber),
                              QVariant(e.field), QVariant(e.oldValue), QVariant(e.newValue),
                              removed, QVariant(int(e.afterBoiling)), curve, conditions, undoes})
        q.addBindValue(v);
    q.exec();
    return q.lastError();
}

// The columns a read takes: an added column the table lacks (a file not written since) reads
// as null.
QString readColumns(const ResultFile& file) {
    QString out = QStringLiteral("rowid,") + QString::fromUtf8(kColumns);
    for (const char* c : kAddedColumns) {
        const QString name = QString::fromUtf8(c);
        out += file.hasColumn(QString::fromUtf8(AuditTableName), name)
                   ? QStringLiteral(",\"%1\"").arg(name)
                   : QStringLiteral(",NULL");
    }
    return out;
}

// The row as JSON: numbers stay numbers, null stays null, keyed by the field names.
QString rowJson(TestKind kind, const QVariantList& row) {
    QJsonObject o;
    const QStringList names = fieldNames(kind);
    for (int i = 0; i < int(names.size()) && i < int(row.size()); ++i)
        o.insert(names[i], QJsonValue::fromVariant(row[i]));
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QStringList shownRow(TestKind kind, const QString& json) {
    const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    QStringList out;
    const QStringList names = fieldNames(kind);
    for (int i = 0; i < int(names.size()); ++i)
        out << shownValue(fieldType(kind, i), o.value(names[i]).toVariant());
    return out;
}

QList<AuditEntry> read(const ResultFile& file, const QString& where, const QVariantList& binds,
                       QString* error) {
    QList<AuditEntry> out;
    QSqlQuery q(file.db());
    q.setForwardOnly(true);
    // A file that never had a change has no table; that is an empty history, not a fault.
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY rowid")
                  .arg(readColumns(file), table(), where));
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec()) {
        QSqlQuery known(file.db());
        known.prepare(
            QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
        known.addBindValue(QString::fromUtf8(AuditTableName));
        const bool tableMissing = known.exec() && !known.next();
        if (!tableMissing && error)
            *error = (known.lastError().isValid() ? known.lastError() : q.lastError()).text();
        return out;
    }
    while (q.next()) {
        AuditEntry e;
        e.id = q.value(0).toLongLong();
        e.time = q.value(1).toString();
        e.operatorName = q.value(2).toString();
        e.testNumber = q.value(3).toString();
        e.field = q.value(4).toString();
        e.oldValue = q.value(5).toString();
        e.newValue = q.value(6).toString();
        if (!q.value(7).isNull()) e.removedRow = shownRow(file.kind(), q.value(7).toString());
        e.afterBoiling = q.value(8).toInt() != 0;
        e.keptWhole = !q.value(9).isNull();
        e.undoesDeletion = q.value(11).toLongLong();
        out << e;
    }
    return out;
}

} // namespace

QString auditTime(const QDateTime& when) {
    return when.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

QSqlError createAuditTable(const ResultFile& file) {
    QSqlQuery q(file.db());
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"时间\" TEXT, \"测试人\" TEXT, "
                               "\"测试编号\" TEXT, \"字段\" TEXT, \"原值\" TEXT, \"新值\" TEXT, "
                               "\"删除内容\" TEXT)")
                    .arg(table())))
        return q.lastError();
    for (std::size_t i = 0; i < std::size(kAddedColumns); ++i) {
        const QString name = QString::fromUtf8(kAddedColumns[i]);
        if (file.hasColumn(QString::fromUtf8(AuditTableName), name)) continue;
        if (!q.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN \"%2\" %3")
                        .arg(table(), name, QLatin1String(kAddedTypes[i]))))
            return q.lastError();
    }
    q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS \"修改历史_测试编号\" ON %1 (\"测试编号\")")
               .arg(table()));
    q.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS \"修改历史_时间\" ON %1 (\"时间\")")
               .arg(table()));
    return q.lastError();
}

QSqlError addCorrectionEntry(const ResultFile& file, const AuditEntry& entry) {
    return insert(file, entry, QVariant(QMetaType::fromType<QString>()));
}

QSqlError addDeletionEntry(const ResultFile& file, const AuditEntry& entry,
                           const RemovedTest& removed) {
    return insert(file, entry, rowJson(file.kind(), removed.row), removed.curveJson,
                  removed.conditionsJson.isEmpty() ? nullText() : QVariant(removed.conditionsJson));
}

std::optional<RemovedTest> removedTest(const ResultFile& file, qint64 id, AuditEntry* line) {
    QString error;
    const QList<AuditEntry> found = read(file, QStringLiteral("rowid = ? AND \"字段\" = ?"),
                                         {id, QString::fromUtf8(DeletionField)}, &error);
    if (found.isEmpty() || !found.first().keptWhole) return std::nullopt;
    if (line) *line = found.first();
    QSqlQuery q(file.db());
    q.prepare(
        QStringLiteral("SELECT \"删除内容\",\"删除曲线\",\"删除条件\" FROM %1 WHERE rowid = ?")
            .arg(table()));
    q.addBindValue(id);
    if (!q.exec() || !q.next()) return std::nullopt;
    RemovedTest out;
    const QJsonObject o = QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object();
    for (const QString& name : fieldNames(file.kind()))
        out.row << o.value(name).toVariant();
    out.curveJson = q.value(1).toString();
    out.conditionsJson = q.value(2).toString();
    return out;
}

QList<AuditEntry> readHistory(const ResultFile& file, const TestKey& key, QString* error) {
    QVariantList binds;
    const QString where = file.keyClause(QString::fromUtf8(AuditTableName), key, binds);
    return read(file, where, binds, error);
}

QList<AuditEntry> readCorrections(const ResultFile& file, const QString& field, QString* error) {
    return read(file, QStringLiteral("\"字段\" IN (?, ?, ?)"),
                {field, QString::fromUtf8(DeletionField), QString::fromUtf8(RestoreField)}, error);
}

void findRestores(const ResultFile& file, QList<AuditEntry>& deletions, QString* error) {
    if (deletions.isEmpty()) return;
    // A restore follows its deletion, so the restores since the oldest deletion are all
    // there is to look at.
    QString since = deletions.front().time;
    for (const AuditEntry& d : deletions)
        since = std::min(since, d.time);
    const QList<AuditEntry> restores = read(file, QStringLiteral("\"字段\" = ? AND \"时间\" >= ?"),
                                            {QString::fromUtf8(RestoreField), since}, error);
    for (const AuditEntry& r : restores) {
        AuditEntry* undone = nullptr;
        for (AuditEntry& d : deletions) {
            if (r.undoesDeletion > 0) {
                if (d.id == r.undoesDeletion) undone = &d;
            } else if (d.id < r.id && d.key() == r.key() && d.time == r.oldValue &&
                       (!undone || d.id > undone->id)) {
                // An older line names its deletion by key and time: the last such before it.
                undone = &d;
            }
        }
        if (undone) undone->restoredAt = r.time;
    }
}

QList<AuditEntry> readDeletions(const ResultFile& file, const QString& from, const QString& to,
                                QString* error) {
    // The last day counts whole: everything before the next midnight.
    const QString end = QDate::fromString(to, QStringLiteral("yyyy/MM/dd"))
                            .addDays(1)
                            .toString(QStringLiteral("yyyy/MM/dd"));
    QList<AuditEntry> out =
        read(file, QStringLiteral("\"删除内容\" IS NOT NULL AND \"时间\" >= ? AND \"时间\" < ?"),
             {from, end}, error);
    findRestores(file, out, error);
    return out;
}

} // namespace q7rk
