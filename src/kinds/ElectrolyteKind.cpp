#include "kinds/KindTables.h"

namespace q7rk::kinds {

namespace {

using enum Box;
using enum FieldType;

constexpr Box kRequired[] = {ElectrolyteTestNumber};
constexpr Box kResults[] = {MaximumVoltage,      MinimumVoltage,     SparkVoltage1,
                            SparkTime1,          SparkVoltage2,      SparkTime2,
                            SparkVoltage3,       SparkTime3,         VoltageBeforeSpark1,
                            VoltageBeforeSpark2, VoltageBeforeSpark3};
constexpr Box kLength[] = {SparkDelay, SparkTime1}; // the flash delay counts from the spark

constexpr FieldSpec kFields[] = {
    {"测试编号", Text},
    {"测试电流", Number},
    {"设定电压", Number},
    {"参考电压", Number},
    {"闪火延时", Number},
    {"闪火修正", Number},
    {"最大电压", Number},
    {"最小电压", Number},
    {"火花电压1", Number},
    {"火花时间1", Number},
    {"火花电压2", Number},
    {"火花时间2", Number},
    {"火花电压3", Number},
    {"火花时间3", Number},
    {"判定结果", Text},
    {"采样次数", Number},
    {"测试人", Text},
    {"测试日期", Date},
    {"闪火前电压1", Number, true},
    {"闪火前电压2", Number, true},
    {"闪火前电压3", Number, true},
};
// The first spark below the reference voltage.
constexpr LimitPair kLimits[] = {{SparkVoltage1, ReferenceVoltage, LimitSide::Lower}};
constexpr Box kPanel[] = {ElectrolyteCurrent,    ElectrolyteSetVoltage,
                          ReferenceVoltage,      SparkDelay,
                          SparkCorrection,       MaximumVoltage,
                          ElectrolyteVerdict,    MinimumVoltage,
                          SparkVoltage1,         SparkTime1,
                          SparkVoltage2,         SparkTime2,
                          SparkVoltage3,         SparkTime3,
                          ElectrolyteTestNumber, ElectrolyteOperator,
                          ElectrolyteTestDate,   Readout50,
                          VoltageBeforeSpark1,   VoltageBeforeSpark2,
                          VoltageBeforeSpark3};

constexpr FieldBox kFieldBoxes[] = {
    {"测试电流", ElectrolyteCurrent},
    {"设定电压", ElectrolyteSetVoltage},
    {"参考电压", ReferenceVoltage},
    {"闪火延时", SparkDelay},
    {"闪火修正", SparkCorrection},
    {"最大电压", MaximumVoltage},
    {"最小电压", MinimumVoltage},
    {"火花电压1", SparkVoltage1},
    {"火花时间1", SparkTime1},
    {"火花电压2", SparkVoltage2},
    {"火花时间2", SparkTime2},
    {"火花电压3", SparkVoltage3},
    {"火花时间3", SparkTime3},
    {"判定结果", ElectrolyteVerdict},
    {"测试人", ElectrolyteOperator},
    {"测试日期", ElectrolyteTestDate},
    {"测试编号", ElectrolyteTestNumber, true},
    {"采样次数", Readout49, true},
    {"闪火前电压1", VoltageBeforeSpark1},
    {"闪火前电压2", VoltageBeforeSpark2},
    {"闪火前电压3", VoltageBeforeSpark3},
};

constexpr const char* kSearch[] = {"测试电流", "设定电压", "火花电压", "测试编号",
                                   "测试人",   "测试日期", "判定结果"};
constexpr const char* kRejudged[] = {"火花电压1"};
constexpr const char* kCorrectable[] = {"测试电流",  "设定电压",  "参考电压",  "闪火延时",
                                        "闪火修正",  "最大电压",  "最小电压",  "火花电压1",
                                        "火花时间1", "火花电压2", "火花时间2", "火花电压3",
                                        "火花时间3", "判定结果",  "测试人",    "测试日期"};

constexpr ReportLine kReport[] = {
    {"测试电流：", ElectrolyteCurrent, "mA"},  {"参考电压：", ReferenceVoltage, "V"},
    {"闪火延时：", SparkDelay, "S"},           {"闪火修正：", SparkCorrection, "V"},
    {"最大电压：", MaximumVoltage, "V"},       {"最小电压：", MinimumVoltage, "V"},
    {"判定结果：", ElectrolyteVerdict, ""},    {"测试员：", ElectrolyteOperator, ""},
    {"测试编号：", ElectrolyteTestNumber, ""}, {"测试日期：", ElectrolyteTestDate, ""},
};
constexpr ReportLine kSparkLines[] = {
    {"火花电压1：", SparkVoltage1, "V"},         {"火花时间1：", SparkTime1, "S"},
    {"火花电压2：", SparkVoltage2, "V"},         {"火花时间2：", SparkTime2, "S"},
    {"火花电压3：", SparkVoltage3, "V"},         {"火花时间3：", SparkTime3, "S"},
    {"闪火前电压1：", VoltageBeforeSpark1, "V"}, {"闪火前电压2：", VoltageBeforeSpark2, "V"},
    {"闪火前电压3：", VoltageBeforeSpark3, "V"},
};

} // namespace

const TestKindDescription& electrolyte() {
    static const TestKindDescription d{
        .kind = TestKind::Electrolyte,
        .key = "electrolyte",
        .name = "电解液",
        .option = Option::ElectrolyteTest,
        .voltageBox = ElectrolyteSetVoltage,
        .currentBox = ElectrolyteCurrent,
        .verdictBox = ElectrolyteVerdict,
        .testNumberBox = ElectrolyteTestNumber,
        .samplePositionBox = ElectrolyteSamplePosition,
        .operatorBox = ElectrolyteOperator,
        .dateBox = ElectrolyteTestDate,
        .requiredBoxes = kRequired,
        .resultBoxes = kResults,
        .lengthBoxes = kLength,
        .panelBoxes = kPanel,
        .readoutCaptions = {"火花1", "火花2", "Vm", "火花3"},
        .firstPointBox = SparkTime1,
        .limitPairs = kLimits,
        .fileName = "djy53A100.db",
        .tableName = "电解液参数",
        .fields = kFields,
        .fieldBoxes = kFieldBoxes,
        .searchFields = kSearch,
        .searchAlias = "火花电压",
        .searchAliasField = "火花电压1",
        .correctableFields = kCorrectable,
        .rejudgedFields = kRejudged,
        .storesBoilingMarks = false,
        .uploadedToPlant = false,
        .reportTitle = "Q-7RK-M智能TV仪电解液测试报告",
        .reportLines = kReport,
        .extraReportLines = kSparkLines,
        .showsPeakTime = false,
        .marksPeakWhenShown = false,
        .setVoltageFactor = 1.0,
        .queryItem = "电解液测试",
        .closedPhrase = "路关闭：",
        .incompleteText = "参数设定不能为空！请确认完整后，再重新保存！",
        .waitingText = "等待火花",
    };
    return d;
}

} // namespace q7rk::kinds
