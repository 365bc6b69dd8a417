#include "kinds/KindTables.h"

namespace q7rk::kinds {

namespace {

using enum Box;
using enum FieldType;

constexpr Box kRequired[] = {TvTestNumber, TvOperator};
constexpr Box kResults[] = {RiseTime, TvValue};
constexpr Box kLength[] = {DelayTime, RiseTime};
// Below the formation voltage, or too slow to get there.
constexpr LimitPair kLimits[] = {{TvValue, FormationVoltage, LimitSide::Lower},
                                 {RiseTime, RiseTimeLimit, LimitSide::Upper}};
constexpr Box kPanel[] = {FormationVoltage, VrRatio,  TestCurrent, DelayTime,
                          RiseTimeLimit,    RiseTime, TvValue,     TvVerdict};

constexpr FieldSpec kFields[] = {
    {"测试编号", Text},       {"化成电压", Number}, {"测试电流", Number}, {"延迟时间", Number},
    {"升压时间指标", Number}, {"升压时间", Number}, {"TV值", Number},     {"TV特性", Text},
    {"水温度", Number},       {"采样次数", Number}, {"Vmax", Number},     {"水煮前", Mark},
    {"水煮后", Mark},         {"头位置", Mark},     {"尾位置", Mark},     {"测试人", Text},
    {"测试日期", Date},
};

constexpr FieldBox kFieldBoxes[] = {
    {"化成电压", FormationVoltage},
    {"测试电流", TestCurrent},
    {"延迟时间", DelayTime},
    {"升压时间指标", RiseTimeLimit},
    {"升压时间", RiseTime},
    {"TV值", TvValue},
    {"TV特性", TvVerdict},
    {"水温度", WaterTemperature},
    {"Vmax", Readout51},
    {"测试人", TvOperator},
    {"测试日期", TvTestDate},
    {"升压时间", Readout49, true},
    {"测试编号", TvTestNumber, true},
};

constexpr const char* kSearch[] = {"化成电压", "测试电流", "升压时间", "测试编号",
                                   "测试人",   "测试日期", "TV特性"};
constexpr const char* kRejudged[] = {"升压时间", "TV值"};
constexpr const char* kCorrectable[] = {
    "化成电压", "测试电流", "延迟时间", "升压时间指标", "升压时间", "TV值",   "水温度",
    "TV特性",   "水煮前",   "水煮后",   "头位置",       "尾位置",   "测试人", "测试日期"};

constexpr ReportLine kReport[] = {
    {"化成电压：", FormationVoltage, "V"}, {"测试电流：", TestCurrent, "mA"},
    {"延迟时间：", DelayTime, "S"},        {"升压时间指标：", RiseTimeLimit, "S"},
    {"升压时间：", RiseTime, "S"},         {"TV值：", TvValue, "V"},
    {"TV特性：", TvVerdict, ""},           {"测试员：", TvOperator, ""},
    {"测试编号：", TvTestNumber, ""},      {"测试日期：", TvTestDate, ""},
};

} // namespace

const TestKindDescription& tv() {
    static const TestKindDescription d{
        .kind = TestKind::Tv,
        .key = "tv",
        .name = "TV",
        .option = Option::TvTest,
        .voltageBox = FormationVoltage,
        .currentBox = TestCurrent,
        .verdictBox = TvVerdict,
        .testNumberBox = TvTestNumber,
        .samplePositionBox = SamplePosition,
        .operatorBox = TvOperator,
        .dateBox = TvTestDate,
        .requiredBoxes = kRequired,
        .resultBoxes = kResults,
        .lengthBoxes = kLength,
        .panelBoxes = kPanel,
        .readoutCaptions = {"TA", "TB", nullptr, "VT"},
        .firstPointBox = RiseTime,
        .limitPairs = kLimits,
        .fileName = "lb53A100.db",
        .tableName = "铝箔TV参数",
        .fields = kFields,
        .fieldBoxes = kFieldBoxes,
        .searchFields = kSearch,
        .correctableFields = kCorrectable,
        .rejudgedFields = kRejudged,
        .storesBoilingMarks = true,
        .uploadedToPlant = true,
        .reportTitle = "Q-7RK-M智能TV仪铝箔特性测试报告",
        .reportLines = kReport,
        .extraReportLines = {},
        .showsPeakTime = true,
        .marksPeakWhenShown = true,
        .setVoltageFactor = 1.25,
        .queryItem = "TV测试",
        .closedPhrase = "路关闭",
        .incompleteText = "测试数据不完整，本次测试无效！请确认完整后，再重新保存！",
        .waitingText = "等待A点",
    };
    return d;
}

} // namespace q7rk::kinds
