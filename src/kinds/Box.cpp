#include "kinds/Box.h"

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
    case Box::VoltageBeforeSpark1:
    case Box::VoltageBeforeSpark2:
    case Box::VoltageBeforeSpark3:
        // Boxes the old form never had take a name of their own, not a Text number.
        return QStringLiteral("BeforeSpark") +
               QString::number(int(b) - int(Box::VoltageBeforeSpark1) + 1);
    default:
        return QStringLiteral("Text") + QString::number(int(b));
    }
}

} // namespace q7rk
