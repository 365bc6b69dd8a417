#include "QualityLog.h"

namespace q7rk {

Q_LOGGING_CATEGORY(qualityLog, "q7rk.quality", QtWarningMsg)

} // namespace q7rk
