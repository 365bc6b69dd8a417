#pragma once

#include <QLoggingCategory>

namespace q7rk {

// "q7rk.run": the runs of the tests (starts, ends and why, sampling that fell behind).
Q_DECLARE_LOGGING_CATEGORY(runLog)

} // namespace q7rk
