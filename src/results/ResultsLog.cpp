#include "ResultsLog.h"

namespace q7rk {

Q_LOGGING_CATEGORY(resultsLog, "q7rk.results", QtWarningMsg)

} // namespace q7rk
