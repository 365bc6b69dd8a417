#include "quality/ChartJson.h"

#include <QJsonArray>

namespace q7rk {

QJsonValue jsonNumber(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

namespace {

QJsonArray breaksJson(const std::vector<RuleBreak>& breaks) {
    QJsonArray out;
    for (const RuleBreak& b : breaks) {
        QJsonArray indexes;
        for (const int i : b.points)
            indexes.append(i);
        out.append(QJsonObject{
            {"rule", ruleKey(b.rule)}, {"name", ruleName(b.rule)}, {"points", indexes}});
    }
    return out;
}

QJsonObject capabilityJson(Capability cap, const QString& limitsNote) {
    if (!limitsNote.isEmpty()) cap.message = limitsNote;
    QJsonObject out{{"count", cap.count},
                    {"lowerSpec", jsonNumber(cap.limits.lower)},
                    {"upperSpec", jsonNumber(cap.limits.upper)},
                    {"cpk", jsonNumber(cap.cpk)},
                    {"ppk", jsonNumber(cap.ppk)},
                    {"inControl", cap.inControl}};
    if (!cap.message.isEmpty()) out.insert("message", cap.message);
    return out;
}

QJsonArray indexesJson(const std::vector<int>& indexes) {
    QJsonArray out;
    for (const int i : indexes)
        out.append(i);
    return out;
}

} // namespace

QJsonObject chartJson(const ControlChart& chart, const SpecLimits& limits,
                      const QString& limitsNote) {
    return QJsonObject{{"count", chart.count()},
                       {"mean", jsonNumber(chart.mean())},
                       {"upperLimit", jsonNumber(chart.upperLimit())},
                       {"lowerLimit", jsonNumber(chart.lowerLimit())},
                       {"averageMovingRange", jsonNumber(chart.averageMovingRange())},
                       {"movingRangeLimit", jsonNumber(chart.movingRangeLimit())},
                       {"sigma", jsonNumber(chart.sigma())},
                       {"violations", breaksJson(chart.breaks())},
                       {"capability", capabilityJson(chart.capability(limits), limitsNote)}};
}

QJsonObject subgroupChartJson(const SubgroupChart& chart, const SpecLimits& limits,
                              const QString& limitsNote) {
    QJsonObject out{{"count", chart.count()},
                    {"nominalSize", chart.nominalSize()},
                    {"incomplete", indexesJson(chart.incomplete())},
                    {"grandMean", jsonNumber(chart.grandMean())},
                    {"averageRange", jsonNumber(chart.averageRange())},
                    {"upperLimit", jsonNumber(chart.upperLimit())},
                    {"lowerLimit", jsonNumber(chart.lowerLimit())},
                    {"rangeUpperLimit", jsonNumber(chart.rangeUpperLimit())},
                    {"rangeLowerLimit", jsonNumber(chart.rangeLowerLimit())},
                    {"sigmaWithin", jsonNumber(chart.sigmaWithin())},
                    {"violations", breaksJson(chart.breaks())},
                    {"rangeBreaks", indexesJson(chart.rangeBreaks())},
                    {"capability", capabilityJson(chart.capability(limits), limitsNote)}};
    if (!chart.incompleteNote().isEmpty()) out.insert("incompleteNote", chart.incompleteNote());
    if (!chart.message().isEmpty()) out.insert("message", chart.message());
    return out;
}

} // namespace q7rk
