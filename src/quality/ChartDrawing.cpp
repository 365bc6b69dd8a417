#include "quality/ChartDrawing.h"

#include <QFontMetrics>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace q7rk::chartDrawing {

double yOf(const QRect& plot, double value, double low, double high) {
    if (!(high > low)) return plot.center().y();
    return plot.bottom() - (value - low) / (high - low) * plot.height();
}

QString number(double v) {
    return QString::number(v, 'g', 6);
}

void levelLine(QPainter& p, const QRect& plot, double y, const QColor& colour, Qt::PenStyle style,
               const QString& label, QList<QRectF>& labels) {
    p.setPen(QPen(colour, 1.2, style));
    p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    const double width = p.fontMetrics().horizontalAdvance(label) + 2;
    QRectF at(plot.right() - 4 - width, y - 16, width, 15);
    for (bool moved = true; moved;) {
        moved = false;
        for (const QRectF& other : std::as_const(labels))
            if (at.intersects(other)) {
                at.moveRight(other.left() - 8);
                moved = true;
            }
    }
    labels << at;
    p.drawText(at, Qt::AlignRight | Qt::AlignBottom, label);
}

void frame(QPainter& p, const QRect& plot, const QString& name) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    p.save();
    p.translate(plot.left() - 74, plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot.height() / 2.0, -10, plot.height(), 20), Qt::AlignCenter, name);
    p.restore();
}

// A step of 1, 2, 2.5 or 5 times a power of ten near a fifth of the range, so the scale
// reads in round numbers.
double roundStep(double range) {
    const double raw = range / 5;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / magnitude;
    return magnitude * (f <= 1 ? 1 : f <= 2 ? 2 : f <= 2.5 ? 2.5 : f <= 5 ? 5 : 10);
}

void valueScale(QPainter& p, const QRect& plot, double low, double high) {
    if (!(high > low) || !std::isfinite(high - low)) return;
    const double step = roundStep(high - low);
    for (double v = std::ceil(low / step) * step; v <= high + step * 1e-9; v += step) {
        const double y = yOf(plot, v, low, high);
        p.setPen(kGrid);
        p.drawLine(QPointF(plot.left() + 1, y), QPointF(plot.right() - 1, y));
        p.setPen(Qt::black);
        // Rounded to the step, so 0.1 + 0.2 reads 0.3.
        const double shown = std::round(v / step) * step;
        p.drawText(QRectF(plot.left() - 64, y - 8, 60, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(std::abs(shown) < step * 1e-9 ? 0.0 : shown, 'g', 6));
    }
}

void trace(QPainter& p, int count, const std::function<QPointF(int)>& at) {
    p.setPen(QPen(kLine, 1));
    if (count <= 0) return;
    const double span = at(count - 1).x() - at(0).x();
    if (count <= 2 * std::max(1.0, span)) {
        QPainterPath path(at(0));
        for (int i = 1; i < count; ++i)
            path.lineTo(at(i));
        p.drawPath(path);
        return;
    }
    int column = int(at(0).x());
    double low = at(0).y(), high = low, last = low;
    const auto flush = [&](double x) { p.drawLine(QPointF(x, low), QPointF(x, high)); };
    for (int i = 1; i < count; ++i) {
        const QPointF point = at(i);
        if (int(point.x()) != column) {
            flush(column);
            low = high = last;
            column = int(point.x());
        }
        low = std::min(low, point.y());
        high = std::max(high, point.y());
        last = point.y();
    }
    flush(column);
}

int drawHeading(QPainter& p, const QRect& area, const QString& title, const QStringList& notes) {
    p.setPen(Qt::black);
    p.drawText(QRect(area.left(), area.top() + 4, area.width(), 22), Qt::AlignCenter, title);
    for (int i = 0; i < int(notes.size()); ++i)
        p.drawText(QRect(area.left() + 12, area.top() + 28 + NoteHeight * i, area.width() - 24,
                         NoteHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, notes[i]);
    return headingHeight(notes);
}

void beginPicture(QPainter& p, const QRect& area, const QString& title, const QStringList& notes) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    drawHeading(p, area, title, notes);
}

void plotWithoutLimits(QPainter& p, const QRect& plot, const QString& name, const QString& why) {
    frame(p, plot, name);
    p.drawText(plot, Qt::AlignCenter, why);
}

void controlLines(QPainter& p, const QRect& plot, const std::function<double(double)>& y,
                  double centre, double upper, double lower, const SpecLimits& tolerance) {
    QList<QRectF> labels;
    levelLine(p, plot, y(centre), kCentre, Qt::SolidLine, QStringLiteral("CL=") + number(centre),
              labels);
    levelLine(p, plot, y(upper), kLimit, Qt::DashLine, QStringLiteral("UCL=") + number(upper),
              labels);
    levelLine(p, plot, y(lower), kLimit, Qt::DashLine, QStringLiteral("LCL=") + number(lower),
              labels);
    if (tolerance.lower)
        levelLine(p, plot, y(*tolerance.lower), kSpec, Qt::DashDotLine,
                  QStringLiteral("规格下限=") + number(*tolerance.lower), labels);
    if (tolerance.upper)
        levelLine(p, plot, y(*tolerance.upper), kSpec, Qt::DashDotLine,
                  QStringLiteral("规格上限=") + number(*tolerance.upper), labels);
}

} // namespace q7rk::chartDrawing
