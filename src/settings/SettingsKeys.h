#pragma once

#include <QString>
#include <span>

namespace q7rk {

namespace section {
inline const QString Canshu = QStringLiteral("canshu"); // parameters, factors, flags
inline const QString Topic = QStringLiteral("topic");   // operator names, company line
} // namespace section

// The instrument's network address and port as last connected to (Text41, Text42).
namespace key {
constexpr const char* InstrumentAddress = "RJ45IP";
constexpr const char* InstrumentPort = "RJ45Port";

// The calibration factors of each channel ("Vadjust(" i ")"): written by 校准 the moment
// they change, read at start-up.
constexpr const char* VoltageAdjust = "Vadjust(";
constexpr const char* CurrentAdjust = "Iadjust(";
constexpr const char* VoltageControl = "KV(";
constexpr const char* CurrentControl = "KI(";

// The time-axis factor of each channel's chart ("hxfd(" i ")") and of the group charts.
constexpr const char* TimeScale = "hxfd(";
constexpr const char* GroupTimeScale = "hxfd16";

// How long a plant database connection waits for its login and for a statement, in seconds.
constexpr const char* PlantLoginTimeout = "plantLoginTimeout";
constexpr const char* PlantStatementTimeout = "plantStatementTimeout";

// Where the merged report program (合并报表) lives, when not in the program's own folder.
constexpr const char* MergedReportProgram = "hbbbProgram";
// Which voltage of an electrolyte test's first spark is judged against the reference:
// "after" the fall (the spark voltage) or "before" it.
constexpr const char* SparkVerdictVoltage = "sparkVerdictVoltage";
// Whether a group's plant upload asks about every piece ("each", the default) or once for
// all of them, with one summary after ("once").
constexpr const char* UploadConfirm = "uploadConfirm";
// The quality trend window's last filters (source, kind, fields, condition, grade,
// line...) as a JSON object, so that it opens as it was left.
constexpr const char* TrendFilters = "trendFilters";
} // namespace key

// One entry per key of the store. Indexed keys ("hcdy(" i ")") carry their base name with
// the opening bracket and the number of indexes they take: 6 for channel keys, 2 for the
// group options, 0 for a plain key.
struct KeyDefinition {
    const char* section;
    const char* base;
    int indexCount;
    const char* initial;
};

std::span<const KeyDefinition> keyDefinitions();

// "hcdy(" and 3 -> "hcdy(3)".
QString indexedKey(const QString& base, int index);

// The initial value of a key such as "HCDY(4)" or "hxfd16" (compared without regard to
// case), or a null QString when the key is not one of ours.
QString initialValue(const QString& section, const QString& key);

} // namespace q7rk
