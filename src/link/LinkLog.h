#pragma once

#include <QLoggingCategory>

namespace q7rk {

// "q7rk.link": links opened, closed and lost, and time-outs (debug, info); replies rejected
// (warnings).
Q_DECLARE_LOGGING_CATEGORY(linkLog)

} // namespace q7rk
