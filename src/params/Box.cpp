#include "Box.h"

namespace q7rk {

QStringList samplePositions() {
    return {QStringLiteral("HL"), QStringLiteral("TL"), QStringLiteral("HM"),
            QStringLiteral("TM"), QStringLiteral("HR"), QStringLiteral("TR")};
}

QString boxName(Box b) {
    switch (b) {
    case Box::SamplePosition:
        return QStringLiteral("Combo1");
    case Box::ElectrolyteSamplePosition:
        return QStringLiteral("Combo2");
    default:
        return QStringLiteral("Text") + QString::number(int(b));
    }
}

} // namespace q7rk
