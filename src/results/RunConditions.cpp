#include "RunConditions.h"

#include "results/ResultFile.h"
#include "results/ResultSchema.h"
#include "settings/NumberText.h"

#include <QJsonObject>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>
#include <array>
#include <cmath>

namespace q7rk {

namespace {

// Column names in table order after "测试编号"; the factor names are the calibration
// window's.
constexpr std::array<const char*, 12> Columns{
    "电压采样校准", "电流采样校准", "电压控制校准", "电流控制校准", "通讯连接", "程序版本",
    "轮询次数",     "丢失应答",     "错误帧",       "开始时间",     "结束时间", "迟到采样"};
constexpr std::size_t FirstAddedColumn = 11; // 迟到采样
constexpr std::array<const char*, 12> ColumnTypes{"REAL",    "REAL", "REAL",    "REAL",
                                                  "TEXT",    "TEXT", "INTEGER", "INTEGER",
                                                  "INTEGER", "TEXT", "TEXT",    "INTEGER"};

// Local time to the millisecond, in the order the date fields use, so the texts sort.
const QString kTimeFormat = QStringLiteral("yyyy/MM/dd HH:mm:ss.zzz");

QString quoted(const QString& identifier) {
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

QString table() {
    return quoted(QString::fromUtf8(ConditionsTableName));
}

QString key() {
    return quoted(QStringLiteral("测试编号"));
}

QStringList columns() {
    QStringList out;
    for (const char* c : Columns)
        out << quoted(QString::fromUtf8(c));
    return out;
}

QVariant timeValue(const QDateTime& t) {
    return t.isValid() ? QVariant(t.toString(kTimeFormat))
                       : QVariant(QMetaType::fromType<QString>());
}

bool tableExists(const ResultFile& file) {
    QSqlQuery q(file.db());
    q.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q.addBindValue(QString::fromUtf8(ConditionsTableName));
    return q.exec() && q.next();
}

QStringList existingColumns(const ResultFile& file) {
    QStringList out;
    QSqlQuery q(file.db());
    if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table()))) return out;
    while (q.next())
        out << q.value(1).toString();
    return out;
}

QString timeText(const QDateTime& t) {
    return t.isValid() ? t.toString(kTimeFormat) : QString();
}

} // namespace

QSqlError createConditionsTable(const ResultFile& file) {
    const QString boiling = quoted(QString::fromUtf8(BoilingColumn));
    QStringList cols{key() + QStringLiteral(" TEXT"),
                     boiling + QStringLiteral(" INTEGER NOT NULL DEFAULT 0")};
    const QStringList names = columns();
    for (qsizetype i = 0; i < names.size(); ++i)
        cols << names[i] + QLatin1Char(' ') + QLatin1String(ColumnTypes[std::size_t(i)]);
    cols << QStringLiteral("PRIMARY KEY (%1, %2)").arg(key(), boiling);
    QSqlQuery q(file.db());
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                    .arg(table(), cols.join(QLatin1Char(',')))))
        return q.lastError();
    // Columns added since the table was first made; a table that lacks the first ones is
    // someone else's, and writing to it fails.
    const QStringList present = existingColumns(file);
    for (std::size_t i = FirstAddedColumn; i < Columns.size(); ++i) {
        const QString name = QString::fromUtf8(Columns[i]);
        if (present.contains(name)) continue;
        if (!q.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                        .arg(table(), quoted(name), QLatin1String(ColumnTypes[i]))))
            return q.lastError();
    }
    return {};
}

ConditionsWriter::ConditionsWriter(const ResultFile& file) : m_insert(file.db()) {
    m_insert.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (%2,%3,%4) VALUES (?,?%5)")
                         .arg(table(), key(), quoted(QString::fromUtf8(BoilingColumn)),
                              columns().join(QLatin1Char(',')),
                              QStringLiteral(",?").repeated(qsizetype(Columns.size()))));
}

QSqlError ConditionsWriter::write(const TestKey& testKey, const RunConditions& c) {
    int at = 0;
    for (const QVariant& v :
         {QVariant(testKey.number), QVariant(int(testKey.afterBoiling)), QVariant(c.voltageAdjust),
          QVariant(c.currentAdjust), QVariant(c.voltageControl), QVariant(c.currentControl),
          QVariant(c.link), QVariant(c.version), QVariant(c.polls), QVariant(c.lostReplies),
          QVariant(c.rejectedFrames), timeValue(c.started), timeValue(c.ended),
          QVariant(c.lateSamples)})
        m_insert.bindValue(at++, v);
    m_insert.exec();
    return m_insert.lastError();
}

QSqlError insertConditions(const ResultFile& file, const TestKey& testKey, const RunConditions& c) {
    return ConditionsWriter(file).write(testKey, c);
}

