#include "PanelCaptions.h"

#include <array>

namespace q7rk {

namespace {

// How a caption carries the channel number.
enum class Numbered {
    No,     // "测试编号："
    Colon,  // "化成电压" + n + "："
    Suffix, // "火花电压" + n + spark number
};

struct CaptionRow {
    Box box;
    const char* stem;
    Numbered numbered;
    int spark; // 1..3 for the spark boxes
    const char* unit;
};

constexpr std::array kCaptions{
    // TV / leakage page
    CaptionRow{Box::FormationVoltage, "化成电压", Numbered::Colon, 0, "V"},
    CaptionRow{Box::VrRatio, "Vr取值比", Numbered::Colon, 0, "%"},
    CaptionRow{Box::TestCurrent, "测试电流", Numbered::Colon, 0, "mA"},
    CaptionRow{Box::DelayTime, "延迟时间", Numbered::Colon, 0, "S"},
    CaptionRow{Box::RiseTimeLimit, "升压时间指标", Numbered::Colon, 0, "S"},
    CaptionRow{Box::RiseTime, "升压时间", Numbered::Colon, 0, "S"},
    CaptionRow{Box::TvValue, "TV值", Numbered::Colon, 0, "V"},
    CaptionRow{Box::TvVerdict, "TV特性", Numbered::Colon, 0, ""},
    CaptionRow{Box::LeakageVoltage, "漏电流电压", Numbered::Colon, 0, "V"},
    CaptionRow{Box::LeakageLimit, "漏电流指标", Numbered::Colon, 0, "mA"},
    CaptionRow{Box::LeakageTestTime, "测试时间", Numbered::Colon, 0, "S"},
    CaptionRow{Box::LeakageCurrent, "漏电流", Numbered::Colon, 0, "mA"},
    CaptionRow{Box::LeakageVerdict, "漏电流特性", Numbered::Colon, 0, ""},
    CaptionRow{Box::TvTestNumber, "测试编号：", Numbered::No, 0, ""},
    CaptionRow{Box::TvOperator, "测试人：", Numbered::No, 0, ""},
    CaptionRow{Box::WaterTemperature, "水温度", Numbered::Colon, 0, "℃"},
    CaptionRow{Box::TvTestDate, "测试日期：", Numbered::No, 0, ""},
    // electrolyte page
    CaptionRow{Box::ElectrolyteCurrent, "测试电流", Numbered::Colon, 0, "mA"},
    CaptionRow{Box::ElectrolyteSetVoltage, "设定电压", Numbered::Colon, 0, "V"},
    CaptionRow{Box::ReferenceVoltage, "参考电压", Numbered::Colon, 0, "V"},
    CaptionRow{Box::SparkDelay, "闪火延时", Numbered::Colon, 0, "S"},
    CaptionRow{Box::SparkCorrection, "闪火修正", Numbered::Colon, 0, "V"},
    CaptionRow{Box::MaximumVoltage, "最大电压", Numbered::Colon, 0, "V"},
    CaptionRow{Box::ElectrolyteVerdict, "判定结果", Numbered::Colon, 0, ""},
    CaptionRow{Box::MinimumVoltage, "最小电压", Numbered::Colon, 0, "V"},
    CaptionRow{Box::SparkVoltage1, "火花电压", Numbered::Suffix, 1, "V"},
    CaptionRow{Box::SparkTime1, "火花时间", Numbered::Suffix, 1, "S"},
    CaptionRow{Box::SparkVoltage2, "火花电压", Numbered::Suffix, 2, "V"},
    CaptionRow{Box::SparkTime2, "火花时间", Numbered::Suffix, 2, "S"},
    CaptionRow{Box::SparkVoltage3, "火花电压", Numbered::Suffix, 3, "V"},
    CaptionRow{Box::SparkTime3, "火花时间", Numbered::Suffix, 3, "S"},
    CaptionRow{Box::VoltageBeforeSpark1, "闪火前电压", Numbered::Suffix, 1, "V"},
    CaptionRow{Box::VoltageBeforeSpark2, "闪火前电压", Numbered::Suffix, 2, "V"},
    CaptionRow{Box::VoltageBeforeSpark3, "闪火前电压", Numbered::Suffix, 3, "V"},
    CaptionRow{Box::ElectrolyteTestNumber, "测试编号", Numbered::Colon, 0, ""},
    CaptionRow{Box::ElectrolyteOperator, "测试人", Numbered::Colon, 0, ""},
    CaptionRow{Box::ElectrolyteTestDate, "测试日期：", Numbered::No, 0, ""},
};

const CaptionRow* captionRow(Box box) {
    for (const CaptionRow& row : kCaptions) {
        if (row.box == box) return &row;
    }
    return nullptr;
}

QString number(int channel) {
    return QString::number(channel + 1);
}

QString groupRange(int group) {
    return group == 0 ? QStringLiteral("1-3") : QStringLiteral("4-6");
}

} // namespace

QString plainCaption(int channel, Box box) {
    QString caption = boxCaption(channel, box);
    if (caption.endsWith(QStringLiteral("："))) caption.chop(1);
    const QString number = QString::number(channel + 1);
    if (caption.endsWith(number)) caption.chop(number.size());
    return caption;
}

QString boxCaption(int channel, Box box) {
    if (box == Box::LiveVoltage) return voltageReadoutCaption(channel);
    if (box == Box::LiveCurrent) return currentReadoutCaption(channel);
    const CaptionRow* row = captionRow(box);
    if (!row) return {};
    const QString stem = QString::fromUtf8(row->stem);
    switch (row->numbered) {
    case Numbered::No:
        return stem;
    case Numbered::Colon:
        return stem + number(channel) + QStringLiteral("：");
    case Numbered::Suffix:
        return stem + number(channel) + QString::number(row->spark);
    }
    return stem;
}

QString unitLabel(Box box) {
    const CaptionRow* row = captionRow(box);
    return row ? QString::fromUtf8(row->unit) : QString();
}

QString boxTooltip(int channel, Box box) {
    switch (box) {
    case Box::FormationVoltage:
        return QStringLiteral("电压范围1～1000");
    case Box::TestCurrent:
        return QStringLiteral("电流范围0.5～20mA");
    case Box::LeakageVoltage:
    case Box::ElectrolyteSetVoltage:
        return groupOf(channel) == 0 ? QStringLiteral("电压范围0.5～120")
                                     : QStringLiteral("电压范围50～950");
    default:
        return {};
    }
}

QString tvFrameTitle(int channel) {
    return QStringLiteral("TV通道") + number(channel) + QStringLiteral("数据显示");
}

QString electrolyteFrameTitle(int channel) {
    return QStringLiteral("电解液通道") + number(channel) + QStringLiteral("数据显示");
}

QString sparkFrameTitle() {
    return QStringLiteral("火花电压-时间：");
}

QString voltageReadoutCaption(int channel) {
    return QStringLiteral("V") + number(channel);
}

QString currentReadoutCaption(int channel) {
    return QStringLiteral("I") + number(channel);
}

QString tvPageTitle() {
    return QStringLiteral("铝箔TV-漏电流参数设置");
}

QString electrolytePageTitle() {
    return QStringLiteral("电解液参数设置");
}

QString optionCaption(Option option) {
    switch (option) {
    case Option::BeforeBoiling:
        return QStringLiteral("水煮前：");
    case Option::AfterBoiling:
        return QStringLiteral("水煮后：");
    case Option::TvTest:
        return QStringLiteral("TV测试：");
    case Option::LeakageTest:
        return QStringLiteral("漏电流：");
    case Option::ElectrolyteTest:
        return QStringLiteral("电解液：");
    case Option::Linked:
        return QStringLiteral("参数联动");
    case Option::NotLinked:
        return QStringLiteral("不 联 动");
    }
    return {};
}

QString optionFrameTitle(Option option, int group) {
    switch (option) {
    case Option::BeforeBoiling:
    case Option::AfterBoiling:
        return QStringLiteral("水煮参数") + groupRange(group) + QStringLiteral("：");
    case Option::TvTest:
    case Option::LeakageTest:
    case Option::ElectrolyteTest:
        return QStringLiteral("测试参数") + groupRange(group);
    case Option::Linked:
    case Option::NotLinked:
        return QStringLiteral("参数联动") + groupRange(group);
    }
    return {};
}

} // namespace q7rk
