#pragma once

#include <QString>
#include <utility>

namespace q7rk {

// Why a plant-database operation did not complete. The caller decides what to show; the
// message is already the operator's text.
enum class PlantFault {
    None,
    BadInput,     // a box holds something that cannot be sent (nothing was sent)
    NoDriver,     // the ODBC driver (Qt's or the data source's) cannot be loaded
    NoDataSource, // the data source is not set up on this computer
    LoginRefused, // the server refused the login
    ServerAway,   // the server cannot be reached, or went away during the work
    Rejected,     // the server refused a statement (missing table or column, bad value)
    CurveTooLong, // the Curve table has fewer sample columns than the curve
    Conflict,     // another writer had the same rows at the same moment; trying again mends it
    LocalStore,   // the local queue file cannot be read or written
    Cancelled,    // the operator stopped a read before its end
};

struct PlantStatus {
    PlantFault fault = PlantFault::None;
    QString message; // Chinese, names the cause; empty when fault is None

    bool ok() const { return fault == PlantFault::None; }
    static PlantStatus success() { return {}; }
    static PlantStatus failure(PlantFault fault, QString message) {
        return {fault, std::move(message)};
    }
};

// A value or the reason there is none.
template <typename T> struct PlantReply {
    T value{};
    PlantStatus status;

    bool ok() const { return status.ok(); }
    static PlantReply failed(PlantStatus status) { return {T{}, std::move(status)}; }
};

} // namespace q7rk
