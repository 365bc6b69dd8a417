#pragma once

#include <QPointF>
#include <QString>
#include <optional>

namespace q7rk {

class ChartSet;

// The mouse readout of the charts: the inverse of the curve mapping, from a position in
// twips back to time, voltage and current. Outside the plot area only the current is
// given.

// Over TV(k): "鼠标点：" + "<t>S " + "<v>V, " + "<i>mA ".
QString channelReadout(QPointF twips, double timeScale, double referenceVoltage);
// Over TV16(n) (n = 2 is the 1-6 chart, twice as high).
QString groupReadout(int n, QPointF twips, double groupTimeScale, double referenceVoltage);

// The same with the chart set's current scales and reference voltages.
QString channelReadout(const ChartSet& charts, int k, QPointF twips);
QString groupReadout(const ChartSet& charts, int n, QPointF twips);

// Which charts a tab of the main window shows; nullopt leaves them as they are.
struct ChartVisibility {
    bool channelCharts; // TV(0..5)
    bool groupCharts;   // TV16(0), TV16(1)
    bool allChart;      // TV16(2)
};
std::optional<ChartVisibility> chartVisibilityForTab(int tab);

} // namespace q7rk
