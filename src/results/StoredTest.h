#pragma once

#include "results/RunConditions.h"
#include "settings/ChannelModel.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace q7rk {

struct CurvePoint {
    double volts;        // to 0.1 V
    double milliamperes; // to 0.001 mA
};

// One stored test as the program sees it: the parameter row as texts in the table's field
// order (an empty text is a value not given) and the curve, sample 1 first. A loaded curve
// ends before the first missing sample; a stored value that is no number reads as NaN.
struct StoredTest {
    TestKind kind = TestKind::Tv;
    QStringList values;
    std::vector<CurvePoint> curve;
    // Saved beside the test when given; read back when the file holds them.
    std::optional<RunConditions> conditions;

    QString testNumber() const { return values.value(0); }
    // The text of its verdict field: "合格", "不合格".
    QString verdict() const;
    // The number and the boiling state the test is stored under.
    TestKey key() const;
    // Text of a field by name; empty for a field the kind does not have.
    QString value(const QString& field) const;
    void setValue(const QString& field, const QString& text);
};

// A curve as JSON pairs [volts, mA]: every bit of each sample kept.
QJsonArray curveToJson(const std::vector<CurvePoint>& curve);
std::vector<CurvePoint> curveFromJson(const QJsonArray& json);

} // namespace q7rk
