#include "PlantLog.h"

namespace q7rk {

Q_LOGGING_CATEGORY(plantLog, "q7rk.plant", QtWarningMsg)

const char* faultName(PlantFault fault) {
    switch (fault) {
    case PlantFault::None:
        return "None";
    case PlantFault::BadInput:
        return "BadInput";
    case PlantFault::NoDriver:
        return "NoDriver";
    case PlantFault::NoDataSource:
        return "NoDataSource";
    case PlantFault::LoginRefused:
        return "LoginRefused";
    case PlantFault::ServerAway:
        return "ServerAway";
    case PlantFault::Rejected:
        return "Rejected";
    case PlantFault::CurveTooLong:
        return "CurveTooLong";
    case PlantFault::Conflict:
        return "Conflict";
    case PlantFault::LocalStore:
        return "LocalStore";
    case PlantFault::Cancelled:
        return "Cancelled";
    }
    return "?";
}

} // namespace q7rk
