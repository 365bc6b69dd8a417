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
    DesignRow{Box::Text1, "200", "800"},
    DesignRow{Box::Text2, "90", "90"},
    DesignRow{Box::Text3, "2", "2"},
    DesignRow{Box::Text4, "180", "180"},
    DesignRow{Box::Text5, "150", "150"},
    DesignRow{Box::Text8, Pending, Pending},
    DesignRow{Box::Text9, "100", "400"},
    DesignRow{Box::Text10, "0.05", "0.05"},
    DesignRow{Box::Text11, "120", "120"},
    DesignRow{Box::Text13, Pending, Pending},
    DesignRow{Box::Text14, "", ""},
    DesignRow{Box::Text15, "", ""},
    DesignRow{Box::Text16, "85", "85"},
    DesignRow{Box::Text17, "2", "2"},
    DesignRow{Box::Text18, "100", "600"},
    DesignRow{Box::Text19, "80", "550"},
    DesignRow{Box::Text20, "120", "120"},
    DesignRow{Box::Text21, "3.0", "3.0"},
    DesignRow{Box::Text23, Pending, Pending},
    DesignRow{Box::Text24, "2009-09-01", "2009-09-01"},
    DesignRow{Box::Text35, "", ""},
    DesignRow{Box::Text36, "", ""},
    DesignRow{Box::Text37, "2008-09-01", "2008-09-01"},
    DesignRow{Box::Text41, "", ""},
    DesignRow{Box::Text42, "4001", "4001"},
};

// The sample position each channel's combos show before a position is picked.
constexpr std::array<const char*, ChannelCount> kPositions{"HL", "HM", "HR", "TL", "TM", "TR"};

} // namespace

QString designText(int channel, Box box) {
    if (box == Box::Combo1 || box == Box::Combo2) return QString::fromLatin1(kPositions[channel]);
    for (const DesignRow& row : kDesign) {
        if (row.box == box)
            return QString::fromUtf8(groupOf(channel) == 0 ? row.group0 : row.group1);
    }
    // Result boxes and readouts start at zero.
    return QStringLiteral("0");
}

} // namespace q7rk
