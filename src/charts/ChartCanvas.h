#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QSizeF>
#include <QStaticText>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <functional>
#include <span>
#include <vector>

namespace q7rk {

// Colours kept in the settings store are 24-bit numbers with red in the low byte.
QColor colourFromStored(quint32 stored);
quint32 colourToStored(const QColor& colour);

// Twips per pixel of a chart's picture along x and along y; 15 is 96 dpi.
struct ChartScale {
    double x = 15.0;
    double y = 15.0;
    friend bool operator==(const ChartScale&, const ChartScale&) = default;
};

// The scale at which a content of `contentTwips` fills `roomPixels`: never coarser than
// 15 twips per pixel (a small window scrolls), each axis as fine as the room allows, but
// neither more than a third finer than the other, so that the charts keep their shape
// near enough and their labels their room.
ChartScale fittingScale(QSizeF contentTwips, QSizeF roomPixels);

// A chart's persistent picture: a QImage addressed in twips (1440 per inch), origin top
// left, y downwards. Framing, curves and marks draw here; the widget only shows the image,
// the bitmap export saves it, and tests read its pixels. The picture is 15 twips per pixel
// (96 dpi) unless the window gives the chart more room: then it is drawn again at a finer
// scale, from what it remembers of its drawing and, for the curves, from the sample store.
class ChartCanvas {
public:
    static constexpr double TwipsPerPixel = 15.0;

    using Scale = ChartScale;

    // What the picture holds besides the curves of the sample store: frame, marks, texts and
    // curves from elsewhere, in twips, so that they can be drawn again at another scale.
    struct Drawing {
        enum Kind { Line, Polyline, Text } kind;
        QList<QPointF> points;
        QString text;
        QColor colour;
        int width;
        Qt::PenStyle style;
        int channel; // the channel it belongs to in a comparison chart, else -1
    };
    // Who draws: the curves of the sample store are drawn again by their plotter and are
    // not remembered; everything else is.
    enum class Source { Kept, Samples };

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
    Scale scale() const { return m_scale; }

    // Fills the picture with the background colour and forgets the printed texts and what
    // was drawn.
    void clear();
    // The frame is complete: what is drawn from here on is no part of it. `key` names what
    // the frame was drawn from (besides the scale): a frame drawn twice running under one
    // key is kept, so that framing again under it costs only the pixels drawn since.
    void markFramed(const QByteArray& key = {});
    // Instead of clearing and framing: the kept frame of this key, at the picture's scale,
    // put back where anything was drawn since it was framed, with its texts and drawings;
    // false (and nothing changed) when there is none.
    bool restoreFrame(const QByteArray& key);

    // The picture at another scale: cleared, then what it remembers drawn again, with the
    // curves of the sample store (`drawCurves`, given the channels whose curves the picture
    // showed) where they were first drawn among the rest.
    void rescale(Scale scale, const std::function<void(quint8 curveChannels)>& drawCurves);
    // A new frame (`frame` clears and frames), the curves, then what was drawn on the old
    // frame again, each channel's drawing moved `shiftX(channel)` twips to the right.
    void reframeKeeping(const std::function<void()>& frame,
                        const std::function<void(quint8 curveChannels)>& drawCurves,
                        const std::function<double(int channel)>& shiftX);
    // Channels (bit k) whose sample-store curves the picture shows since it was cleared.
    quint8 curveChannels() const { return m_curveChannels; }
    const QList<Drawing>& drawings() const { return m_drawings; }

