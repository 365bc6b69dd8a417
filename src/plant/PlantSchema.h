#pragma once

#include "plant/PlantStatus.h"

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

} // namespace plantSchema
} // namespace q7rk
