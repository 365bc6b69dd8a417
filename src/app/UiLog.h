#pragma once

#include <QLoggingCategory>

namespace q7rk {

// "q7rk.ui": what the window told and asked the operator and the answers (info), entries the
// panel refused (debug). Never what the operator typed into a question.
Q_DECLARE_LOGGING_CATEGORY(uiLog)

} // namespace q7rk
