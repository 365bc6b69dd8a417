#include "quality/SubgroupChartPainter.h"

#include "quality/ChartDrawing.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace q7rk {

using namespace chartDrawing;

namespace {

const QColor kIncomplete(160, 160, 160);

} // namespace

SubgroupChartPainter::SubgroupChartPainter(const SubgroupChart& chart, std::vector<QString> dates,
                                           SpecLimits limits, QString title)
    : m_chart(chart), m_dates(std::move(dates)), m_limits(limits), m_title(std::move(title)) {}

QImage SubgroupChartPainter::image(const QSize& size) const {
    return pictureOf(*this, size);
}

double SubgroupChartPainter::xOf(const QRect& plot, int index) const {
    return plot.left() + (index + 0.5) * plot.width() / std::max(1, m_chart.count());
}

SubgroupChartPainter::Layout SubgroupChartPainter::layout(const QRect& area) const {
    Layout out;
    const int left = area.left() + 86, top = area.top() + headingHeight(m_notes);
    const int width = area.right() - 24 - left;
    const int height = area.bottom() - 40 - top;
    out.averages = QRect(left, top, width, height * 6 / 10);
    out.ranges =
        QRect(left, out.averages.bottom() + 14, width, height - out.averages.height() - 14);
    if (!m_chart.hasLimits()) return out;
    // One value scale for the averages, the limits and the tolerance.
    std::vector<double> levels{*m_chart.upperLimit(), *m_chart.lowerLimit()};
    if (m_limits.lower) levels.push_back(*m_limits.lower);
    if (m_limits.upper) levels.push_back(*m_limits.upper);
    for (const double v : m_chart.averages())
        if (std::isfinite(v)) levels.push_back(v);
    const auto [low, high] = std::minmax_element(levels.begin(), levels.end());
    const double pad = *high > *low ? (*high - *low) * 0.05 : 1.0;
    out.low = *low - pad;
    out.high = *high + pad;
    return out;
}

std::vector<QPointF> SubgroupChartPainter::pointCentres(const QRect& area) const {
    std::vector<QPointF> out;
    if (!m_chart.hasLimits()) return out;
    const Layout l = layout(area);
    for (int i = 0; i < m_chart.count(); ++i)
        out.emplace_back(xOf(l.averages, i),
                         yOf(l.averages, m_chart.averages()[std::size_t(i)], l.low, l.high));
    return out;
}

void SubgroupChartPainter::paint(QPainter& p, const QRect& area) const {
    beginPicture(p, area, m_title, m_notes);
    const Layout l = layout(area);
    if (!m_chart.hasLimits()) {
        plotWithoutLimits(p, l.averages, QStringLiteral("均值"), m_chart.message());
        p.restore();
        return;
    }
    paintAverages(p, l);
    paintRanges(p, l.ranges);
    paintDates(p, l.ranges);
    p.restore();
}

void SubgroupChartPainter::paintSeries(QPainter& p, const std::vector<double>& values,
                                       const std::function<double(double)>& y, const QRect& plot,
                                       const std::function<bool(int)>& breaking) const {
    std::vector<int> complete;
    for (int i = 0; i < m_chart.count(); ++i)
        if (m_chart.isComplete(i)) complete.push_back(i);
    trace(p, int(complete.size()), [&](int k) {
        const int i = complete[std::size_t(k)];
        return QPointF(xOf(plot, i), y(values[std::size_t(i)]));
    });
    for (int i = 0; i < m_chart.count(); ++i) {
        const double v = values[std::size_t(i)];
        if (!std::isfinite(v)) continue;
        const bool judged = m_chart.isComplete(i);
        const QColor colour = !judged ? kIncomplete : breaking(i) ? kBreak : kLine;
        p.setPen(judged ? QPen(Qt::NoPen) : QPen(colour, 1.5));
        p.setBrush(judged ? QBrush(colour) : QBrush(Qt::white));
        p.drawEllipse(QPointF(xOf(plot, i), y(v)), 3.5, 3.5);
    }
}

void SubgroupChartPainter::paintAverages(QPainter& p, const Layout& l) const {
    const QRect& plot = l.averages;
    frame(p, plot, QStringLiteral("均值 X̄"));
    valueScale(p, plot, l.low, l.high);
    const auto y = [&](double v) { return yOf(plot, v, l.low, l.high); };
    std::vector<bool> breaking(std::size_t(m_chart.count()), false);
    for (const RuleBreak& b : m_chart.breaks())
        for (const int i : b.points)
            breaking[std::size_t(i)] = true;
    paintSeries(p, m_chart.averages(), y, plot, [&](int i) { return breaking[std::size_t(i)]; });
    controlLines(p, plot, y, *m_chart.grandMean(), *m_chart.upperLimit(), *m_chart.lowerLimit(),
                 m_limits);
}

void SubgroupChartPainter::paintRanges(QPainter& p, const QRect& plot) const {
    frame(p, plot, QStringLiteral("极差 R"));
    const auto& ranges = m_chart.ranges();
    double high = *m_chart.rangeUpperLimit();
    for (const double r : ranges)
        if (std::isfinite(r)) high = std::max(high, r);
    const double top = high > 0 ? high * 1.08 : 1.0;
    valueScale(p, plot, 0, top);
    const auto y = [&](double v) { return yOf(plot, v, 0, top); };
    const auto& outside = m_chart.rangeBreaks();
    paintSeries(p, ranges, y, plot, [&](int i) {
        return std::find(outside.begin(), outside.end(), i) != outside.end();
    });
    QList<QRectF> labels;
    levelLine(p, plot, y(*m_chart.averageRange()), kCentre, Qt::SolidLine,
              QStringLiteral("R̄=") + number(*m_chart.averageRange()), labels);
    levelLine(p, plot, y(*m_chart.rangeUpperLimit()), kLimit, Qt::DashLine,
              QStringLiteral("UCL=") + number(*m_chart.rangeUpperLimit()), labels);
    if (const auto lower = m_chart.rangeLowerLimit(); lower && *lower > 0)
        levelLine(p, plot, y(*lower), kLimit, Qt::DashLine, QStringLiteral("LCL=") + number(*lower),
                  labels);
}

void SubgroupChartPainter::paintDates(QPainter& p, const QRect& plot) const {
    const int count = std::min(m_chart.count(), int(m_dates.size()));
    if (count <= 0) return;
    const int labels = std::max(1, std::min(count, plot.width() / 110));
    p.setPen(Qt::black);
    for (int k = 0; k < labels; ++k) {
        const int i = labels == 1 ? 0 : int(std::lround(double(k) * (count - 1) / (labels - 1)));
        const double x = xOf(plot, i);
        p.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4));
        p.drawText(QRectF(x - 55, plot.bottom() + 6, 110, 16), Qt::AlignCenter,
                   m_dates[std::size_t(i)]);
    }
    p.drawText(QRect(plot.left(), plot.bottom() + 22, plot.width(), 16), Qt::AlignCenter,
               QStringLiteral("上传日期（每组为一卷水煮前或水煮后的各片）"));
}

} // namespace q7rk