    QPointF toPixels(QPointF twips) const {
        return QPointF(twips.x() / m_scale.x, twips.y() / m_scale.y);
    }
    QPointF toTwips(QPointF pixels) const {
        return QPointF(pixels.x() * m_scale.x, pixels.y() * m_scale.y);
    }
    int column(double twipsX) const { return pixelOf(twipsX, m_scale.x); }
    int row(double twipsY) const { return pixelOf(twipsY, m_scale.y); }
    QPoint pixelOf(QPointF twips) const { return QPoint(column(twips.x()), row(twips.y())); }
    // The pixel column (or row) that holds a twip coordinate at 15 twips per pixel, or at
    // the scale given. Inline: curves map thousands.
    static int pixelOf(double twips, double twipsPerPixel = TwipsPerPixel) {
        // Far enough outside any chart that clipping still sees the line leave the picture,
        // small enough that pixel arithmetic never overflows.
        constexpr double PixelLimit = 1.0e6;
        if (!std::isfinite(twips)) return 0;
        const double pixels = std::clamp(twips / twipsPerPixel, -PixelLimit, PixelLimit);
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
        explicit Painter(ChartCanvas& canvas, Source source = Source::Kept);
        Painter(const Painter&) = delete;
        Painter& operator=(const Painter&) = delete;

        // The channel what follows belongs to (-1: none). A sample-store curve of a channel
        // is remembered as shown.
        void setChannel(int k);

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
        void remember(Drawing::Kind kind, QList<QPointF> points, const QColor& colour,
                      int width = 1, Qt::PenStyle style = Qt::SolidLine,
                      const QString& text = {});
        QPointF pixelCentre(QPointF twips, int width) const;
        bool dottedStraight(QPoint from, QPoint to, QRgb colour);
        // Rows top..bottom of a column, as a pen of `width` pixels covers them.
        void fillRun(int column, int top, int bottom, QRgb colour, int width);
        void strokeThin(const QList<QPointF>& pixels, const QColor& colour, int width,
                        Qt::PenStyle style);

        ChartCanvas& m_canvas;
        Source m_source;
        int m_channel = -1;
        QPainter m_painter;
        QList<QPointF> m_pixels;
        uchar* m_bits = nullptr; // the picture's pixels, for columnRuns
        QSize m_size;
        qsizetype m_stride = 0;
    };

    const QImage& image() const { return m_image; }
    // Whoever may write the picture directly spoils the kept frame's bookkeeping.
    QImage& image() {
        m_allTouched = true;
        return m_image;
    }

    const QList<PrintedText>& printedTexts() const { return m_texts; }
    // The texts printed with their cursor at exactly this place, in order.
    QStringList textsAt(QPointF atTwips) const;

    // The labels' font: a CJK face when the system has one, 9 points at 96 dpi, larger in
    // proportion on a finer scale.
    static QFont labelFont(Scale scale = {});

private:
    // Pixels left to right, top to bottom (inclusive, clipped to the picture) drawn after
    // the frame: tiles of TileWidth × TileHeight pixels are put back from the kept frame.
    void touch(int left, int top, int right, int bottom);
    static constexpr int TileWidth = 64;
    static constexpr int TileHeight = 8;
    void replay(std::span<const Drawing> drawings, const std::function<double(int)>& shiftX);

    int m_width;
    int m_height;
    QColor m_background;
    Scale m_scale;
    QImage m_image;
    QList<PrintedText> m_texts;
    QList<Drawing> m_drawings;
    qsizetype m_frameEnd = 0;
    qsizetype m_curvesAt = -1; // where the sample-store curves came in among the drawings
    quint8 m_curveChannels = 0;
    // The frame last drawn twice running under one key, and what was drawn on it since.
    struct KeptFrame {
        QByteArray key;
        Scale scale;
        QImage image;
        QList<Drawing> drawings;
        QList<PrintedText> texts;
    };
    KeptFrame m_kept;
    QByteArray m_lastFrameKey;
    Scale m_lastFrameScale;
    std::vector<quint8> m_touchedTiles; // row by row, one per tile
    int m_tileColumns = 0;
    int m_tileRows = 0;
    bool m_allTouched = true;
    QFont m_font;
    QHash<QString, QStaticText> m_layouts; // of the texts printed so far
};

} // namespace q7rk
