#pragma once

#include <QLoggingCategory>

namespace q7rk {

// "q7rk.quality": the trends' reading of the result files.
Q_DECLARE_LOGGING_CATEGORY(qualityLog)

} // namespace q7rk
