#pragma once

#include "charts/ChartCanvas.h"
#include "kinds/Box.h"
#include "settings/ChannelModel.h"
#include "settings/SampleStore.h"

#include <QObject>
#include <QPointF>
#include <QString>
#include <span>
#include <vector>

namespace q7rk {

class ChartSet;
class PanelModel;
class SettingsStore;

// The live curves: every sampling tick extends the voltage (and, on request, the current)
// curve of a running channel in its own chart TV(k), in its group chart TV16(0|1) and in
// the 1-6 chart TV16(2); the tip labels ride on the newest points of the comparison charts.
// Also the point marks of the evaluation and the automatic rescale when a curve reaches the
// right end of its chart (`scrollWhenFull`), which redraws the curves from the sample store.
// The curves a chart showed are drawn again when it is framed anew by a scale command or a
// new test voltage, so a test's curves stay in view until the new-test reset forgets them.
class CurvePlotter : public QObject {
    Q_OBJECT
public:
    CurvePlotter(ChartSet& charts, ChannelModel& channels, const PanelModel& panel,
                 const SampleStore& store, SettingsStore& settings, QObject* parent = nullptr);

    // A new run: the curves start again from the time axis.
    void resetForRun();
    // The new-test reset of channel k: its curve is no longer shown, nor drawn again.
    void forgetCurves(int k);
    // The last sample of channel k drawn in its charts; 0 when none is shown.
    int shownSamples(int k) const { return m_shown[k]; }
    // On a chart just framed: the curves it showed, drawn again from the store.
    void redrawChannelCurves(int k);    // TV(k)
    void redrawComparisonCurves(int n); // TV16(n)

    // The plot step for channel k at sample n: positions always, the segments to them only
    // with Stroke::Draw (while the channel runs). `current` is the current just shown in
    // Text26(k).
    enum class Stroke { Draw, PositionOnly };
    void plot(int k, int n, double current, Stroke stroke);

    // Marks in TV(k) at sample n (dotted black); the label, if any, is printed at the text
    // cursor the routine leaves.
    void markFirstSpark(int k, int n); // drop line and "<channel>1A", plus the red tick in TV16(2)
    void markPointTick(int k, int n, const QString& label);
    void markPointLine(int k, int n, const QString& label);
    // Point A in the comparison charts: a short vertical tick at the newest point in the
    // group chart (with the label) and in the 1-6 chart.
    void markGroupTick(int k, int n, const QString& label);
    // Point C in the group chart: a drop line at sample n and the label.
    void markGroupDropLine(int k, int n, const QString& label);

    // The window gave chart TV(k), or TV16(n), another scale: the picture is drawn again at
    // it, the curves from the store and the rest as the picture remembers it.
    void setChannelChartScale(int k, ChartCanvas::Scale scale);
    void setGroupChartScale(int n, ChartCanvas::Scale scale);
    // A chart's picture at 15 twips per pixel, whatever the window made of it: what the
    // bitmap export saves.
    QImage standardPicture(const ChartCanvas& chart);
    // The comparison charts with every curve from x = 400 ("对齐起点") or each at its own
    // offset (the default); the charts are framed anew and keep their curves and marks.
    void setAlignedStarts(bool on);

    // The automatic rescale for the channel under evaluation at sample n; the running
    // channels have their curves drawn up to the newest sample.
    void scrollWhenFull(int k, int n, const PerChannel<bool>& running);

    // A curve kept in the plant database, drawn into TV(k) in red on the chart as it stands:
    // columns[j] is the voltage at x(j), column 0 sits on the origin, and the formation
    // voltage Text1(k) is the top of the scale, without clamping. The last point becomes the
    // channel's newest position.
    void drawStoredCurve(int k, std::span<const float> columns);

    // Curves of more samples than their chart has pixel columns are redrawn from each
    // column's extremes (the default); off, through every sample, to compare.
    void setColumnEnvelopes(bool on) { m_columnEnvelopes = on; }

    // Newest point positions in twips (the previous-position copies of the plot step).
    double channelY(int k) const;
    double groupY(int k) const;
    double allY(int k) const;
    double currentY(int k) const;
    // Top-left corners of the tip labels Label69(k) (group chart) and Label68(k) (1-6 chart).
    QPointF groupTipLabel(int k) const;
    QPointF allTipLabel(int k) const;

    // x of sample n in TV(k) and in the comparison charts.
    double channelX(int k, double n) const;
    double groupX(int k, double n) const;
    double allX(int k, double n) const;

signals:
    void tipLabelsMoved(int k);

private:
    // The voltages the charts scale to: Vref(k) and VrefAll(k) (item 3 of the same box).
    Box voltageBox(int k) const;
    double referenceVoltage(int k) const;
    double referenceVoltageAll(int k) const;
    // Sample index of point A in TV(k) (rise time or first spark time), 0 when not known.
    int firstCharacteristicTime(int k) const;
    // Where channel k's curve starts in its group chart and in the 1-6 chart.
    double groupStart(int k) const;
    double allStart(int k) const;

    // Where a curve's samples lie: sample i at x0 + i × perSample / scale twips.
    struct SampleTrace {
        QPointF origin; // the curve comes from here to sample 1
        double x0;
        double perSample;
        double scale;
        double x(int i) const { return x0 + i * perSample / scale; }
    };
    // Draws a curve from its origin through sample `last` of channel k on a picture
    // `columns` pixels wide: through every sample, or, when it holds more samples than the
    // picture has columns, from each column's extremes.
    template <class Map>
    void drawCurve(ChartCanvas::Painter& painter, const ChartCanvas& chart,
                   const SampleTrace& trace, int k, int last, const Map& map, const QColor& colour,
                   int width);
    template <class Map>
    void traceColumns(ChartCanvas::Scale scale, const SampleTrace& trace, int k, int last,
                      int columns, const Map& map);

    void drawChannelStep(int k, int n, double previousY, double previousCurrentY);
    void drawComparisonStep(int k, int n, double previousGroupY, double previousAllY);
    void rescaleChannelChart(int k, int n);
    void rescaleComparisonCharts();
    void redrawChannelChart(ChartCanvas& target, int k, int n, bool withPointA);
    void redrawComparisonChart(ChartCanvas& target, int chart, quint8 channels);
    // The sample-store curves of `chart` (channels given) into `target`, a picture of it.
    void drawSampleCurves(ChartCanvas& target, const ChartCanvas& chart, quint8 channels);

    ChartSet& m_charts;
    ChannelModel& m_channels;
    const PanelModel& m_panel;
    const SampleStore& m_store;
    SettingsStore& m_settings;
    PerChannel<double> m_channelY{};
    PerChannel<double> m_groupY{};
    PerChannel<double> m_allY{};
    PerChannel<double> m_currentY{};
    PerChannel<QPointF> m_groupTip{};
    PerChannel<QPointF> m_allTip{};
    PerChannel<int> m_shown{};
    bool m_columnEnvelopes = true;
    std::vector<QPointF> m_curve; // kept between redraws: no allocation per curve
    std::vector<ChartCanvas::ColumnRun> m_runs;
};

} // namespace q7rk
