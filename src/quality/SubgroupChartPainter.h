#pragma once

#include "quality/SubgroupChart.h"

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QPainter;

namespace q7rk {

// Draws an average and range chart: the subgroup averages in order with the centre line,
// the control limits, the tolerance limits and the averages that break a rule in red, the
// ranges below with R̄ and their limits, the subgroups' dates along the bottom. An
// incomplete subgroup is drawn hollow and grey, outside the line: it is shown, not judged.
class SubgroupChartPainter {
public:
    // `dates`: one per subgroup.
    SubgroupChartPainter(const SubgroupChart& chart, std::vector<QString> dates, SpecLimits limits,
                         QString title);

    void setNotes(QStringList notes) { m_notes = std::move(notes); }
    void paint(QPainter& painter, const QRect& area) const;
    QImage image(const QSize& size) const;
    // Where each subgroup's average is drawn in `area`; empty when no limits are drawn.
    std::vector<QPointF> pointCentres(const QRect& area) const;

private:
    struct Layout {
        QRect averages, ranges;
        double low = 0, high = 0;
    };
    Layout layout(const QRect& area) const;
    double xOf(const QRect& plot, int index) const;
    void paintAverages(QPainter& p, const Layout& l) const;
    void paintRanges(QPainter& p, const QRect& plot) const;
    void paintDates(QPainter& p, const QRect& plot) const;
    // The line through the complete subgroups, and every subgroup's dot.
    void paintSeries(QPainter& p, const std::vector<double>& values,
                     const std::function<double(double)>& y, const QRect& plot,
                     const std::function<bool(int)>& breaking) const;

    const SubgroupChart& m_chart;
    std::vector<QString> m_dates;
    SpecLimits m_limits;
    QString m_title;
    QStringList m_notes;
};

} // namespace q7rk
