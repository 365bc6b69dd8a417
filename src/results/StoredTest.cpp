#include "StoredTest.h"

#include "results/ResultSchema.h"
#include "settings/NumberText.h"

namespace q7rk {

QString StoredTest::value(const QString& field) const {
    const int i = fieldIndex(kind, field);
    return i < 0 ? QString() : values.value(i);
}

QString StoredTest::verdict() const {
    return value(storedField(kind, description(kind).verdictBox));
}

TestKey StoredTest::key() const {
    return {testNumber(), description(kind).storesBoilingMarks &&
                              parseBool(value(QStringLiteral("水煮后"))).value_or(false)};
}

void StoredTest::setValue(const QString& field, const QString& text) {
    const int i = fieldIndex(kind, field);
    if (i < 0) return;
    while (values.size() <= i)
        values << QString();
    values[i] = text;
}

QJsonArray curveToJson(const std::vector<CurvePoint>& curve) {
    QJsonArray out;
    for (const CurvePoint& p : curve)
        out.append(QJsonArray{p.volts, p.milliamperes});
    return out;
}

std::vector<CurvePoint> curveFromJson(const QJsonArray& json) {
    std::vector<CurvePoint> out;
    out.reserve(std::size_t(json.size()));
    for (const QJsonValue& p : json)
        out.push_back({p.toArray().at(0).toDouble(), p.toArray().at(1).toDouble()});
    return out;
}

} // namespace q7rk
