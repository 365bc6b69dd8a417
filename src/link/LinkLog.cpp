#include "LinkLog.h"

namespace q7rk {

Q_LOGGING_CATEGORY(linkLog, "q7rk.link", QtWarningMsg)

} // namespace q7rk
