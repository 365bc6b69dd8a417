#pragma once

#include "settings/ChannelModel.h"

#include "charts/ChartCanvas.h"

#include <QPointer>
#include <QScrollArea>
#include <array>
#include <initializer_list>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QWidget;

namespace q7rk {

class ChartSet;
class ChartView;
class CurvePlotter;
class PanelBinding;
class ShellModel;

// A child label of a chart placed in the chart's twips, moved and sized with its scale.
struct ChartLabel {
    QLabel* label;
    QRect twips;
    int fontPixels; // at 15 twips per pixel
};

// Tab "1-6通道测试图": the six channel charts TV(0..5) in the chart set's order, each with
// its readout strip underneath (with what is left of a running test, from the shell model),
// the mouse readout Label70(k) inside and, at the top, which stored test it shows after
// 显示记录. The charts fill the page as far as they keep their shape; the page scrolls
// when the window is smaller than their 15-twips-per-pixel size.
class ChannelChartsPage : public QScrollArea {
    Q_OBJECT
public:
    ChannelChartsPage(ChartSet& charts, CurvePlotter& plotter, PanelBinding& binding,
                      ShellModel& shell, QWidget* parent);

    ChartCanvas::Scale chartScale() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layOutCharts();

    ChartSet& m_charts;
    CurvePlotter& m_plotter;
    QWidget* m_content;
    PerChannel<ChartView*> m_views{};
    PerChannel<QWidget*> m_strips{};
    std::vector<ChartLabel> m_labels;
};

// Tabs "3合1比较显示" and "6合1比较显示": the comparison charts TV16(n) listed, each with
// its mouse readout Label67(n) beside it and the channel labels that ride on the curve tips
// (Label69(k) in the group charts, Label68(k) in the 1-6 chart), and the check box
// "对齐起点" that draws every curve from the same start. The tips follow the plotter given
// with setPlotter; they stay hidden until a curve first moves them. The charts fill the page
// like the channel charts (with a plotter to draw them at the page's scale).
class GroupChartsPage : public QScrollArea {
    Q_OBJECT
public:
    GroupChartsPage(ChartSet& charts, std::initializer_list<int> groupCharts, QWidget* parent);

    void setPlotter(CurvePlotter* plotter);
    ChartCanvas::Scale chartScale() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void addChart(int n);
    void layOutCharts();
    void moveTipLabels(int k);

    ChartSet& m_charts;
    QWidget* m_content;
    std::vector<int> m_chartNumbers;
    std::vector<ChartView*> m_views;
    std::vector<QLabel*> m_readouts;
    QCheckBox* m_alignStarts;
    QPointer<CurvePlotter> m_plotter;
    QMetaObject::Connection m_tipConnection;
    PerChannel<std::optional<ChartLabel>> m_groupTips{}; // Label69(k), none when this page
                                                         // lacks the chart
    PerChannel<std::optional<ChartLabel>> m_allTips{};   // Label68(k)
};

// Shows the charts that belong to a tab of SSTab1 and hides the others; the tab of the
// plant database leaves them as they are.
void showChartsForTab(QWidget* window, int tab);

} // namespace q7rk
