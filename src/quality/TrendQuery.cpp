#include "TrendQuery.h"

#include "kinds/TestKindDescription.h"
#include "quality/QualityLog.h"
#include "results/AuditLog.h"
#include "results/ResultFile.h"
#include "results/ResultSchema.h"
#include "results/ResultTexts.h"
#include "results/SqlCondition.h"
#include "results/SqliteStatement.h"
#include "settings/NumberText.h"

#include <QFileInfo>
#include <QHash>
#include <cmath>

namespace q7rk {

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

std::optional<double> numberIn(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::LongLong) {
        const double d = v.toDouble();
        return std::isfinite(d) ? std::optional(d) : std::nullopt;
    }
    return parseNumber(v.toString()); // a number another program wrote as text
}

// The points whose value was corrected by hand carry what was measured first. A test deleted
// since is another test when its number comes back; one put back is the corrected one again.
void markCorrections(const ResultFile& file, const QString& field, TrendData& data) {
    QString error;
    const QList<AuditEntry> lines = readCorrections(file, field, &error);
    if (!error.isEmpty())
        qCWarning(qualityLog).noquote()
            << "cannot read the corrections of" << field << "-" << error.simplified();
    QHash<QString, QString> measured, beforeDeletion;
    for (const AuditEntry& line : lines) {
        const QString key = shownKey(line.key());
        if (line.isDeletion()) {
            if (measured.contains(key)) beforeDeletion.insert(key, measured.take(key));
        } else if (line.field == QString::fromUtf8(RestoreField)) {
            if (beforeDeletion.contains(key)) measured.insert(key, beforeDeletion.take(key));
        } else if (!measured.contains(key)) {
            measured.insert(key, line.oldValue);
        }
    }
    if (measured.isEmpty()) return;
    for (TrendPoint& p : data.points)
        if (const auto at = measured.constFind(shownKey({p.testNumber, p.afterBoiling}));
            at != measured.cend())
            p.measured = *at;
}

} // namespace

void shareLimit(const TrendField& field, TrendData& data) {
    if (field.side == LimitSide::None) return;
    std::optional<double> common;
    for (const TrendPoint& p : data.points) {
        if (!p.limit) continue;
        if (common && *common != *p.limit) {
            data.limitsNote =
                QStringLiteral("各记录的%1不同（如%2和%3），请先按%1筛选，再看"
                               "过程能力。")
                    .arg(field.limitField, formatNumber(*common), formatNumber(*p.limit));
            return;
        }
        common = p.limit;
    }
    if (!common) {
        if (!data.points.empty())
            data.limitsNote =
                QStringLiteral("这些记录没有%1，无法计算过程能力。").arg(field.limitField);
        return;
    }
    (field.side == LimitSide::Lower ? data.limits.lower : data.limits.upper) = common;
}

std::optional<TrendField> trendField(TestKind kind, const QString& name) {
    const int index = fieldIndex(kind, name);
    if (index < 0 || fieldType(kind, index) != FieldType::Number) return std::nullopt;
    TrendField out;
    out.name = u(description(kind).fields[std::size_t(index)].name);
    for (const LimitPair& pair : description(kind).limitPairs) {
        if (out.name == storedField(kind, pair.measured)) {
            out.limitField = storedField(kind, pair.limit);
            out.side = pair.side;
        }
    }
    return out;
}

QStringList trendFields(TestKind kind) {
    QStringList out;
    for (const QString& name : fieldNames(kind))
        if (trendField(kind, name)) out << name;
    return out;
}

std::vector<double> TrendData::values() const {
    std::vector<double> out;
    out.reserve(points.size());
    for (const TrendPoint& p : points)
        out.push_back(p.value);
    return out;
}

TrendData TrendQuery::run(const TrendRequest& request) const {
    TrendData data;
    data.message = resulttext::noMatch();
    const auto field = trendField(request.kind, request.field);
    const QString path = m_store.locateDbFile(request.kind);
    if (!field || !QFileInfo::exists(path)) return data;

    QString where = QStringLiteral("%1 BETWEEN ? AND ? AND %2 IS NOT NULL")
                        .arg(quotedName(u("测试日期")), quotedName(field->name));
    QVariantList binds{request.from, request.to};
    for (QueryCondition filter : request.filters) {
        filter.kind = request.kind;
        const auto condition = sqlCondition(filter);
        if (!condition) return data;
        where += QStringLiteral(" AND (%1)").arg(condition->sql);
        binds += condition->binds;
    }
    const QString table = u(description(request.kind).tableName);
    const QString limit =
        field->limitField.isEmpty() ? QStringLiteral("NULL") : quotedName(field->limitField);
    ResultFile file(path, request.kind);
    file.indexTestDates();
    const QString boiling = boilingOfRow(request.kind);
    SqliteStatement q(
        file.handle(),
        QStringLiteral("SELECT %1, %2, %3, %4, %7 FROM %5 WHERE %6 ORDER BY %2, rowid")
            .arg(quotedName(u("测试编号")), quotedName(u("测试日期")), quotedName(field->name),
                 limit, quotedName(table), where, boiling));
    int at = 0;
    for (const QVariant& v : binds)
        q.bind(++at, v);
    while (q.next()) {
        const auto value = numberIn(q.value(2));
        if (!value) continue;
        data.points.push_back({q.value(0).toString(),
                               q.integer(4) != 0,
                               q.value(1).toString(),
                               *value,
                               numberIn(q.value(3)),
                               {}});
    }
    if (!q.done()) {
        data.readable = false;
        data.points.clear();
        data.message = QStringLiteral("无法读取结果文件 %1（%2）").arg(path, q.error().text());
        qCWarning(qualityLog).noquote() << "cannot read the trend of" << request.field << "from"
                                        << path << "-" << q.error().text().simplified();
        return data;
    }
    if (!data.points.empty()) data.message.clear();
    markCorrections(file, field->name, data);
    shareLimit(*field, data);
    return data;
}

} // namespace q7rk
