#pragma once

#include <QRectF>

class QPainter;

namespace q7rk {

struct ChannelModel;
class ChartSet;
class CurvePlotter;
class SampleStore;

// A channel chart TV(k) drawn for the printed report as lines, paths and text rather than as
// its picture: the grid, the axes and every label the chart printed (values, titles, point
// marks) where the picture has them, and the curves shown, from the samples, at the places
// the live plot puts them. A printer or a PDF then gets curves as sharp as its resolution,
// and a PDF holds no raster copy of the chart.
class ReportChart {
public:
    ReportChart(const ChartSet& charts, const CurvePlotter& plotter, const SampleStore& samples,
                const ChannelModel& channels);

    // Chart k scaled into `target` (twips of the page), keeping its shape.
    void paint(QPainter& painter, int k, const QRectF& target) const;

private:
    void paintFrame(QPainter& painter, int k) const;
    void paintCurves(QPainter& painter, int k) const;

    const ChartSet& m_charts;
    const CurvePlotter& m_plotter;
    const SampleStore& m_samples;
    const ChannelModel& m_channels;
};

} // namespace q7rk
