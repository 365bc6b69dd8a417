#include "Trend.h"

#include "plant/PieceTrend.h"
#include "plant/PlantTexts.h"
#include "quality/ChartJson.h"
#include "quality/TrendChartPainter.h"

#include <QCommandLineParser>
#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

namespace q7rk {

namespace {

enum Exit { Done = 0, Failed = 1, BadUsage = 2 };

int refuse(const QString& message, int code = BadUsage) {
    std::fprintf(stderr, "q7rk-plantdb: %s\n", qPrintable(message));
    return code;
}

// "2026/06/01" or "2026-06-01".
QDate dateOf(const QString& text) {
    const QString t = text.trimmed();
    const QDate d = QDate::fromString(t, QStringLiteral("yyyy/M/d"));
    return d.isValid() ? d : QDate::fromString(t, Qt::ISODate);
}

QString fieldKeys() {
    QStringList keys;
    for (const PieceFieldName& f : pieceFields())
        keys << QStringLiteral("%1（%2）").arg(QLatin1String(f.key), QString::fromUtf8(f.name));
    return keys.join(QStringLiteral("、"));
}

// The run of dates [from, to] among dates in order, as indexes.
IndexRange rangeOfDates(const std::vector<QDate>& dates, QDate from, QDate to) {
    IndexRange range{int(dates.size()), 0};
    for (int i = 0; i < int(dates.size()); ++i) {
        if (dates[std::size_t(i)] < from || dates[std::size_t(i)] > to) continue;
        if (range.count == 0) range.first = i;
        ++range.count;
    }
    return range;
}

} // namespace

int runPlantTrend(const QCommandLineParser& options) {
    PieceTrendRequest request;
    request.spec = options.value("spec").trimmed();
    if (request.spec.isEmpty()) return refuse(QStringLiteral("请用 --spec 指定规格。"));
    const auto field = pieceFieldFromKey(options.value("field"));
    if (!field)
        return refuse(QStringLiteral("“%1”不是可统计的值。可选：%2")
                          .arg(options.value("field"), fieldKeys()));
    request.field = *field;
    request.line = options.value("line").trimmed();
    // The last 30 days, today included, unless told otherwise.
    request.to = options.isSet("to") ? dateOf(options.value("to")) : QDate::currentDate();
    request.from = options.isSet("from") ? dateOf(options.value("from")) : request.to.addDays(-29);
    if (!request.from.isValid() || !request.to.isValid())
        return refuse(
            QStringLiteral("日期“%1”无效，请写成 2024/06/01 或 2024-06-01。")
                .arg(!request.from.isValid() ? options.value("from") : options.value("to")));
    if (request.from > request.to) return refuse(QStringLiteral("起始日期晚于结束日期。"));
    const QString boiled = options.value("boiled");
    if (boiled == QLatin1String("before"))
        request.boiling = BoilingSide::Before;
    else if (boiled == QLatin1String("after"))
        request.boiling = BoilingSide::After;
    else if (!boiled.isEmpty())
        return refuse(QStringLiteral("--boiled 只能是 before 或 after。"));
    // The stable period the limits are computed from, when one is named.
    std::optional<std::pair<QDate, QDate>> baselineDates;
    if (options.isSet("baseline-from") || options.isSet("baseline-to")) {
        const QDate from = dateOf(options.value("baseline-from"));
        const QDate to = dateOf(options.value("baseline-to"));
        if (!from.isValid() || !to.isValid() || from > to)
            return refuse(QStringLiteral("基准须同时给出有效的 --baseline-from 和 --baseline-to，"
                                         "且起始不晚于结束。"));
        baselineDates = {from, to};
    }
    // Or the first N points (and, of subgroups, the first N subgroups).
    std::optional<int> baselineFirst;
    if (options.isSet("baseline-first")) {
        bool ok = false;
        baselineFirst = options.value("baseline-first").toInt(&ok);
        if (!ok || *baselineFirst < 2 || baselineDates)
            return refuse(QStringLiteral("--baseline-first 须是不小于 2 的整数，且不与 "
                                         "--baseline-from/--baseline-to 同用。"));
    }
    if (options.isSet("piece")) {
        bool ok = false;
        request.piece = options.value("piece").toInt(&ok);
        if (!ok || request.piece < 1 || request.piece > 3)
            return refuse(QStringLiteral("--piece 只能是 1、2 或 3（各含水煮后的 1'、2'、3'）。"));
    }
    const QString subgroup = options.value("subgroup");
    if (!subgroup.isEmpty() && subgroup != QLatin1String("foil"))
        return refuse(QStringLiteral("--subgroup 只能是 foil（每卷水煮前或水煮后的各片为一组）。"));
    SpecLimits limits;
    for (const char* name : {"lsl", "usl"}) {
        if (!options.isSet(name)) continue;
        bool ok = false;
        const double v = options.value(name).toDouble(&ok);
        if (!ok) return refuse(QStringLiteral("--%1 须是数字。").arg(QLatin1String(name)));
        (name[0] == 'l' ? limits.lower : limits.upper) = v;
    }

    PlantConnection connection(PlantSource(options.value("dsn")), PlantLogin::Own);
    const auto reply = readPieceTrend(connection, request);
    if (!reply.ok()) return refuse(reply.status.message, Failed);
    const PieceTrend& trend = reply.value;

    std::vector<double> values;
    std::vector<QDate> dates;
    QJsonArray points;
    std::vector<TrendPoint> drawn;
    for (const PiecePoint& p : trend.points) {
        values.push_back(p.value);
        dates.push_back(p.date);
        const QString date = p.date.toString(QStringLiteral("yyyy/MM/dd"));
        points.append(QJsonObject{{"serial", p.serial},
                                  {"piece", p.piece},
                                  {"pieceLabel", plantTexts::pieceLabel(p.piece)},
                                  {"date", date},
                                  {"line", p.line},
                                  {"value", p.value}});
        drawn.push_back({p.serial, p.afterBoiling(), date, p.value, {}, {}});
    }
    std::optional<IndexRange> baseline;
    if (baselineDates) baseline = rangeOfDates(dates, baselineDates->first, baselineDates->second);
    if (baselineFirst) baseline = IndexRange{0, *baselineFirst};
    const ControlChart chart(std::move(values), baseline);
    const QString limitsNote =
        limits.any() ? QString() : QStringLiteral("未给规格限（--lsl/--usl），无法计算过程能力。");
    QJsonObject doc = chartJson(chart, limits, limitsNote);
    if (baselineDates)
        doc.insert("baseline", QJsonObject{{"from", baselineDates->first.toString("yyyy/MM/dd")},
                                           {"to", baselineDates->second.toString("yyyy/MM/dd")},
                                           {"first", baseline->first},
                                           {"count", baseline->count}});
    if (baselineFirst) doc.insert("baseline", QJsonObject{{"first", 0}, {"count", *baselineFirst}});
    // The pieces of a foil on one side of boiling as a subgroup: within-roll spread apart
    // from roll-to-roll drift.
    if (!subgroup.isEmpty()) {
        std::vector<std::vector<double>> groups;
        std::vector<QDate> groupDates;
        QJsonArray members;
        for (const FoilSubgroup& g : foilSubgroups(trend.points)) {
            std::vector<double> group;
            for (int i = g.first; i < g.first + g.count; ++i)
                group.push_back(trend.points[std::size_t(i)].value);
            const PiecePoint& first = trend.points[std::size_t(g.first)];
            members.append(QJsonObject{{"serial", first.serial},
                                       {"afterBoiling", first.afterBoiling()},
                                       {"date", first.date.toString("yyyy/MM/dd")},
                                       {"points", QJsonArray{g.first, g.count}}});
            groups.push_back(std::move(group));
            groupDates.push_back(first.date);
        }
        std::optional<IndexRange> groupBaseline;
        if (baselineDates)
            groupBaseline = rangeOfDates(groupDates, baselineDates->first, baselineDates->second);
        if (baselineFirst) groupBaseline = IndexRange{0, *baselineFirst};
        const SubgroupChart groupChart(std::move(groups), groupBaseline);
        QJsonObject json = subgroupChartJson(groupChart, limits, limitsNote);
        json.insert("groups", members);
        doc.insert("subgroups", json);
    }
    doc.insert("points", points);
    doc.insert("withoutValue", trend.withoutValue);
    doc.insert("spec", request.spec);
    doc.insert("field", options.value("field").toLower());
    doc.insert("line", request.line);
    doc.insert("from", request.from.toString(QStringLiteral("yyyy/MM/dd")));
    doc.insert("to", request.to.toString(QStringLiteral("yyyy/MM/dd")));
    if (trend.points.empty())
        doc.insert("message", QStringLiteral("工厂数据库中没有符合条件的片。"));
    else if (!chart.message().isEmpty())
        doc.insert("message", chart.message());
    std::fputs(QJsonDocument(doc).toJson(QJsonDocument::Indented).constData(), stdout);

    if (options.isSet("png")) {
        const QString title =
            QStringLiteral("工厂数据库 %1 %2 单值-移动极差控制图 %3 至 %4（%5片）")
                .arg(request.spec, pieceFieldName(request.field),
                     request.from.toString(QStringLiteral("yyyy/MM/dd")),
                     request.to.toString(QStringLiteral("yyyy/MM/dd")))
                .arg(chart.count());
        const QImage image = TrendChartPainter(chart, drawn, limits, title).image(QSize(1200, 800));
        if (!image.save(options.value("png"), "PNG"))
            return refuse(QStringLiteral("无法写入图片 %1").arg(options.value("png")), Failed);
    }
    return Done;
}

} // namespace q7rk