QSqlError deleteConditions(const ResultFile& file, const TestKey& testKey) {
    if (!tableExists(file)) return {};
    QVariantList binds;
    const QString where = file.keyClause(QString::fromUtf8(ConditionsTableName), testKey, binds);
    QSqlQuery q(file.db());
    q.prepare(QStringLiteral("DELETE FROM %1 WHERE %2").arg(table(), where));
    for (const QVariant& v : binds)
        q.addBindValue(v);
    q.exec();
    return q.lastError();
}

std::optional<RunConditions> readConditions(const ResultFile& file, const TestKey& testKey) {
    if (!tableExists(file)) return std::nullopt;
    QVariantList binds;
    const QString where = file.keyClause(QString::fromUtf8(ConditionsTableName), testKey, binds);
    QSqlQuery q(file.db());
    q.setForwardOnly(true);
    // By name: a table made before a column was added lacks it until the file is written.
    q.prepare(QStringLiteral("SELECT * FROM %1 WHERE %2").arg(table(), where));
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec() || !q.next()) return std::nullopt;
    const QSqlRecord row = q.record();
    const auto value = [&](std::size_t column) {
        const int at = row.indexOf(QString::fromUtf8(Columns[column]));
        return at < 0 ? QVariant() : q.value(at);
    };
    RunConditions c;
    // A factor the file does not know (an imported test) stays unknown, never 0.
    const auto factor = [&](std::size_t column) {
        const QVariant v = value(column);
        return v.isNull() ? std::nan("") : v.toDouble();
    };
    c.voltageAdjust = factor(0);
    c.currentAdjust = factor(1);
    c.voltageControl = factor(2);
    c.currentControl = factor(3);
    c.link = value(4).toString();
    c.version = value(5).toString();
    c.polls = value(6).toLongLong();
    c.lostReplies = value(7).toLongLong();
    c.rejectedFrames = value(8).toLongLong();
    c.started = QDateTime::fromString(value(9).toString(), kTimeFormat);
    c.ended = QDateTime::fromString(value(10).toString(), kTimeFormat);
    c.lateSamples = value(11).toLongLong();
    return c;
}

QJsonObject conditionsToJson(const RunConditions& c) {
    return {{"voltageAdjust", c.voltageAdjust},
            {"currentAdjust", c.currentAdjust},
            {"voltageControl", c.voltageControl},
            {"currentControl", c.currentControl},
            {"link", c.link},
            {"version", c.version},
            {"polls", c.polls},
            {"lostReplies", c.lostReplies},
            {"rejectedFrames", c.rejectedFrames},
            {"lateSamples", c.lateSamples},
            {"started", c.started.toString(kTimeFormat)},
            {"ended", c.ended.toString(kTimeFormat)}};
}

RunConditions conditionsFromJson(const QJsonObject& o) {
    RunConditions c;
    const auto factor = [&](const char* name) {
        const QJsonValue v = o.value(QLatin1String(name));
        return v.isNull() ? std::nan("") : v.toDouble(1);
    };
    c.voltageAdjust = factor("voltageAdjust");
    c.currentAdjust = factor("currentAdjust");
    c.voltageControl = factor("voltageControl");
    c.currentControl = factor("currentControl");
    c.link = o.value("link").toString();
    c.version = o.value("version").toString();
    c.polls = o.value("polls").toInteger();
    c.lostReplies = o.value("lostReplies").toInteger();
    c.rejectedFrames = o.value("rejectedFrames").toInteger();
    c.lateSamples = o.value("lateSamples").toInteger();
    c.started = QDateTime::fromString(o.value("started").toString(), kTimeFormat);
    c.ended = QDateTime::fromString(o.value("ended").toString(), kTimeFormat);
    return c;
}

QList<std::pair<QString, QString>> shownConditions(const RunConditions& c) {
    const auto factor = [](double v) { return std::isfinite(v) ? formatNumber(v) : QString(); };
    const std::array<QString, 12> texts{factor(c.voltageAdjust),
                                        factor(c.currentAdjust),
                                        factor(c.voltageControl),
                                        factor(c.currentControl),
                                        c.link,
                                        c.version,
                                        QString::number(c.polls),
                                        QString::number(c.lostReplies),
                                        QString::number(c.rejectedFrames),
                                        timeText(c.started),
                                        timeText(c.ended),
                                        QString::number(c.lateSamples)};
    QList<std::pair<QString, QString>> out;
    for (std::size_t i = 0; i < Columns.size(); ++i)
        out.append({QString::fromUtf8(Columns[i]), texts[i]});
    return out;
}

} // namespace q7rk
