#include "reports/ReportChart.h"

#include "charts/ChartSet.h"
#include "charts/CurveColours.h"
#include "charts/CurvePlotter.h"
#include "settings/ChannelModel.h"
#include "settings/SampleStore.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <optional>

namespace q7rk {

namespace {

// The channel chart's frame in twips, as the window's picture lays it out.
constexpr double AxisX = 400;
constexpr double LineStep = 400;
constexpr double PlotHeight = 3600; // the time axis
constexpr double GridRight = 4400;
constexpr int LastTimeLine = 11;
constexpr double VoltageSpan = 4000; // 1.5 × the reference voltage over this many twips
constexpr double TwipsPerPixel = 15;
constexpr int LabelPoints = 9;

const QColor AxisRed(255, 0, 0);
const QColor GridWhite(255, 255, 255);

QPen pen(const QColor& colour, double pixels, Qt::PenStyle style = Qt::SolidLine) {
    QPen p(colour, pixels * TwipsPerPixel, style);
    p.setCapStyle(Qt::FlatCap);
    p.setJoinStyle(Qt::RoundJoin);
    return p;
}

// y of a voltage: on the time axis at 0, 1.5 × vref at 400 twips from the top, clamped to the
// plot area as the live curve is.
double voltageY(double volts, double vref) {
    const double y = PlotHeight - volts / (1.5 * vref) * VoltageSpan;
    return std::isnan(y) ? PlotHeight : std::clamp(y, 0.0, PlotHeight);
}

// y of a current (20 mA over 4000 twips); nothing for a value off the scale.
std::optional<double> currentY(double milliamps) {
    const double y = (0.9 - milliamps / 20) * 4000;
    if (!(y >= -400 && y <= PlotHeight)) return std::nullopt;
    return y;
}

} // namespace

ReportChart::ReportChart(const ChartSet& charts, const CurvePlotter& plotter,
                         const SampleStore& samples, const ChannelModel& channels)
    : m_charts(charts), m_plotter(plotter), m_samples(samples), m_channels(channels) {}

void ReportChart::paint(QPainter& painter, int k, const QRectF& target) const {
    const ChartCanvas& chart = m_charts.channelChart(k);
    if (chart.widthTwips() <= 0 || chart.heightTwips() <= 0) return;
    const double scale = std::min(target.width() / chart.widthTwips(),
                                  target.height() / chart.heightTwips());
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(scale, scale);
    const QRectF area(0, 0, chart.widthTwips(), chart.heightTwips());
    painter.setClipRect(area, Qt::IntersectClip);
    painter.fillRect(area, chart.background());
    paintFrame(painter, k);
    paintCurves(painter, k);
    painter.restore();
}

void ReportChart::paintFrame(QPainter& painter, int k) const {
    painter.setPen(pen(GridWhite, 1, Qt::DotLine));
    for (int i = 0; i <= LastTimeLine; ++i)
        painter.drawLine(QPointF(AxisX + LineStep * i, 0), QPointF(AxisX + LineStep * i, PlotHeight));
    for (double y = PlotHeight - LineStep; y > 0; y -= LineStep)
        painter.drawLine(QPointF(AxisX, y), QPointF(GridRight, y));
    painter.setPen(pen(AxisRed, 2));
    painter.drawLine(QPointF(AxisX, 0), QPointF(AxisX, PlotHeight));
    painter.drawLine(QPointF(AxisX, PlotHeight), QPointF(GridRight, PlotHeight));

    // Every label the picture printed, marks included, at its text cursor.
    QFont font = ChartCanvas::labelFont();
    font.setPixelSize(LabelPoints * 20);
    painter.setFont(font);
    for (const ChartCanvas::PrintedText& t : m_charts.channelChart(k).printedTexts()) {
        painter.setPen(t.colour);
        painter.drawText(QRectF(t.atTwips, QSizeF(20000, 20000)), Qt::AlignLeft | Qt::AlignTop,
                         t.text);
    }
}

// The curves the chart shows: from the origin through every sample drawn so far; a sample
// that is no number breaks the voltage curve, a current off the scale keeps its last point.
void ReportChart::paintCurves(QPainter& painter, int k) const {
    const int shown = std::min(m_plotter.shownSamples(k), m_samples.lastSample());
    if (shown < 1) return;
    const double vref = m_charts.referenceVoltage(k);
    const QPointF origin(AxisX, PlotHeight);
    QPainterPath voltage(origin);
    QPainterPath current(origin);
    bool broken = false;
    double lastCurrentY = PlotHeight;
    for (int i = 1; i <= shown; ++i) {
        const double x = m_plotter.channelX(k, i);
        const float v = m_samples.voltage(k, i);
        if (!std::isfinite(v)) {
            broken = true;
        } else if (broken) {
            voltage.moveTo(x, voltageY(v, vref));
            broken = false;
        } else {
            voltage.lineTo(x, voltageY(v, vref));
        }
        lastCurrentY = currentY(m_samples.current(k, i)).value_or(lastCurrentY);
        current.lineTo(x, lastCurrentY);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(pen(curvecolours::VoltageRed, 1));
    painter.drawPath(voltage);
    if (m_channels.showCurrentCurve) {
        painter.setPen(pen(curvecolours::CurrentBlue, 2));
        painter.drawPath(current);
    }
}

} // namespace q7rk
