#include "DesignTexts.h"

#include "settings/ChannelModel.h"

#include <array>

namespace q7rk {

namespace {

struct DesignRow {
    Box box;
    const char* group0; // channels 1-3
    const char* group1; // channels 4-6
};

constexpr const char* Pending = "待定";

constexpr std::array kDesign{
    DesignRow{Box::FormationVoltage, "200", "800"},
    DesignRow{Box::VrRatio, "90", "90"},
    DesignRow{Box::TestCurrent, "2", "2"},
    DesignRow{Box::DelayTime, "180", "180"},
    DesignRow{Box::RiseTimeLimit, "150", "150"},
    DesignRow{Box::TvVerdict, Pending, Pending},
    DesignRow{Box::LeakageVoltage, "100", "400"},
    DesignRow{Box::LeakageLimit, "0.05", "0.05"},
    DesignRow{Box::LeakageTestTime, "120", "120"},
    DesignRow{Box::LeakageVerdict, Pending, Pending},
    DesignRow{Box::TvTestNumber, "", ""},
    DesignRow{Box::TvOperator, "", ""},
    DesignRow{Box::WaterTemperature, "85", "85"},
    DesignRow{Box::ElectrolyteCurrent, "2", "2"},
    DesignRow{Box::ElectrolyteSetVoltage, "100", "600"},
    DesignRow{Box::ReferenceVoltage, "80", "550"},
    DesignRow{Box::SparkDelay, "120", "120"},
    DesignRow{Box::SparkCorrection, "3.0", "3.0"},
    DesignRow{Box::ElectrolyteVerdict, Pending, Pending},
    DesignRow{Box::TvTestDate, "2009-09-01", "2009-09-01"},
    DesignRow{Box::ElectrolyteTestNumber, "", ""},
    DesignRow{Box::ElectrolyteOperator, "", ""},
    DesignRow{Box::ElectrolyteTestDate, "2008-09-01", "2008-09-01"},
    DesignRow{Box::InstrumentAddress, "", ""},
    DesignRow{Box::InstrumentPort, "4001", "4001"},
};

// The sample position each channel's combos show before a position is picked.
constexpr std::array<const char*, ChannelCount> kPositions{"HL", "HM", "HR", "TL", "TM", "TR"};

} // namespace

QString designText(int channel, Box box) {
    if (box == Box::SamplePosition || box == Box::ElectrolyteSamplePosition)
        return QString::fromLatin1(kPositions[channel]);
    for (const DesignRow& row : kDesign) {
        if (row.box == box)
            return QString::fromUtf8(groupOf(channel) == 0 ? row.group0 : row.group1);
    }
    // Result boxes and readouts start at zero.
    return QStringLiteral("0");
}

} // namespace q7rk
