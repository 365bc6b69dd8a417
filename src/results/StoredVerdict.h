#pragma once

#include "kinds/TestKindDescription.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace q7rk {

// A stored test's verdict judged again after one of its measured fields is corrected.
struct Rejudgement {
    QString verdictField; // "TV特性", "漏电流特性", "判定结果"
    QString before;       // as stored
    QString after;        // by the kind's rule over the record's own limits and the new value
};

// `values` are the stored test's fields in table order, as shown. nullopt when the field
// does not bear on the verdict or the new value is no number.
std::optional<Rejudgement> rejudge(TestKind kind, const QStringList& values, const QString& field,
                                   const QString& value,
                                   SparkVoltageRule rule = SparkVoltageRule::AfterFall);

} // namespace q7rk
