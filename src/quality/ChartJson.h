#pragma once

#include "quality/ControlChart.h"
#include "quality/SubgroupChart.h"

#include <QJsonObject>
#include <QJsonValue>
#include <optional>

namespace q7rk {

// A number, or null.
QJsonValue jsonNumber(const std::optional<double>& value);

// An individuals chart as the command-line tools print it: count, mean, limits, MR̄ and its
// limit, sigma, the rules broken with their points, and the capability against `limits`
// (its message replaced by `limitsNote` where there is one).
QJsonObject chartJson(const ControlChart& chart, const SpecLimits& limits,
                      const QString& limitsNote = {});

// An average and range chart the same way: its nominal size, the incomplete subgroups and
// the note on them, X̄̄, R̄, the limits of both charts, sigma within, the rules the averages
// break (subgroup indexes), the ranges beyond their limits and the capability.
QJsonObject subgroupChartJson(const SubgroupChart& chart, const SpecLimits& limits,
                              const QString& limitsNote = {});

} // namespace q7rk
