#include "SettingsKeys.h"

#include <array>

namespace q7rk {

namespace {

// Colours are stored as numbers with red in the low byte: 16711680 is blue, 255 red.
constexpr std::array kKeys{
    KeyDefinition{"canshu", key::VoltageAdjust, 6, "1"},
    KeyDefinition{"canshu", key::CurrentAdjust, 6, "1"},
    KeyDefinition{"canshu", key::VoltageControl, 6, "1"},
    KeyDefinition{"canshu", key::CurrentControl, 6, "1"},
    KeyDefinition{"canshu", key::TimeScale, 6, "1"},
    KeyDefinition{"canshu", key::GroupTimeScale, 0, "1"},
    KeyDefinition{"canshu", "Currency_C(", 6, "16711680"},
    KeyDefinition{"canshu", "Voltage_C(", 6, "255"},
    KeyDefinition{"canshu", "hcdy(", 6, "200"},
    KeyDefinition{"canshu", "vrb(", 6, "90"},
    KeyDefinition{"canshu", "csdl(", 6, "2"},
    KeyDefinition{"canshu", "Thl(", 6, "180"},
    KeyDefinition{"canshu", "TVzb(", 6, "150"},
    KeyDefinition{"canshu", "ldldy(", 6, "200"},
    KeyDefinition{"canshu", "ldlzb(", 6, "0.05"},
    KeyDefinition{"canshu", "Thy(", 6, "60"},
    KeyDefinition{"canshu", "TVcsbh(", 6, "1"},
    KeyDefinition{"canshu", "LDLcsbh(", 6, "1"},
    KeyDefinition{"canshu", "djycsdl(", 6, "2"},
    KeyDefinition{"canshu", "djysddy(", 6, "200"},
    KeyDefinition{"canshu", "djyckdy(", 6, "80"},
    KeyDefinition{"canshu", "djyshys(", 6, "180"},
    KeyDefinition{"canshu", "djyshxz(", 6, "3.1"},
    KeyDefinition{"canshu", "DJYcsbh(", 6, "1"},
    KeyDefinition{"canshu", "option1(", 2, "True"},
    KeyDefinition{"canshu", "option2(", 2, "False"},
    KeyDefinition{"canshu", "option5(", 2, "True"},
    KeyDefinition{"canshu", "option6(", 2, "False"},
    KeyDefinition{"canshu", "option7(", 2, "False"},
    KeyDefinition{"canshu", "option8(", 2, "True"},
    KeyDefinition{"canshu", "option9(", 2, "False"},
    KeyDefinition{"canshu", "comport", 0, "1"},
    KeyDefinition{"canshu", key::InstrumentAddress, 0, ""},
    KeyDefinition{"canshu", key::InstrumentPort, 0, "4001"},
    KeyDefinition{"canshu", "存储运行标志", 0, "0"},
    KeyDefinition{"canshu", key::PlantLoginTimeout, 0, "5"},
    KeyDefinition{"canshu", key::PlantStatementTimeout, 0, "5"},
    KeyDefinition{"canshu", key::SparkVerdictVoltage, 0, "after"},
    KeyDefinition{"canshu", key::UploadConfirm, 0, "each"},
    KeyDefinition{"topic", "LBUSER(", 6, ""},
    KeyDefinition{"topic", "DJYUSER(", 6, ""},
    KeyDefinition{"topic", "COMPANY", 0, ""},
};

} // namespace

std::span<const KeyDefinition> keyDefinitions() {
    return kKeys;
}

QString indexedKey(const QString& base, int index) {
    return base + QString::number(index) + QLatin1Char(')');
}

QString initialValue(const QString& sectionName, const QString& key) {
    for (const KeyDefinition& def : kKeys) {
        if (sectionName.compare(QLatin1String(def.section), Qt::CaseInsensitive) != 0) continue;
        const QString base = QString::fromUtf8(def.base);
        if (def.indexCount == 0) {
            if (key.compare(base, Qt::CaseInsensitive) == 0) return QString::fromUtf8(def.initial);
            continue;
        }
        if (!key.startsWith(base, Qt::CaseInsensitive) || !key.endsWith(QLatin1Char(')'))) continue;
        bool ok = false;
        const int index = key.mid(base.size(), key.size() - base.size() - 1).toInt(&ok);
        if (ok && index >= 0 && index < def.indexCount) return QString::fromUtf8(def.initial);
    }
    return {};
}

} // namespace q7rk
