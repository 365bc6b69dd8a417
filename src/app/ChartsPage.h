#pragma once

#include "settings/ChannelModel.h"

#include <QPointer>
#include <QScrollArea>
#include <array>
#include <initializer_list>

class QLabel;
class QWidget;

namespace q7rk {

class ChartSet;
class CurvePlotter;
class PanelBinding;
class ShellModel;

// Tab "1-6通道测试图": the six channel charts TV(0..5) where the chart set places them,
// each with its readout strip underneath (with what is left of a running test, from the
// shell model) and the mouse readout Label70(k) inside; scrolls when the window is small.
QWidget* makeChannelChartsPage(ChartSet& charts, PanelBinding& binding, ShellModel& shell,
                               QWidget* parent);

// Tabs "3合1比较显示" and "6合1比较显示": the comparison charts TV16(n) listed, each with
// its mouse readout Label67(n) beside it and the channel labels that ride on the curve tips
// (Label69(k) in the group charts, Label68(k) in the 1-6 chart). The tips follow the
// plotter given with setPlotter; they stay hidden until a curve first moves them.
class GroupChartsPage : public QScrollArea {
    Q_OBJECT
public:
    GroupChartsPage(ChartSet& charts, std::initializer_list<int> groupCharts, QWidget* parent);

    void setPlotter(CurvePlotter* plotter);

private:
    void addChart(ChartSet& charts, int n);
    void moveTipLabels(int k);

    QWidget* m_content;
    QRect m_extent;
    QPointer<CurvePlotter> m_plotter;
    QMetaObject::Connection m_tipConnection;
    PerChannel<QLabel*> m_groupTips{}; // Label69(k), null when this page lacks the chart
    PerChannel<QLabel*> m_allTips{};   // Label68(k)
};

// Shows the charts that belong to a tab of SSTab1 and hides the others; the tab of the
// plant database leaves them as they are.
void showChartsForTab(QWidget* window, int tab);

} // namespace q7rk
