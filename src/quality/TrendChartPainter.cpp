#include "TrendChartPainter.h"

#include "quality/ChartDrawing.h"

#include <QFontMetrics>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <functional>

namespace q7rk {

using namespace chartDrawing;

TrendChartPainter::TrendChartPainter(const ControlChart& chart,
                                     const std::vector<TrendPoint>& points, SpecLimits limits,
                                     QString title)
    : m_chart(chart), m_points(points), m_limits(limits), m_title(std::move(title)) {}

QImage TrendChartPainter::image(const QSize& size) const {
    return pictureOf(*this, size);
}

double TrendChartPainter::xOf(const QRect& plot, int index) const {
    return plot.left() + (index + 0.5) * plot.width() / std::max(1, m_chart.count());
}

TrendChartPainter::Layout TrendChartPainter::layout(const QRect& area) const {
    Layout out;
    const int left = area.left() + 86, top = area.top() + headingHeight(m_notes);
    const int histogramWidth = area.width() / 5;
    const int width = area.right() - 12 - histogramWidth - 12 - left;
    const int height = area.bottom() - 40 - top;
    out.individuals = QRect(left, top, width, height * 6 / 10);
    out.ranges =
        QRect(left, out.individuals.bottom() + 14, width, height - out.individuals.height() - 14);
    out.histogram =
        QRect(out.individuals.right() + 12, top, histogramWidth, out.individuals.height());
    if (!m_chart.hasLimits()) return out;
    // One value scale for the points, the lines and the histogram beside them.
    std::vector<double> levels{*m_chart.upperLimit(), *m_chart.lowerLimit()};
    if (m_limits.lower) levels.push_back(*m_limits.lower);
    if (m_limits.upper) levels.push_back(*m_limits.upper);
    const auto [minValue, maxValue] =
        std::minmax_element(m_chart.values().begin(), m_chart.values().end());
    double low = std::min(*minValue, *std::min_element(levels.begin(), levels.end()));
    double high = std::max(*maxValue, *std::max_element(levels.begin(), levels.end()));
    const double pad = high > low ? (high - low) * 0.05 : 1.0;
    out.low = low - pad;
    out.high = high + pad;
    return out;
}

std::vector<QPointF> TrendChartPainter::pointCentres(const QRect& area) const {
    std::vector<QPointF> out;
    if (!m_chart.hasLimits()) return out;
    const Layout l = layout(area);
    out.reserve(m_chart.values().size());
    for (int i = 0; i < m_chart.count(); ++i)
        out.emplace_back(xOf(l.individuals, i),
                         yOf(l.individuals, m_chart.values()[std::size_t(i)], l.low, l.high));
    return out;
}

void TrendChartPainter::paint(QPainter& p, const QRect& area) const {
    beginPicture(p, area, m_title, m_notes);

    const Layout l = layout(area);
    if (!m_chart.hasLimits()) {
        plotWithoutLimits(p, l.individuals, QStringLiteral("单值"), m_chart.message());
        p.restore();
        return;
    }
    paintIndividuals(p, l.individuals, l.low, l.high);
    paintMovingRanges(p, l.ranges);
    paintHistogram(p, l.histogram, l.low, l.high);
    paintDates(p, l.ranges);
    p.restore();
}

void TrendChartPainter::paintIndividuals(QPainter& p, const QRect& plot, double low,
                                         double high) const {
    frame(p, plot, QStringLiteral("单值"));
    valueScale(p, plot, low, high);
    const auto y = [&](double v) { return yOf(plot, v, low, high); };
    const auto& values = m_chart.values();
    trace(p, m_chart.count(),
          [&](int i) { return QPointF(xOf(plot, i), y(values[std::size_t(i)])); });
    // Thousands of dots would hide the line; the breaking points are drawn whatever the count.
    const bool everyDot = m_chart.count() <= plot.width() / 4;
    for (int i = 0; i < m_chart.count(); ++i) {
        const bool breaking = m_chart.isBreaking(i);
        // A value corrected by hand is drawn hollow, whatever the density.
        const bool corrected =
            std::size_t(i) < m_points.size() && m_points[std::size_t(i)].measured.has_value();
        if (!breaking && !everyDot && !corrected) continue;
        const QColor colour = breaking ? kBreak : kLine;
        p.setPen(corrected ? QPen(colour, 1.5) : QPen(Qt::NoPen));
        p.setBrush(corrected ? QBrush(Qt::white) : QBrush(colour));
        p.drawEllipse(QPointF(xOf(plot, i), y(values[std::size_t(i)])), 3.5, 3.5);
    }
    controlLines(p, plot, y, *m_chart.mean(), *m_chart.upperLimit(), *m_chart.lowerLimit(),
                 m_limits);
}

void TrendChartPainter::paintMovingRanges(QPainter& p, const QRect& plot) const {
    frame(p, plot, QStringLiteral("移动极差"));
    const auto& ranges = m_chart.movingRanges();
    const double limit = *m_chart.movingRangeLimit();
    const double high = std::max(limit, *std::max_element(ranges.begin(), ranges.end())) * 1.08;
    const double top = high > 0 ? high : 1.0;
    valueScale(p, plot, 0, top);
    const auto y = [&](double v) { return yOf(plot, v, 0, top); };
    trace(p, int(ranges.size()),
          [&](int i) { return QPointF(xOf(plot, i + 1), y(ranges[std::size_t(i)])); });
    p.setPen(Qt::NoPen);
    p.setBrush(kBreak);
    for (std::size_t i = 0; i < ranges.size(); ++i)
        if (ranges[i] > limit) p.drawEllipse(QPointF(xOf(plot, int(i) + 1), y(ranges[i])), 3, 3);
    QList<QRectF> labels;
    levelLine(p, plot, y(*m_chart.averageMovingRange()), kCentre, Qt::SolidLine,
              QStringLiteral("MR̄=") + number(*m_chart.averageMovingRange()), labels);
    levelLine(p, plot, y(limit), kLimit, Qt::DashLine, QStringLiteral("UCL=") + number(limit),
              labels);
}

void TrendChartPainter::paintHistogram(QPainter& p, const QRect& plot, double low,
                                       double high) const {
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    p.drawText(QRect(plot.left(), plot.top() - 22, plot.width(), 20), Qt::AlignCenter,
               QStringLiteral("直方图"));
    const auto& values = m_chart.values();
    const auto [minValue, maxValue] = std::minmax_element(values.begin(), values.end());
    const int bins = std::clamp(int(std::sqrt(double(values.size()))), 5, 30);
    const double width = (*maxValue - *minValue) / bins;
    std::vector<int> counts(std::size_t(bins), 0);
    for (const double v : values) {
        const int bin = width > 0 ? std::min(bins - 1, int((v - *minValue) / width)) : bins / 2;
        ++counts[std::size_t(bin)];
    }
    const int most = *std::max_element(counts.begin(), counts.end());
    const auto y = [&](double v) { return yOf(plot, v, low, high); };
    p.setPen(QPen(Qt::white, 0.5));
    p.setBrush(kBar);
    for (int b = 0; b < bins; ++b) {
        // Values that do not vary make one bar a pixel high around their value.
        const double from = width > 0 ? *minValue + b * width : *minValue;
        const double top = width > 0 ? y(from + width) : y(from) - 2;
        const double bottom = width > 0 ? y(from) : y(from) + 2;
        const double length = double(counts[std::size_t(b)]) / most * (plot.width() - 4);
        p.drawRect(QRectF(plot.left() + 1, top, length, bottom - top));
    }
    p.setPen(QPen(kSpec, 1.2, Qt::DashDotLine));
    for (const auto& limit : {m_limits.lower, m_limits.upper})
        if (limit) p.drawLine(QPointF(plot.left(), y(*limit)), QPointF(plot.right(), y(*limit)));
}

void TrendChartPainter::paintDates(QPainter& p, const QRect& plot) const {
    // A handful of dates under the shared time axis, none overlapping the next.
    const int labels = std::max(1, std::min(m_chart.count(), plot.width() / 110));
    p.setPen(Qt::black);
    for (int k = 0; k < labels; ++k) {
        const int i =
            labels == 1 ? 0 : int(std::lround(double(k) * (m_chart.count() - 1) / (labels - 1)));
        const double x = xOf(plot, i);
        p.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4));
        p.drawText(QRectF(x - 55, plot.bottom() + 6, 110, 16), Qt::AlignCenter,
                   m_points[std::size_t(i)].date);
    }
    p.drawText(QRect(plot.left(), plot.bottom() + 22, plot.width(), 16), Qt::AlignCenter,
               QStringLiteral("测试日期（按测试顺序）"));
}

} // namespace q7rk
