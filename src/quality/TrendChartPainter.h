#pragma once

#include "quality/ControlChart.h"
#include "quality/TrendQuery.h"

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>

class QPainter;

namespace q7rk {

// Draws a trend: the individuals chart (points in test order, centre line, control limits,
// the tolerance limit, points that break a rule in red, test dates along the bottom), the
// moving-range chart below it and, beside the individuals chart on the same value scale, the
// histogram of the values. QPainter only, so the window and the command line draw the same.
// Needs a QGuiApplication for its fonts.
class TrendChartPainter {
public:
    TrendChartPainter(const ControlChart& chart, const std::vector<TrendPoint>& points,
                      SpecLimits limits, QString title);

    // Lines printed under the title (the summary and the filters of an exported picture), so
    // the picture says on its own what it shows.
    void setNotes(QStringList notes) { m_notes = std::move(notes); }

    void paint(QPainter& painter, const QRect& area) const;
    QImage image(const QSize& size) const;
    // Where paint() puts each point of the individuals chart in `area`, in test order, so a
    // window can tell which test is under the mouse; empty when no limits are drawn.
    std::vector<QPointF> pointCentres(const QRect& area) const;

private:
    // The plots of an area and the value scale the individuals chart and histogram share.
    struct Layout {
        QRect individuals, ranges, histogram;
        double low = 0, high = 0;
    };
    Layout layout(const QRect& area) const;
    void paintIndividuals(QPainter& p, const QRect& plot, double low, double high) const;
    void paintMovingRanges(QPainter& p, const QRect& plot) const;
    void paintHistogram(QPainter& p, const QRect& plot, double low, double high) const;
    void paintDates(QPainter& p, const QRect& plot) const;
    double xOf(const QRect& plot, int index) const;

    const ControlChart& m_chart;
    const std::vector<TrendPoint>& m_points;
    SpecLimits m_limits;
    QString m_title;
    QStringList m_notes;
};

} // namespace q7rk
