#include "Trend.h"

#include "quality/ControlChart.h"
#include "quality/TrendChartPainter.h"
#include "quality/TrendQuery.h"
#include "results/ResultSchema.h"
#include "results/SqlCondition.h"

#include <QCommandLineParser>
#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstdio>

namespace q7rk {

namespace {

enum Exit { Done = 0, Failed = 1, BadUsage = 2 };

int refuse(const QString& message, int code = BadUsage) {
    std::fprintf(stderr, "q7rk-results: %s\n", qPrintable(message));
    return code;
}

QString kindName(TestKind kind) {
    return QString::fromUtf8(description(kind).queryItem);
}

// "化成电压 = 200", "测试人=张三", "化成电压 介于 100 300"; nullopt when it is none of them.
std::optional<QueryCondition> conditionOf(TestKind kind, const QString& text) {
    static const QRegularExpression re(QStringLiteral(R"(^\s*(.+?)\s*(介于|>|<|=)\s*(.*?)\s*$)"));
    const auto m = re.match(text);
    if (!m.hasMatch()) return std::nullopt;
    QueryCondition c{kind, m.captured(1), m.captured(2), m.captured(3), {}};
    const int index = fieldIndex(kind, c.field);
    if (index < 0) return std::nullopt;
    if (c.comparison == QStringLiteral("介于")) {
        const QStringList bounds =
            c.value1.split(QRegularExpression(QStringLiteral("[\\s,，~～]+")), Qt::SkipEmptyParts);
        if (bounds.size() != 2) return std::nullopt;
        c.value1 = bounds[0];
        c.value2 = bounds[1];
    }
    // Marks are stored "True"/"False"; 1, 0, true, false are taken for them.
    if (fieldType(kind, index) == FieldType::Mark) {
        const auto v = storedValue(FieldType::Mark, c.value1);
        if (!v || v->isNull()) return std::nullopt;
        c.value1 = v->toString();
    }
    if (!sqlCondition(c)) return std::nullopt;
    return c;
}

QJsonValue json(const std::optional<double>& v) {
    return v ? QJsonValue(*v) : QJsonValue();
}

QJsonObject chartJson(const ControlChart& chart, const TrendData& data) {
    QJsonArray points;
    for (const TrendPoint& p : data.points) {
        QJsonObject point{{"number", p.testNumber},
                          {"afterBoiling", p.afterBoiling},
                          {"date", p.date},
                          {"value", p.value}};
        if (p.measured) point.insert("measured", *p.measured); // corrected by hand
        points.append(point);
    }
    QJsonArray breaks;
    for (const RuleBreak& b : chart.breaks()) {
        QJsonArray indexes;
        for (const int i : b.points)
            indexes.append(i);
        breaks.append(QJsonObject{
            {"rule", ruleKey(b.rule)}, {"name", ruleName(b.rule)}, {"points", indexes}});
    }
    Capability cap = chart.capability(data.limits);
    if (!data.limitsNote.isEmpty()) cap.message = data.limitsNote;
    QJsonObject capability{{"count", cap.count},
                           {"lowerSpec", json(cap.limits.lower)},
                           {"upperSpec", json(cap.limits.upper)},
                           {"cpk", json(cap.cpk)},
                           {"ppk", json(cap.ppk)},
                           {"inControl", cap.inControl}};
    if (!cap.message.isEmpty()) capability.insert("message", cap.message);
    QJsonObject out{{"count", chart.count()},
                    {"points", points},
                    {"mean", json(chart.mean())},
                    {"upperLimit", json(chart.upperLimit())},
                    {"lowerLimit", json(chart.lowerLimit())},
                    {"averageMovingRange", json(chart.averageMovingRange())},
                    {"movingRangeLimit", json(chart.movingRangeLimit())},
                    {"sigma", json(chart.sigma())},
                    {"violations", breaks},
                    {"capability", capability}};
    const QString message = data.points.empty() ? data.message : chart.message();
    if (!message.isEmpty()) out.insert("message", message);
    return out;
}

} // namespace

int runTrend(const QCommandLineParser& options, TestKind kind, const ResultStore& store) {
    TrendRequest request;
    request.kind = kind;
    const auto field = trendField(kind, options.value("field"));
    if (!field)
        return refuse(QStringLiteral("“%1”不是%2的数值字段。可选：%3")
                          .arg(options.value("field"), kindName(kind),
                               trendFields(kind).join(QStringLiteral("、"))));
    request.field = field->name;

    // The last 30 days, today included, unless told otherwise.
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd"));
    const QString monthAgo =
        QDate::currentDate().addDays(-29).toString(QStringLiteral("yyyy/MM/dd"));
    const auto date = [&](const char* option, const QString& fallback) -> std::optional<QString> {
        if (!options.isSet(option)) return fallback;
        return normaliseDate(options.value(option));
    };
    const auto from = date("from", monthAgo), to = date("to", today);
    if (!from || !to)
        return refuse(QStringLiteral("日期“%1”无效，请写成 2024/06/01 或 2024-06-01。")
                          .arg(!from ? options.value("from") : options.value("to")));
    if (*from > *to) return refuse(QStringLiteral("起始日期 %1 晚于结束日期 %2。").arg(*from, *to));
    request.from = *from;
    request.to = *to;
    for (const QString& text : options.values("where")) {
        const auto condition = conditionOf(kind, text);
        if (!condition)
            return refuse(QStringLiteral("条件“%1”无效：应为“字段 比较 值”，比较为 >、<、= 或 "
                                         "介于（两个值），字段是%2的字段，值合乎字段。")
                              .arg(text, kindName(kind)));
        request.filters << *condition;
    }

    const TrendData data = TrendQuery(store).run(request);
    if (!data.readable) return refuse(data.message, Failed);
    const ControlChart chart(data.values());
    QJsonObject doc = chartJson(chart, data);
    doc.insert("kind", kindKey(kind));
    doc.insert("field", request.field);
    doc.insert("from", request.from);
    doc.insert("to", request.to);
    std::fputs(QJsonDocument(doc).toJson(QJsonDocument::Indented).constData(), stdout);

    if (options.isSet("png")) {
        const QString title = QStringLiteral("%1 %2 单值-移动极差控制图 %3 至 %4（%5个测试）")
                                  .arg(kindName(kind), request.field, request.from, request.to)
                                  .arg(chart.count());
        const QImage image =
            TrendChartPainter(chart, data.points, data.limits, title).image(QSize(1200, 800));
        if (!image.save(options.value("png"), "PNG"))
            return refuse(QStringLiteral("无法写入图片 %1").arg(options.value("png")), Failed);
    }
    return Done;
}

} // namespace q7rk
