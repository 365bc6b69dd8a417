#include "RunConditions.h"

#include "settings/NumberText.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <array>

namespace q7rk {

namespace {

// Column names in table order after "测试编号"; the factor names are the calibration
// window's.
constexpr std::array<const char*, 11> Columns{
    "电压采样校准", "电流采样校准", "电压控制校准", "电流控制校准", "通讯连接", "程序版本",
    "轮询次数",     "丢失应答",     "错误帧",       "开始时间",     "结束时间"};
constexpr std::array<const char*, 11> ColumnTypes{"REAL",    "REAL", "REAL",    "REAL",
                                                  "TEXT",    "TEXT", "INTEGER", "INTEGER",
                                                  "INTEGER", "TEXT", "TEXT"};

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

bool tableExists(const QSqlDatabase& db) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q.addBindValue(QString::fromUtf8(ConditionsTableName));
    return q.exec() && q.next();
}

QString timeText(const QDateTime& t) {
    return t.isValid() ? t.toString(kTimeFormat) : QString();
}

} // namespace

QSqlError createConditionsTable(const QSqlDatabase& db) {
    QStringList cols{key() + QStringLiteral(" TEXT PRIMARY KEY")};
    const QStringList names = columns();
    for (qsizetype i = 0; i < names.size(); ++i)
        cols << names[i] + QLatin1Char(' ') + QLatin1String(ColumnTypes[std::size_t(i)]);
    QSqlQuery q(db);
    q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
               .arg(table(), cols.join(QLatin1Char(','))));
    return q.lastError();
}

QSqlError insertConditions(const QSqlDatabase& db, const QString& testNumber,
                           const RunConditions& c) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (%2,%3) VALUES (?%4)")
                  .arg(table(), key(), columns().join(QLatin1Char(',')),
                       QStringLiteral(",?").repeated(qsizetype(Columns.size()))));
    for (const QVariant& v :
         {QVariant(testNumber), QVariant(c.voltageAdjust), QVariant(c.currentAdjust),
          QVariant(c.voltageControl), QVariant(c.currentControl), QVariant(c.link),
          QVariant(c.version), QVariant(c.polls), QVariant(c.lostReplies),
          QVariant(c.rejectedFrames), timeValue(c.started), timeValue(c.ended)})
        q.addBindValue(v);
    q.exec();
    return q.lastError();
}

QSqlError deleteConditions(const QSqlDatabase& db, const QString& testNumber) {
    if (!tableExists(db)) return {};
    QSqlQuery q(db);
    q.prepare(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(table(), key()));
    q.addBindValue(testNumber);
    q.exec();
    return q.lastError();
}

std::optional<RunConditions> readConditions(const QSqlDatabase& db, const QString& testNumber) {
    if (!tableExists(db)) return std::nullopt;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                  .arg(columns().join(QLatin1Char(',')), table(), key()));
    q.addBindValue(testNumber);
    if (!q.exec() || !q.next()) return std::nullopt;
    RunConditions c;
    c.voltageAdjust = q.value(0).toDouble();
    c.currentAdjust = q.value(1).toDouble();
    c.voltageControl = q.value(2).toDouble();
    c.currentControl = q.value(3).toDouble();
    c.link = q.value(4).toString();
    c.version = q.value(5).toString();
    c.polls = q.value(6).toLongLong();
    c.lostReplies = q.value(7).toLongLong();
    c.rejectedFrames = q.value(8).toLongLong();
    c.started = QDateTime::fromString(q.value(9).toString(), kTimeFormat);
    c.ended = QDateTime::fromString(q.value(10).toString(), kTimeFormat);
    return c;
}

QList<std::pair<QString, QString>> shownConditions(const RunConditions& c) {
    const std::array<QString, 11> texts{formatNumber(c.voltageAdjust),
                                        formatNumber(c.currentAdjust),
                                        formatNumber(c.voltageControl),
                                        formatNumber(c.currentControl),
                                        c.link,
                                        c.version,
                                        QString::number(c.polls),
                                        QString::number(c.lostReplies),
                                        QString::number(c.rejectedFrames),
                                        timeText(c.started),
                                        timeText(c.ended)};
    QList<std::pair<QString, QString>> out;
    for (std::size_t i = 0; i < Columns.size(); ++i)
        out.append({QString::fromUtf8(Columns[i]), texts[i]});
    return out;
}

} // namespace q7rk
