#pragma once

#include "plant/PlantStatus.h"

#include <QJsonObject>

namespace q7rk {

class PlantConnection;

// The four plant tables for a database of our own (the set-up tool and the tests); the
// plant's server has its own. Sample columns are named 0, 1, 2, ... as the uploads write
// them; how many fit is the server's limit on columns per table.
namespace plantSchema {

constexpr int SqliteSampleColumns = 1998;   // 2000 columns per table
constexpr int PostgresSampleColumns = 1598; // 1600 columns per table

// Creates what is missing; existing tables and their rows stay.
PlantStatus create(PlantConnection& c, int sampleColumns);
// Drops the four tables (tests start from nothing).
PlantStatus drop(PlantConnection& c);

// What an existing plant database lacks for this program, changing nothing:
//   {"tables": {"Curve": {"present": true, "columns": [...], "missing": [...]}, ...},
//    "sampleColumns": N,
//    "missingIndexes": [{"table": T, "columns": [...], "create": "create unique index ..."}]}
// "missingIndexes" is null on a server whose index catalogue is not known here. A table
// that cannot be read for another reason than its absence (no server, no login) fails.
PlantReply<QJsonObject> check(PlantConnection& c);
// Nothing missing in what check() found.
bool complete(const QJsonObject& report);

} // namespace plantSchema
} // namespace q7rk
