#include "quality/ChartJson.h"

#include <QJsonArray>

namespace q7rk {

QJsonValue jsonNumber(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonObject chartJson(const ControlChart& chart, const SpecLimits& limits,
                      const QString& limitsNote) {
    QJsonArray breaks;
    for (const RuleBreak& b : chart.breaks()) {
        QJsonArray indexes;
        for (const int i : b.points)
            indexes.append(i);
        breaks.append(QJsonObject{
            {"rule", ruleKey(b.rule)}, {"name", ruleName(b.rule)}, {"points", indexes}});
    }
    Capability cap = chart.capability(limits);
    if (!limitsNote.isEmpty()) cap.message = limitsNote;
    QJsonObject capability{{"count", cap.count},
                           {"lowerSpec", jsonNumber(cap.limits.lower)},
                           {"upperSpec", jsonNumber(cap.limits.upper)},
                           {"cpk", jsonNumber(cap.cpk)},
                           {"ppk", jsonNumber(cap.ppk)},
                           {"inControl", cap.inControl}};
    if (!cap.message.isEmpty()) capability.insert("message", cap.message);
    return QJsonObject{{"count", chart.count()},
                       {"mean", jsonNumber(chart.mean())},
                       {"upperLimit", jsonNumber(chart.upperLimit())},
                       {"lowerLimit", jsonNumber(chart.lowerLimit())},
                       {"averageMovingRange", jsonNumber(chart.averageMovingRange())},
                       {"movingRangeLimit", jsonNumber(chart.movingRangeLimit())},
                       {"sigma", jsonNumber(chart.sigma())},
                       {"violations", breaks},
                       {"capability", capability}};
}

} // namespace q7rk
