#pragma once

#include "plant/PlantStatus.h"

#include <QLoggingCategory>

namespace q7rk {

// "q7rk.plant": connections to the plant database, uploads and their classified failures
// (info), pieces held for the operator and outbox faults (warnings). Never a password nor a
// connection text: the data source is named by its name.
Q_DECLARE_LOGGING_CATEGORY(plantLog)

// The fault as the log names it ("LoginRefused").
const char* faultName(PlantFault fault);

} // namespace q7rk
