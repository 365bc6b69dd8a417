#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QStaticText>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <span>

namespace q7rk {

// Colours kept in the settings store are 24-bit numbers with red in the low byte.
QColor colourFromStored(quint32 stored);
quint32 colourToStored(const QColor& colour);

// A chart's persistent picture: a QImage addressed in twips (1440 per inch, 15 twips per
// pixel at 96 dpi), origin top left, y downwards. Framing, curves and marks draw here; the
// widget only shows the image, the bitmap export saves it, and tests read its pixels.
class ChartCanvas {
public:
    static constexpr double TwipsPerPixel = 15.0;

    // One Print on the picture, kept so that readers (tests, the report) know what the
    // picture says without reading glyphs back from pixels.
    struct PrintedText {
        QPointF atTwips;
        QString text;
        QColor colour;
    };

    ChartCanvas(int widthTwips, int heightTwips, QColor background);

    int widthTwips() const { return m_width; }
    int heightTwips() const { return m_height; }
    void resize(int widthTwips, int heightTwips); // also clears
    QColor background() const { return m_background; }

    // Fills the picture with the background colour and forgets the printed texts.
    void clear();

    static QPointF toPixels(QPointF twips) { return twips / TwipsPerPixel; }
    static QPointF toTwips(QPointF pixels) { return pixels * TwipsPerPixel; }
    // The pixel column (or row) that holds a twip coordinate. Inline: curves map thousands.
    static int pixelOf(double twips) {
        // Far enough outside any chart that clipping still sees the line leave the picture,
        // small enough that pixel arithmetic never overflows.
        constexpr double PixelLimit = 1.0e6;
        if (!std::isfinite(twips)) return 0;
        const double pixels = std::clamp(twips / TwipsPerPixel, -PixelLimit, PixelLimit);
        const int truncated = int(pixels); // floor without a library call
        return truncated > pixels ? truncated - 1 : truncated;
    }

    // Pen width in pixels, like the picture boxes' DrawWidth.
    void drawLine(QPointF fromTwips, QPointF toTwips, const QColor& colour, int width = 1,
                  Qt::PenStyle style = Qt::SolidLine);
    // Text with its top-left corner at the text cursor (x, y), like Print at CurrentX/Y.
    void drawText(QPointF atTwips, const QString& text, const QColor& colour);
    // A curve through the points; non-finite points break it into pieces. A wide pen covers
    // the pixels drawLine would, but for the square caps at the ends.
    void drawPolyline(std::span<const QPointF> twips, const QColor& colour, int width = 1,
                      Qt::PenStyle style = Qt::SolidLine);

    // One pixel column of a curve, in pixel rows: where the curve comes in and goes out, and
    // its highest and lowest rows (top <= entry, exit <= bottom).
    struct ColumnRun {
        int column;
        int entry;
        int top;
        int bottom;
        int exit;
    };

    // Several drawings with one QPainter: a live step or a full redraw opens one of these
    // per chart instead of a painter per segment. Same pixel rules as the single calls.
    class Painter {
    public:
        explicit Painter(ChartCanvas& canvas);
        Painter(const Painter&) = delete;
        Painter& operator=(const Painter&) = delete;

        void line(QPointF fromTwips, QPointF toTwips, const QColor& colour, int width = 1,
                  Qt::PenStyle style = Qt::SolidLine);
        void polyline(std::span<const QPointF> twips, const QColor& colour, int width = 1,
                      Qt::PenStyle style = Qt::SolidLine);
        // A solid curve given as its pixel columns, left to right, such as a long curve cut
        // to its columns' extremes: each column is lit as one vertical run, reaching
        // half-way to the rows of its neighbours, written straight into the picture. Within
        // a pixel per column of what polyline draws through the same points, at a fraction
        // of the cost.
        void columnRuns(std::span<const ColumnRun> runs, const QColor& colour, int width = 1);
        void text(QPointF atTwips, const QString& text, const QColor& colour);
        // Finishes early, before the picture is shown; further drawing is ignored.
        void end() {
            if (m_painter.isActive()) m_painter.end();
        }

    private:
        void setPen(const QColor& colour, int width, Qt::PenStyle style);
        bool dottedStraight(QPoint from, QPoint to, QRgb colour);
        // Rows top..bottom of a column, as a pen of `width` pixels covers them.
        void fillRun(int column, int top, int bottom, QRgb colour, int width);
        void strokeThin(const QList<QPointF>& pixels, const QColor& colour, int width,
                        Qt::PenStyle style);

        ChartCanvas& m_canvas;
        QPainter m_painter;
        QList<QPointF> m_pixels;
        uchar* m_bits = nullptr; // the picture's pixels, for columnRuns
    };

    const QImage& image() const { return m_image; }
    QImage& image() { return m_image; }

    const QList<PrintedText>& printedTexts() const { return m_texts; }
    // The texts printed with their cursor at exactly this place, in order.
    QStringList textsAt(QPointF atTwips) const;

    // The labels' font: a CJK face when the system has one, 9 points at 96 dpi.
    static QFont labelFont();

private:
    int m_width;
    int m_height;
    QColor m_background;
    QImage m_image;
    QList<PrintedText> m_texts;
    QFont m_font;
    QHash<QString, QStaticText> m_layouts; // of the texts printed so far
};

} // namespace q7rk
