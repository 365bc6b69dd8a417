#pragma once

#include <initializer_list>

class QWidget;

namespace q7rk {

class ChartSet;
class PanelBinding;

// Tab "1-6通道测试图": the six channel charts TV(0..5) where the chart set places them,
// each with its readout strip underneath; scrolls when the window is small.
QWidget* makeChannelChartsPage(ChartSet& charts, PanelBinding& binding, QWidget* parent);

// Tabs "3合1比较显示" and "6合1比较显示": the comparison charts TV16(n) listed.
QWidget* makeGroupChartsPage(ChartSet& charts, std::initializer_list<int> groupCharts,
                             QWidget* parent);

} // namespace q7rk
