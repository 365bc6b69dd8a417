#include "UiLog.h"

namespace q7rk {

Q_LOGGING_CATEGORY(uiLog, "q7rk.ui", QtWarningMsg)

} // namespace q7rk
