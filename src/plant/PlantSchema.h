#pragma once

#include "plant/PlantStatus.h"

#include <QJsonObject>
#include <QStringList>
#include <vector>

namespace q7rk {

class PlantConnection;

// The four plant tables for a database of our own (the set-up tool and the tests); the
// plant's server has its own. Sample columns are named 0, 1, 2, ... as the uploads write
// them; how many fit is the server's limit on columns per table.
namespace plantSchema {

constexpr int SqliteSampleColumns = 1998;   // 2000 columns per table
constexpr int PostgresSampleColumns = 1598; // 1600 columns per table

// The indexes of Curve's sample columns among a table's column names, ascending: a name
// that is a plain decimal ("0", "17"; not "017" or "ID") is a sample column.
std::vector<int> sampleIndexes(const QStringList& columnNames);
// How many sample columns run from "0" without a gap: the longest curve a row can hold.
int leadingSamples(const std::vector<int>& indexes);

// Creates what is missing; existing tables and their rows stay.
PlantStatus create(PlantConnection& c, int sampleColumns);
// Drops the four tables (tests start from nothing).
PlantStatus drop(PlantConnection& c);

// What an existing plant database lacks for this program, changing nothing. Columns are
// found by name, in any order, beside any others; each needed one must read back as what
// the program binds to it (text or number), its type named as the server declares it:
//   {"tables": {"Curve": {"present": true, "columns": [...], "missing": [...],
//                         "types": {"SerNum": "varchar(255)", ...},
//                         "unusable": [{"column": C, "type": T, "needs": "number"}]}, ...},
//    "sampleColumns": {"count": N, "first": 0, "last": N-1, "gaps": [[from, to], ...],
//                      "unusable": [...], "longestCurve": {"samples": M, "seconds": M,
//                      "riseTimeBeforeBoiling": M-180, "riseTimeAfterBoiling": M-60}},
//    "missingIndexes": [{"table": T, "columns": [...], "create": "create unique index ..."}],
//    "recommendedIndexes": [{"table": T, "columns": [...], "create": "create index ...",
//                            "for": "..."}]}
// "missingIndexes" is null on a server whose index catalogue is not known here, and so is
// "recommendedIndexes": indexes the reads of the quality trends want, which the program
// never creates (the plant's database is its administrator's) and which do not make the
// database incomplete. A table
// that cannot be read for another reason than its absence (no server, no login) fails.
PlantReply<QJsonObject> check(PlantConnection& c);
// Nothing missing or unusable in what check() found, and sample columns from "0" on
// without a gap.
bool complete(const QJsonObject& report);

} // namespace plantSchema
} // namespace q7rk
