#pragma once

#include "kinds/Box.h"
#include "settings/ChannelModel.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <span>

namespace q7rk {

// What a field of a parameter table holds. Numbers are REAL, texts and marks TEXT, dates
// TEXT written "yyyy/mm/dd" with zero padding so that they compare as dates.
enum class FieldType { Text, Number, Date, Mark };

struct FieldSpec {
    const char* name; // UTF-8, the table's own field name
    FieldType type;
    // Added after files of the kind were in use: they come last, a file written before lacks
    // them until it is next written, and reading such a file gives them blank.
    bool addedLater = false;
};

// Where a stored field comes from and goes back to. Display-only fields are written back but
// never read for a save (their stored value is worked out instead).
struct FieldBox {
    const char* field;
    Box box;
    bool displayOnly = false;
};

// One line of a channel's block on the printed report: label, box text, unit.
struct ReportLine {
    const char* label;
    Box box;
    const char* unit;
};

// A measured box and the box holding its limit: the verdict fails a test whose value lies
// below a lower limit or above an upper one. None is a value without a limit.
enum class LimitSide { None, Lower, Upper };
struct LimitPair {
    Box measured;
    Box limit;
    LimitSide side;
};

// Everything that makes one test kind what it is. Code asks this instead of branching on
// the kind, so a new kind is one more description (plus its evaluator and its page).
struct TestKindDescription {
    TestKind kind;
    const char* key;  // "tv": command lines, the runner's JSON, file names
    const char* name; // "TV", "漏电流", "电解液" as the operator's texts name the test
    Option option;    // the test-kind option that selects it

    // boxes
    Box voltageBox;        // set value of the poll, top of the voltage axis
    Box currentBox;        // test current of the poll
    Box verdictBox;        // "合格", "不合格", "待定", or "中断" after a stopped run
    Box testNumberBox;     // the number typed by the operator
    Box samplePositionBox; // the position that ends the test number
    Box operatorBox;
    Box dateBox;
    std::span<const Box> requiredBoxes; // a save refuses a channel with one of them blank
    std::span<const Box> resultBoxes;   // set to "0" by a new test; the verdict to "待定"
    std::span<const Box> lengthBoxes;   // their whole seconds add up to the test's length
    // The boxes the kind uses: choosing the kind enables them and disables the other kinds'.
    std::span<const Box> panelBoxes;
    // Captions of Label49..Label52 under the chart; nullptr keeps the caption shown.
    std::array<const char*, 4> readoutCaptions;
    // The time of the first characteristic point (point A, the first spark) once it is seen;
    // the test's end is known from then on. None: the end is known from the start.
    std::optional<Box> firstPointBox;
    // The comparisons of the verdict, also the tolerance limits a trend of the value shows.
    std::span<const LimitPair> limitPairs;

    // result file
    const char* fileName;  // in the working directory
    const char* tableName; // parameter table
    std::span<const FieldSpec> fields;
    std::span<const FieldBox> fieldBoxes;
    std::span<const char* const> searchFields; // the query window's list
    // A name the search list offers that the table does not have, and the field it means
    // (electrolyte: "火花电压" is the first spark's); empty where there is none.
    const char* searchAlias = "";
    const char* searchAliasField = "";
    std::span<const char* const> correctableFields; // the correction dialog's list
    // Measured fields whose correction offers to judge the stored verdict again.
    std::span<const char* const> rejudgedFields;
    bool storesBoilingMarks; // 水煮前/水煮后/头位置/尾位置 of the group and position
    bool uploadedToPlant;    // a stored test also goes to the plant's database

    // printed report
    const char* reportTitle;
    std::span<const ReportLine> reportLines;
    std::span<const ReportLine> extraReportLines; // printed beside the chart

    // The box beside Label50 shows the second of the peak voltage (not so where that box is
    // a spark's voltage).
    bool showsPeakTime;
    // A stored test's curve is marked at its peak ("B点") when it is shown again.
    bool marksPeakWhenShown;

    // The set point the poll sends is the voltage box times this (TV drives above the
    // formation voltage).
    double setVoltageFactor;

    // texts
    const char* queryItem;      // the query window's kind list: "TV测试"
    const char* closedPhrase;   // "路关闭" after a new test
    const char* incompleteText; // a save of a test whose fields cannot be stored
    const char* waitingText;    // "等待A点" while the end is not known yet
};

const TestKindDescription& description(TestKind kind);
// Every kind, in the order of the test-kind options and of the kind lists.
std::span<const TestKind> allKinds();
// The kind at a place of a kind list; no selection (or a place past the end) reads as the first.
TestKind kindAt(int index);

// "第1路开始TV测试" and "路TV测试结束" without the channel part.
QString startPhrase(TestKind kind);
QString endPhrase(TestKind kind);
// A stored test is known by its number (the number box and the sample position) and, for the
// kinds that keep the boiling marks, whether it was measured after boiling: one foil is
// tested before boiling and again after, under the same number.
struct TestKey {
    QString number;
    bool afterBoiling = false;

    bool operator==(const TestKey&) const = default;
};
// "R0702HL", or "R0702HL（水煮后）" for a test after boiling.
QString shownKey(const TestKey& key);

// The refusal of a test that is already stored, at the start of a run and at a save.
QString duplicateNumberText(TestKind kind, const TestKey& key);

std::optional<TestKind> kindFromKey(const QString& key);
QString kindKey(TestKind kind);
QStringList utf8List(std::span<const char* const> names);

// A time in a box counts as whole seconds: to the nearest, halves to even (2.5 -> 2,
// 3.5 -> 4); anything out of range counts as 0.
int wholeSeconds(double value);

// The number box and the position of a stored test number, where it ends with a position.
struct SplitTestNumber {
    QString number;
    QString position;
};
std::optional<SplitTestNumber> splitTestNumber(const QString& whole);

// Which voltage of the first spark the electrolyte verdict compares with the reference: the
// sample after the fall (the spark voltage as it always was) or the one before it. The
// settings key sparkVerdictVoltage says "after" (the default) or "before".
enum class SparkVoltageRule { AfterFall, BeforeFall };
SparkVoltageRule sparkVoltageRule(const QString& setting);

// An electrolyte test without any spark has no first spark time; it held at its set voltage.
bool neverSparked(const std::function<double(Box)>& number);

// The pass/fail rule of each kind over the numbers of its boxes (a blank counts as 0): its
// limit pairs, the end of a run judges with it, a corrected record is judged again with it.
// An electrolyte test that never sparked is judged by its set voltage.
bool verdictFails(TestKind kind, const std::function<double(Box)>& number,
                  SparkVoltageRule rule = SparkVoltageRule::AfterFall);
// "不合格" or "合格".
QString verdictText(bool failed);
// "中断": the verdict box of a test the run stopped before its end; no verdict, as 待定.
QString interruptedText();

} // namespace q7rk
