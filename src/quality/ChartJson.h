#pragma once

#include "quality/ControlChart.h"

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

} // namespace q7rk
