#pragma once

#include <QLoggingCategory>

namespace q7rk {

// "q7rk.results": the result files' faults (warnings) and what an engineer needs to follow
// them (debug, info).
Q_DECLARE_LOGGING_CATEGORY(resultsLog)

} // namespace q7rk
