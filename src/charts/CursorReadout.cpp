#include "charts/CursorReadout.h"

#include "charts/AxisFormat.h"
#include "charts/ChartSet.h"

namespace q7rk {

namespace {

const QString Prefix = QStringLiteral("鼠标点：");

QString timeText(double seconds) {
    return formatRounded(seconds, 0) + QStringLiteral("S ");
}
QString voltageText(double volts) {
    return formatRounded(volts, 1) + QStringLiteral("V, ");
}
QString currentText(double milliamps) {
    return formatRounded(milliamps, 1) + QStringLiteral("mA ");
}

} // namespace

QString channelReadout(QPointF p, double timeScale, double referenceVoltage) {
    QString text = Prefix;
    const double fraction = 1 - (p.y() + 400) / 4000; // of the 1.5 × Vref / 20 mA scale
    if (p.x() >= 400 && p.x() < 4500 && p.y() >= 0 && p.y() <= 4000) {
        text += timeText((p.x() - 400) * 32 * timeScale / 400);
        text += voltageText(referenceVoltage * fraction * 1.5);
    }
    return text + currentText(fraction * 20);
}

QString groupReadout(int n, QPointF p, double groupTimeScale, double referenceVoltage) {
    const double plotHeight = n == 2 ? 8000 : 4000;
    const double pictureHeight = n == 2 ? 8800 : 4400;
    const double fraction = 1 - p.y() / plotHeight;
    QString text = Prefix;
    if (p.x() >= 400 && p.x() < 13200 && p.y() >= 0 && p.y() <= pictureHeight) {
        // Time as for the curves that start at x = 400 (channels 1 and 4).
        text += timeText((p.x() - 400) * 8 * groupTimeScale / 400);
        text += voltageText(referenceVoltage * fraction * 1.5);
    }
    return text + currentText(fraction * 20);
}

QString channelReadout(const ChartSet& charts, int k, QPointF twips) {
    return channelReadout(twips, charts.channels().timeScale[k], charts.referenceVoltage(k));
}

QString groupReadout(const ChartSet& charts, int n, QPointF twips) {
    return groupReadout(n, twips, charts.channels().groupTimeScale,
                        charts.groupReferenceVoltage(n));
}

std::optional<ChartVisibility> chartVisibilityForTab(int tab) {
    switch (tab) {
    case 0:
        return ChartVisibility{true, false, false};
    case 1:
        return ChartVisibility{false, true, false};
    case 2:
        return ChartVisibility{false, false, true};
    case 3:
    case 4:
        return ChartVisibility{false, false, false};
    default:
        return std::nullopt;
    }
}

} // namespace q7rk
