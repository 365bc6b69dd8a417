#include "StoredBoxes.h"

#include "settings/SettingsKeys.h"

#include <array>

namespace q7rk {

namespace {

using enum Box;
constexpr unsigned Tv = keptBit(TestKind::Tv);
constexpr unsigned Leakage = keptBit(TestKind::Leakage);
constexpr unsigned Electrolyte = keptBit(TestKind::Electrolyte);
constexpr auto TvPage = StoredBox::TvPage;
constexpr auto ElectrolytePage = StoredBox::ElectrolytePage;

} // namespace

std::span<const StoredBox> storedBoxes() {
    // In the order start-up fills the boxes.
    static const std::array table{
        StoredBox{FormationVoltage, section::Canshu, "hcdy(", true, true, Tv, TvPage},
        StoredBox{VrRatio, section::Canshu, "vrb(", true, true, 0, TvPage},
        StoredBox{TestCurrent, section::Canshu, "csdl(", true, true, Tv | Leakage, TvPage},
        StoredBox{DelayTime, section::Canshu, "Thl(", true, true, Tv, TvPage},
        StoredBox{RiseTimeLimit, section::Canshu, "TVzb(", true, true, 0, TvPage},
        StoredBox{LeakageVoltage, section::Canshu, "ldldy(", true, true, Leakage, TvPage},
        StoredBox{LeakageLimit, section::Canshu, "ldlzb(", true, true, 0, TvPage},
        StoredBox{LeakageTestTime, section::Canshu, "Thy(", true, true, Leakage, TvPage},
        StoredBox{TvTestNumber, section::Canshu, "TVcsbh(", false, true, Tv, TvPage},
        // A leakage test keeps its number apart from the TV number, and it is never loaded.
        StoredBox{TvTestNumber, section::Canshu, "LDLcsbh(", false, false, Leakage, TvPage},
        StoredBox{TvOperator, section::Topic, "LBUSER(", false, true, Tv | Leakage, TvPage},
        StoredBox{ElectrolyteCurrent, section::Canshu, "djycsdl(", true, true, Electrolyte,
                  ElectrolytePage},
        StoredBox{ElectrolyteSetVoltage, section::Canshu, "djysddy(", true, true, Electrolyte,
                  ElectrolytePage},
        StoredBox{ReferenceVoltage, section::Canshu, "djyckdy(", true, true, Electrolyte,
                  ElectrolytePage},
        StoredBox{SparkDelay, section::Canshu, "djyshys(", true, true, Electrolyte,
                  ElectrolytePage},
        StoredBox{SparkCorrection, section::Canshu, "djyshxz(", true, true, Electrolyte,
                  ElectrolytePage},
        StoredBox{ElectrolyteTestNumber, section::Canshu, "DJYcsbh(", false, true, Electrolyte,
                  ElectrolytePage},
        StoredBox{ElectrolyteOperator, section::Topic, "DJYUSER(", false, true, Electrolyte,
                  ElectrolytePage},
    };
    return table;
}

QString storedKey(const StoredBox& entry, int channel) {
    return indexedKey(QLatin1String(entry.base), channel);
}

const StoredBox* startUpEntry(Box box) {
    for (const StoredBox& entry : storedBoxes())
        if (entry.box == box && entry.loadedAtStartUp) return &entry;
    return nullptr;
}

} // namespace q7rk
