#include "kinds/KindTables.h"

namespace q7rk::kinds {

namespace {

using enum Box;
using enum FieldType;

constexpr Box kRequired[] = {LeakageVoltage, LeakageTestTime};
constexpr Box kResults[] = {LeakageCurrent};
constexpr Box kLength[] = {LeakageTestTime}; // counted from the start of the run

constexpr FieldSpec kFields[] = {
    {"测试编号", Text},   {"漏电流电压", Number}, {"测试电流", Number}, {"漏电流指标", Number},
    {"测试时间", Number}, {"漏电流", Number},     {"水温度", Number},   {"漏电流特性", Text},
    {"采样次数", Number}, {"水煮前", Mark},       {"水煮后", Mark},     {"头位置", Mark},
    {"尾位置", Mark},     {"测试人", Text},       {"测试日期", Date},
};
constexpr LimitPair kLimits[] = {{LeakageCurrent, LeakageLimit, LimitSide::Upper}};
constexpr Box kPanel[] = {TestCurrent,     LeakageVoltage, LeakageLimit,
                          LeakageTestTime, LeakageCurrent, LeakageVerdict};

constexpr FieldBox kFieldBoxes[] = {
    {"漏电流电压", LeakageVoltage},   {"测试电流", TestCurrent},     {"漏电流指标", LeakageLimit},
    {"测试时间", LeakageTestTime},    {"漏电流", LeakageCurrent},    {"水温度", WaterTemperature},
    {"漏电流特性", LeakageVerdict},   {"测试人", TvOperator},        {"测试日期", TvTestDate},
    {"测试编号", TvTestNumber, true}, {"采样次数", Readout50, true},
};

constexpr const char* kSearch[] = {"漏电流电压", "漏电流",   "测试时间",  "测试编号",
                                   "测试人",     "测试日期", "漏电流特性"};
constexpr const char* kRejudged[] = {"漏电流"};
constexpr const char* kCorrectable[] = {
    "漏电流电压", "测试电流", "漏电流指标", "测试时间", "漏电流", "水温度",  "漏电流特性",
    "水煮前",     "水煮后",   "头位置",     "尾位置",   "测试人", "测试日期"};

constexpr ReportLine kReport[] = {
    {"漏电流电压：", LeakageVoltage, "V"}, {"测试电流：", TestCurrent, "mA"},
    {"漏电流指标：", LeakageLimit, "mA"},  {"测试时间：", LeakageTestTime, "S"},
    {"漏电流：", LeakageCurrent, "mA"},    {"漏电流特性：", LeakageVerdict, ""},
    {"测试员：", TvOperator, ""},          {"测试编号：", TvTestNumber, ""},
    {"测试日期：", TvTestDate, ""},
};

} // namespace

const TestKindDescription& leakage() {
    static const TestKindDescription d{
        .kind = TestKind::Leakage,
        .key = "leakage",
        .name = "漏电流",
        .option = Option::LeakageTest,
        .voltageBox = LeakageVoltage,
        .currentBox = TestCurrent,
        .verdictBox = LeakageVerdict,
        .testNumberBox = TvTestNumber,
        .samplePositionBox = SamplePosition,
        .operatorBox = TvOperator,
        .dateBox = TvTestDate,
        .requiredBoxes = kRequired,
        .resultBoxes = kResults,
        .lengthBoxes = kLength,
        .panelBoxes = kPanel,
        .readoutCaptions = {"TA", "T", nullptr, "漏电"},
        .firstPointBox = std::nullopt,
        .limitPairs = kLimits,
        .fileName = "ldl53A100.db",
        .tableName = "漏电流参数",
        .fields = kFields,
        .fieldBoxes = kFieldBoxes,
        .searchFields = kSearch,
        .correctableFields = kCorrectable,
        .rejudgedFields = kRejudged,
        .storesBoilingMarks = true,
        .uploadedToPlant = false,
        .reportTitle = "Q-7RK-M智能TV仪漏电流测试报告",
        .reportLines = kReport,
        .extraReportLines = {},
        .showsPeakTime = true,
        .marksPeakWhenShown = false,
        .setVoltageFactor = 1.0,
        .queryItem = "漏电流测试",
        .closedPhrase = "路关闭：",
        .incompleteText = "测试数据不完整，本次测试无效！请确认完整后，再重新保存！",
        .waitingText = "",
    };
    return d;
}

} // namespace q7rk::kinds
