#pragma once

#include "quality/ControlChart.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>

// The pieces both control-chart pictures are drawn with: colours, value scales, level lines
// with their labels, frames and traces.
namespace q7rk::chartDrawing {

inline const QColor kLine(60, 90, 160), kBreak(220, 30, 30), kCentre(0, 140, 60),
    kLimit(200, 60, 60), kSpec(30, 80, 220), kGrid(225, 225, 225), kBar(150, 170, 210);

constexpr int NoteHeight = 16; // a line of notes under the title, in pixels

// The title and the notes under it; the height they take from the top of the area.
inline int headingHeight(const QStringList& notes) {
    return 32 + NoteHeight * int(notes.size());
}
int drawHeading(QPainter& p, const QRect& area, const QString& title, const QStringList& notes);
// Starts a picture (ended by p.restore()): smooth lines, the labels' font, the heading.
void beginPicture(QPainter& p, const QRect& area, const QString& title, const QStringList& notes);
// A plot without limits to draw: its frame and why.
void plotWithoutLimits(QPainter& p, const QRect& plot, const QString& name, const QString& why);

// The centre line, the control limits and the tolerance limits of a value plot, drawn over
// its points so that thousands of them do not hide the lines.
void controlLines(QPainter& p, const QRect& plot, const std::function<double(double)>& y,
                  double centre, double upper, double lower, const SpecLimits& tolerance);

// A painter's picture on white at `size`.
template <typename Painter> QImage pictureOf(const Painter& painter, const QSize& size) {
    QImage out(size, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    painter.paint(p, out.rect());
    return out;
}

// A value on a plot whose bottom is `low` and top `high`.
double yOf(const QRect& plot, double value, double low, double high);
QString number(double v);
// A horizontal line across the plot with its name and value at the right end; a label that
// would cover one already drawn (lines that meet, as without any spread) moves left of it.
void levelLine(QPainter& p, const QRect& plot, double y, const QColor& colour, Qt::PenStyle style,
               const QString& label, QList<QRectF>& labels);
// The plot's border and its name down the left side.
void frame(QPainter& p, const QRect& plot, const QString& name);
// Grid lines and their values at round steps.
void valueScale(QPainter& p, const QRect& plot, double low, double high);
// The line through the points; where several fall on one pixel column, the column's spread
// instead, which looks the same and costs the width of the plot rather than the count.
void trace(QPainter& p, int count, const std::function<QPointF(int)>& at);

} // namespace q7rk::chartDrawing
