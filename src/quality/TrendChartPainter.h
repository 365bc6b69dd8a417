#pragma once

#include "quality/ControlChart.h"
#include "quality/TrendQuery.h"

#include <QImage>
#include <QRect>
#include <QString>

class QPainter;

namespace q7rk {

// Draws a trend: the individuals chart (points in test order, centre line, control limits,
// the specification limit, points that break a rule in red, test dates along the bottom), the
// moving-range chart below it and, beside the individuals chart on the same value scale, the
// histogram of the values. QPainter only, so the window and the command line draw the same.
// Needs a QGuiApplication for its fonts.
class TrendChartPainter {
public:
    TrendChartPainter(const ControlChart& chart, const std::vector<TrendPoint>& points,
                      SpecLimits limits, QString title);

    void paint(QPainter& painter, const QRect& area) const;
    QImage image(const QSize& size) const;

private:
    void paintIndividuals(QPainter& p, const QRect& plot, double low, double high) const;
    void paintMovingRanges(QPainter& p, const QRect& plot) const;
    void paintHistogram(QPainter& p, const QRect& plot, double low, double high) const;
    void paintDates(QPainter& p, const QRect& plot) const;
    double xOf(const QRect& plot, int index) const;

    const ControlChart& m_chart;
    const std::vector<TrendPoint>& m_points;
    SpecLimits m_limits;
    QString m_title;
};

} // namespace q7rk
