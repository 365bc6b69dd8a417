#pragma once

#include <QColor>
#include <QImage>
#include <QPen>
#include <QPointF>
#include <QString>

namespace q7rk {

// A chart's persistent picture: a QImage addressed in twips (1440 per inch, 15 twips per
// pixel at 96 dpi), origin top left, y downwards. Framing, curves and marks draw here; the
// widget only shows the image, the bitmap export saves it, and tests read its pixels.
class ChartCanvas {
public:
    static constexpr double TwipsPerPixel = 15.0;

    ChartCanvas(int widthTwips, int heightTwips, QColor background);

    int widthTwips() const { return m_width; }
    int heightTwips() const { return m_height; }
    void resize(int widthTwips, int heightTwips); // also clears
    QColor background() const { return m_background; }

    // Fills the picture with the background colour.
    void clear();

    static QPointF toPixels(QPointF twips) { return twips / TwipsPerPixel; }
    static QPointF toTwips(QPointF pixels) { return pixels * TwipsPerPixel; }

    // Pen width in pixels, like the picture boxes' DrawWidth.
    void drawLine(QPointF fromTwips, QPointF toTwips, const QColor& colour, int width = 1,
                  Qt::PenStyle style = Qt::SolidLine);
    // Text with its top-left corner at the text cursor (x, y), like Print at CurrentX/Y.
    void drawText(QPointF atTwips, const QString& text, const QColor& colour);

    const QImage& image() const { return m_image; }
    QImage& image() { return m_image; }

private:
    int m_width;
    int m_height;
    QColor m_background;
    QImage m_image;
};

} // namespace q7rk
