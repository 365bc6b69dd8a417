#pragma once

#include "kinds/TestKindDescription.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <optional>
#include <utility>

namespace q7rk {

class ResultFile;

// What a test was measured under, so a doubtful result can be traced to a channel that was
// calibrated differently, a link that lost replies or an older program: the channel's
// calibration factors at the end of the run, the link, the program's version, the run's
// polls, lost replies and rejected frames, and when the run started and ended.
struct RunConditions {
    // NaN where not known (a test imported from the old program's files).
    double voltageAdjust = 1;  // Vadjust: measured-voltage correction
    double currentAdjust = 1;  // Iadjust: measured-current correction
    double voltageControl = 1; // KV: set-voltage correction
    double currentControl = 1; // KI: set-current correction
    QString link;              // "COM1 (/dev/ttyS0)", "192.168.0.10:4001"
    QString version;
    qint64 polls = 0;
    qint64 lostReplies = 0;    // time-outs and replies that never came
    qint64 rejectedFrames = 0; // replies that came broken, cut short or with a wrong code
    // Samples a late sampling tick took from an earlier reading (the program was held up).
    qint64 lateSamples = 0;
    QDateTime started;
    QDateTime ended;
};

// The table "测量条件" of a result file: one row per stored test, keyed by "测试编号" and
// "水煮后" (a file of an older version keys it by the number alone until it is next written). Files
// written before it existed lack it; it is made when a file is next written. A table made
// before a column was added gets it then too, and reads without it meanwhile.
inline constexpr const char* ConditionsTableName = "测量条件";

QSqlError createConditionsTable(const ResultFile& file);
// Replaces any row the number has (left by a test another program deleted).
QSqlError insertConditions(const ResultFile& file, const TestKey& key,
                           const RunConditions& conditions);
// The same for many tests of one transaction, through one prepared statement.
class ConditionsWriter {
public:
    explicit ConditionsWriter(const ResultFile& file);
    QSqlError write(const TestKey& key, const RunConditions& conditions);

private:
    QSqlQuery m_insert;
};
// Nothing to do when the file has no such table.
QSqlError deleteConditions(const ResultFile& file, const TestKey& key);
// nullopt when the file has no table or no row for the test.
std::optional<RunConditions> readConditions(const ResultFile& file, const TestKey& key);
// Every value, for a copy kept elsewhere (a deleted test, the recovery journal).
QJsonObject conditionsToJson(const RunConditions& conditions);
RunConditions conditionsFromJson(const QJsonObject& json);

// The row as shown: column name and text, in table order (after the test number).
QList<std::pair<QString, QString>> shownConditions(const RunConditions& conditions);

} // namespace q7rk
