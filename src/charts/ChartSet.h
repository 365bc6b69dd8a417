#pragma once

#include "charts/ChartCanvas.h"
#include "settings/ChannelModel.h"

#include <QObject>
#include <QRect>
#include <array>
#include <memory>

namespace q7rk {

class PanelModel;
class SettingsStore;

// The nine charts of the main window: TV(0..5), one per channel (tab "1-6通道测试图"),
// and TV16(0..2), the comparison charts of channels 1-3, 4-6 and 1-6. Framing (`frameChannelChart`,
// `frameGroupChart`) clears a chart and draws its grid, axes, labels and titles from the current
// time scales and reference voltages, or, when nothing of that changed, puts back the frame the
// chart keeps (see ChartCanvas::restoreFrame); the four scale commands change the time scales
// and store them.
class ChartSet : public QObject {
    Q_OBJECT
public:
    static constexpr int GroupChartCount = 3;

    ChartSet(ChannelModel& channels, const PanelModel& panel, SettingsStore& settings,
             QObject* parent = nullptr);
    ~ChartSet() override;

    ChartCanvas& channelChart(int k); // TV(k)
    const ChartCanvas& channelChart(int k) const;
    ChartCanvas& groupChart(int n); // TV16(n)
    const ChartCanvas& groupChart(int n) const;

    // Place and size of each chart in its tab page, in twips.
    static QRect channelChartPlacement(int k);
    static QRect groupChartPlacement(int n);

    void frameChannelChart(int k); // frame TV(k)
    void frameGroupChart(int n);   // frame TV16(n)
    void frameAll();               // all nine, as at start-up

    // Where channel k's curve starts in comparison chart n, in twips: 400, 800, 1200 for the
    // channels of a group chart, 400 .. 2400 in the 1-6 chart; 400 for all when the starts
    // are aligned.
    double startX(int n, int k) const;
    // The comparison charts draw every curve from x = 400 (for comparing rise times) instead
    // of at each channel's own offset. Reframes nothing: see CurvePlotter::setAlignedStarts.
    bool alignedStarts() const { return m_alignedStarts; }
    void setAlignedStarts(bool on);

    // The menu commands 1-6通道时间轴坐标放大/缩小 and 组合通道时间轴坐标放大/放小.
    void widenTimeAxes();
    void narrowTimeAxes();
    void widenGroupTimeAxes();
    void narrowGroupTimeAxes();

    // The voltage chart k scales to: Text1, Text9 or Text18 by the channel's test kind.
    double referenceVoltage(int k) const;
    // The voltage TV16(n) scales to: its group's first channel, or for the 1-6 chart the
    // larger of the two groups'.
    double groupReferenceVoltage(int n) const;

    const ChannelModel& channels() const { return m_channels; }

signals:
    void channelChartChanged(int k);
    void groupChartChanged(int n);
    void alignedStartsChanged(bool on);

private:
    // What differs between the charts' frames; the drawing is common.
    struct Frame {
        int plotHeight;     // H: y of the time axis
        int gridRight;      // right end of the horizontal lines and the time axis
        int lastTimeLine;   // vertical lines i = 0 .. lastTimeLine
        double secondsUnit; // time label = secondsUnit * i * timeScale
        double timeScale;
        double referenceVoltage;
        int voltageDivisor;   // voltage label = Vref * i * 3 / voltageDivisor
        int milliampsPerLine; // current label = milliampsPerLine * i
        int rightLabelX;
    };
    // On a cleared picture: time grid with its labels, axes; then the caller's titles; then
    // the value grid.
    static void drawFrame(ChartCanvas::Painter& canvas, const Frame& frame);
    static QByteArray frameKey(const Frame& frame, QRgb titleColour, bool channelZeros);
    static void drawValueGrid(ChartCanvas::Painter& canvas, const Frame& frame);
    // Each channel's zero on the time axis of comparison chart n, in the channel's colour.
    void drawChannelZeros(ChartCanvas::Painter& canvas, int n, int plotHeight) const;
    void storeTimeScale(int k);
    void storeGroupTimeScale();

    ChannelModel& m_channels;
    const PanelModel& m_panel;
    SettingsStore& m_settings;
    bool m_alignedStarts = false;
    std::array<std::unique_ptr<ChartCanvas>, ChannelCount> m_channelCharts;
    std::array<std::unique_ptr<ChartCanvas>, GroupChartCount> m_groupCharts;
};

} // namespace q7rk
