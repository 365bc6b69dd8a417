#include "RunLog.h"

namespace q7rk {

Q_LOGGING_CATEGORY(runLog, "q7rk.run", QtWarningMsg)

} // namespace q7rk
