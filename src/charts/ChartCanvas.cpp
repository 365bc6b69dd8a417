#include "charts/ChartCanvas.h"

#include <QFontDatabase>
#include <QPainter>
#include <QStaticText>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace q7rk {

namespace {

bool finitePoint(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// Centre of a pen of `width` pixels so that it covers whole pixels starting at the holding
// pixel (odd widths are centred on it, even widths extend one more to the right/bottom):
// aliased drawing then lands on exactly predictable pixels.
double penCentre(int pixel, int width) {
    return pixel - (width - 1) / 2 + width / 2.0;
}

// Thousands of samples share a few hundred pixel columns. A run of points in one column
// (a solid curve only: a dotted pattern follows the path) is cut to its first, lowest,
// highest and last point: an aliased line through those covers the same pixels as the
// whole zigzag, for a fraction of the drawing time. In place: a run never yields more
// points than it holds.
void keepColumnExtremes(QList<QPointF>& points) {
    qsizetype out = 0;
    const auto keep = [&](QPointF p) {
        if (out == 0 || points[out - 1] != p) points[out++] = p;
    };
    for (qsizetype first = 0; first < points.size();) {
        qsizetype last = first;
        qsizetype low = first;
        qsizetype high = first;
        while (last + 1 < points.size() && points[last + 1].x() == points[first].x()) {
            ++last;
            if (points[last].y() < points[low].y()) low = last;
            if (points[last].y() > points[high].y()) high = last;
        }
        const QPointF run[] = {points[first], points[std::min(low, high)],
                               points[std::max(low, high)], points[last]};
        for (const QPointF& p : run)
            keep(p);
        first = last + 1;
    }
    points.resize(out);
}

} // namespace

QColor colourFromStored(quint32 stored) {
    return QColor(int(stored & 0xFF), int((stored >> 8) & 0xFF), int((stored >> 16) & 0xFF));
}

quint32 colourToStored(const QColor& colour) {
    return quint32(colour.red()) | (quint32(colour.green()) << 8) | (quint32(colour.blue()) << 16);
}

ChartScale fittingScale(QSizeF content, QSizeF room) {
    constexpr double Coarsest = 1 / ChartScale{}.x; // pixels per twip
    constexpr double MostStretch = 4.0 / 3;
    if (content.isEmpty()) return {};
    double x = std::max(room.width() / content.width(), Coarsest);
    double y = std::max(room.height() / content.height(), Coarsest);
    x = std::min(x, y * MostStretch);
    y = std::min(y, x * MostStretch);
    return {1 / x, 1 / y};
}

ChartCanvas::ChartCanvas(int widthTwips, int heightTwips, QColor background)
    : m_width(widthTwips), m_height(heightTwips), m_background(background), m_font(labelFont()) {
    resize(widthTwips, heightTwips);
}

void ChartCanvas::resize(int widthTwips, int heightTwips) {
    m_width = std::max(widthTwips, 0);
    m_height = std::max(heightTwips, 0);
    m_image = QImage(int(m_width / m_scale.x), int(m_height / m_scale.y), QImage::Format_RGB32);
    clear();
}

void ChartCanvas::clear() {
    m_image.fill(m_background);
    m_texts.clear();
    m_drawings.clear();
    m_frameEnd = 0;
    m_curvesAt = -1;
    m_curveChannels = 0;
    m_allTouched = true;
}

void ChartCanvas::markFramed(const QByteArray& key) {
    m_frameEnd = m_drawings.size();
    const bool kept = !key.isEmpty() && m_kept.key == key && m_kept.scale == m_scale &&
                      m_kept.image.size() == m_image.size();
    if (!kept) {
        m_kept = {};
        // Once is a picture, twice running a frame worth keeping (a rescale, for one, draws
        // its frame once).
        if (!key.isEmpty() && key == m_lastFrameKey && m_lastFrameScale == m_scale)
            m_kept = {key, m_scale, m_image.copy(), m_drawings, m_texts};
    }
    m_lastFrameKey = key;
    m_lastFrameScale = m_scale;
    m_tileColumns = (m_image.width() + TileWidth - 1) / TileWidth;
    m_tileRows = (m_image.height() + TileHeight - 1) / TileHeight;
    m_touchedTiles.assign(std::size_t(m_tileColumns) * std::size_t(m_tileRows), 0);
    m_allTouched = false;
}

bool ChartCanvas::restoreFrame(const QByteArray& key) {
    if (key.isEmpty() || m_allTouched || m_kept.key != key || !(m_kept.scale == m_scale) ||
        m_kept.image.size() != m_image.size())
        return false;
    const qsizetype stride = m_image.bytesPerLine();
    const qsizetype keptStride = m_kept.image.bytesPerLine();
    uchar* bits = m_image.bits();
    const uchar* kept = m_kept.image.constBits();
    const int width = m_image.width();
    const int height = m_image.height();
    for (std::size_t tile = 0; tile < m_touchedTiles.size();) {
        if (m_touchedTiles[tile] == 0) {
            ++tile;
            continue;
        }
        // A run of touched tiles along a row of tiles goes back row by row.
        const int tileRow = int(tile / std::size_t(m_tileColumns));
        const int first = int(tile % std::size_t(m_tileColumns));
        int end = first;
        while (end < m_tileColumns && m_touchedTiles[tile + std::size_t(end - first)] != 0)
            m_touchedTiles[tile + std::size_t(end++ - first)] = 0;
        tile += std::size_t(end - first);
        const int left = first * TileWidth;
        const std::size_t bytes = std::size_t(std::min(end * TileWidth, width) - left) * 4;
        for (int y = tileRow * TileHeight; y < std::min((tileRow + 1) * TileHeight, height); ++y)
            std::memcpy(bits + y * stride + left * 4, kept + y * keptStride + left * 4, bytes);
    }
    m_drawings = m_kept.drawings;
    m_texts = m_kept.texts;
    m_frameEnd = m_drawings.size();
    m_curvesAt = -1;
    m_curveChannels = 0;
    return true;
}

void ChartCanvas::touch(int left, int top, int right, int bottom) {
    if (m_allTouched || right < 0 || bottom < 0) return;
    // Tiles are whole, so clipping to the tiles clips to the picture.
    left = std::max(left, 0) / TileWidth;
    top = std::max(top, 0) / TileHeight;
    right = std::min(right / TileWidth, m_tileColumns - 1);
    bottom = std::min(bottom / TileHeight, m_tileRows - 1);
    for (int row = top; row <= bottom; ++row) {
        quint8* tiles = m_touchedTiles.data() + std::size_t(row) * std::size_t(m_tileColumns);
        for (int tile = left; tile <= right; ++tile)
            tiles[tile] = 1;
    }
}

void ChartCanvas::rescale(Scale scale,
                          const std::function<void(quint8 curveChannels)>& drawCurves) {
    const QList<Drawing> drawings = std::exchange(m_drawings, {});
    const qsizetype frameEnd = m_frameEnd;
    const qsizetype curvesAt = m_curvesAt < 0 ? drawings.size() : m_curvesAt;
    const quint8 curves = m_curveChannels;
    if (!(scale == m_scale)) {
        m_kept = {}; // a frame of the old scale, never again of use
        m_scale = scale;
        m_font = labelFont(scale);
        m_layouts.clear();
    }
    resize(m_width, m_height);
    const std::span<const Drawing> all(drawings.constData(), std::size_t(drawings.size()));
    replay(all.first(std::size_t(curvesAt)), {});
    m_frameEnd = std::min(frameEnd, m_drawings.size());
    if (curves != 0) drawCurves(curves);
    replay(all.subspan(std::size_t(curvesAt)), {});
}

void ChartCanvas::reframeKeeping(const std::function<void()>& frame,
                                 const std::function<void(quint8 curveChannels)>& drawCurves,
                                 const std::function<double(int channel)>& shiftX) {
    const QList<Drawing> drawings = std::exchange(m_drawings, {});
    const qsizetype frameEnd = std::min(m_frameEnd, drawings.size());
    const quint8 curves = m_curveChannels;
    frame();
    if (curves != 0) drawCurves(curves);
    replay(std::span(drawings.constData() + frameEnd, std::size_t(drawings.size() - frameEnd)),
           shiftX);
}

void ChartCanvas::replay(std::span<const Drawing> drawings,
                         const std::function<double(int)>& shiftX) {
    if (drawings.empty()) return;
    Painter painter(*this);
    QList<QPointF> moved;
    for (const Drawing& d : drawings) {
        painter.setChannel(d.channel);
        moved = d.points;
        if (shiftX && d.channel >= 0) {
            const double dx = shiftX(d.channel);
            for (QPointF& p : moved)
                p.rx() += dx;
        }
        switch (d.kind) {
        case Drawing::Line:
            painter.line(moved.value(0), moved.value(1), d.colour, d.width, d.style);
            break;
        case Drawing::Polyline:
            painter.polyline(moved, d.colour, d.width, d.style);
            break;
        case Drawing::Text:
            painter.text(moved.value(0), d.text, d.colour);
            break;
        }
    }
}

void ChartCanvas::drawLine(QPointF fromTwips, QPointF toTwips, const QColor& colour, int width,
                           Qt::PenStyle style) {
    Painter(*this).line(fromTwips, toTwips, colour, width, style);
}

void ChartCanvas::drawText(QPointF atTwips, const QString& text, const QColor& colour) {
    Painter(*this).text(atTwips, text, colour);
}

void ChartCanvas::drawPolyline(std::span<const QPointF> twips, const QColor& colour, int width,
                               Qt::PenStyle style) {
    Painter(*this).polyline(twips, colour, width, style);
}

ChartCanvas::Painter::Painter(ChartCanvas& canvas, Source source)
    : m_canvas(canvas), m_source(source) {
    if (source == Source::Samples && canvas.m_curvesAt < 0)
        canvas.m_curvesAt = canvas.m_drawings.size();
    if (canvas.m_image.isNull()) return; // a painter on a null image only complains
    m_painter.begin(&canvas.m_image);
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setFont(canvas.m_font);
}

void ChartCanvas::Painter::setPen(const QColor& colour, int width, Qt::PenStyle style) {
    m_painter.setPen(QPen(colour, width, style, Qt::SquareCap, Qt::MiterJoin));
}

void ChartCanvas::Painter::setChannel(int k) {
    m_channel = k;
    if (m_source == Source::Samples && k >= 0 && k < 8) m_canvas.m_curveChannels |= quint8(1u << k);
}

void ChartCanvas::Painter::remember(Drawing::Kind kind, QList<QPointF> points,
                                    const QColor& colour, int width, Qt::PenStyle style,
                                    const QString& text) {
    if (m_source == Source::Kept)
        m_canvas.m_drawings.append(
            Drawing{kind, std::move(points), text, colour, width, style, m_channel});
}

QPointF ChartCanvas::Painter::pixelCentre(QPointF twips, int width) const {
    return QPointF(penCentre(m_canvas.column(twips.x()), width),
                   penCentre(m_canvas.row(twips.y()), width));
}

void ChartCanvas::Painter::line(QPointF fromTwips, QPointF toTwips, const QColor& colour, int width,
                                Qt::PenStyle style) {
    remember(Drawing::Line, {fromTwips, toTwips}, colour, width, style);
    if (!m_painter.isActive() || !finitePoint(fromTwips) || !finitePoint(toTwips)) return;
    width = std::max(width, 1);
    {
        const QPoint a = m_canvas.pixelOf(fromTwips);
        const QPoint b = m_canvas.pixelOf(toTwips);
        const int margin = width + 1; // the pen's reach and its square caps
        m_canvas.touch(std::min(a.x(), b.x()) - margin, std::min(a.y(), b.y()) - margin,
                       std::max(a.x(), b.x()) + margin, std::max(a.y(), b.y()) + margin);
    }
    if (width == 1 && style == Qt::DotLine &&
        dottedStraight(m_canvas.pixelOf(fromTwips), m_canvas.pixelOf(toTwips), colour.rgb()))
        return;
    setPen(colour, width, style);
    m_painter.drawLine(pixelCentre(fromTwips, width), pixelCentre(toTwips, width));
}

void ChartCanvas::Painter::polyline(std::span<const QPointF> twips, const QColor& colour, int width,
                                    Qt::PenStyle style) {
    if (m_source == Source::Kept)
        remember(Drawing::Polyline, QList<QPointF>(twips.begin(), twips.end()), colour, width,
                 style);
    if (!m_painter.isActive()) return;
    width = std::max(width, 1);
    QList<QPointF>& piece = m_pixels; // kept between curves: no allocation per curve
    piece.clear();
    piece.reserve(qsizetype(twips.size()));
    const auto flush = [&] {
        if (style == Qt::SolidLine) keepColumnExtremes(piece);
        strokeThin(piece, colour, width, style);
        piece.clear();
    };
    for (const QPointF& t : twips) {
        if (finitePoint(t))
            piece.append(pixelCentre(t, 1));
        else
            flush();
    }
    flush();
}

void ChartCanvas::Painter::columnRuns(std::span<const ColumnRun> runs, const QColor& colour,
                                      int width) {
    if (!m_painter.isActive() || runs.empty()) return;
    width = std::max(width, 1);
    const QRgb rgb = colour.rgb();
    m_bits = m_canvas.m_image.bits(); // the picture is not shared: no copy
    m_size = m_canvas.m_image.size();    // read once, not per run
    m_stride = m_canvas.m_image.bytesPerLine();
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const ColumnRun& run = runs[i];
        int top = run.top;
        int bottom = run.bottom;
        // A line between neighbouring columns crosses their boundary half-way between the
        // two rows; each column takes its half.
        if (i > 0 && runs[i - 1].column + 1 == run.column) {
            const int rise = run.entry - runs[i - 1].exit;
            const int reach =
                rise == 0 ? run.entry : runs[i - 1].exit + rise / 2 + (rise > 0 ? 1 : -1);
            top = std::min(top, reach);
            bottom = std::max(bottom, reach);
        }
        if (i + 1 < runs.size() && runs[i + 1].column == run.column + 1) {
            const int reach = run.exit + (runs[i + 1].entry - run.exit) / 2;
            top = std::min(top, reach);
            bottom = std::max(bottom, reach);
        } else if (i + 1 < runs.size()) { // columns apart: an ordinary line
            strokeThin({QPointF(run.column + 0.5, run.exit + 0.5),
                        QPointF(runs[i + 1].column + 0.5, runs[i + 1].entry + 0.5)},
                       colour, width, Qt::SolidLine);
        }
        fillRun(run.column, top, bottom, rgb, width);
    }
}

// The frames' grid: dozens of dotted lines along a row or a column, written straight into
// the picture with the raster engine's dots, every third pixel from the start, both ends
// included. Anything else is left to the painter.
bool ChartCanvas::Painter::dottedStraight(QPoint from, QPoint to, QRgb colour) {
    const QPoint along = to - from;
    const int length = std::max(std::abs(along.x()), std::abs(along.y()));
    if ((along.x() != 0 && along.y() != 0) || length == 0) return false;
    const QPoint step(along.x() / length, along.y() / length);
    QImage& image = m_canvas.m_image;
    uchar* bits = image.bits(); // the picture is not shared: no copy
    const qsizetype stride = image.bytesPerLine();
    for (int i = 0; i <= length; i += 3) {
        const QPoint p = from + step * i;
        if (p.x() >= 0 && p.y() >= 0 && p.x() < image.width() && p.y() < image.height())
            reinterpret_cast<QRgb*>(bits + p.y() * stride)[p.x()] = colour;
    }
    return true;
}

void ChartCanvas::Painter::fillRun(int column, int top, int bottom, QRgb colour, int width) {
    const int first = -(width - 1) / 2; // the pen's pixels, as strokeThin stamps them
    const int fromRow = std::max(top + first, 0);
    const int toRow = std::min(bottom + first + width - 1, m_size.height() - 1);
    const int fromColumn = std::max(column + first, 0);
    const int toColumn = std::min(column + first + width - 1, m_size.width() - 1);
    if (fromRow > toRow || fromColumn > toColumn) return;
    m_canvas.touch(fromColumn, fromRow, toColumn, toRow);
    uchar* bits = m_bits;
    const qsizetype stride = m_stride;
    for (int y = fromRow; y <= toRow; ++y) {
        auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
        for (int x = fromColumn; x <= toColumn; ++x)
            line[x] = colour;
    }
}

// A wide pen is stamped as `width` × `width` one-pixel polylines over the pixels the pen
// covers (see penCentre): the thin-line rasteriser is many times faster than stroking a
// wide outline with thousands of joins, and the covered pixels are the same but for the
// caps.
void ChartCanvas::Painter::strokeThin(const QList<QPointF>& pixels, const QColor& colour, int width,
                                      Qt::PenStyle style) {
    if (pixels.isEmpty()) return;
    double left = pixels.front().x();
    double right = left;
    double top = pixels.front().y();
    double bottom = top;
    for (const QPointF& p : pixels) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    const int margin = width + 1;
    m_canvas.touch(int(std::floor(left)) - margin, int(std::floor(top)) - margin,
                   int(std::ceil(right)) + margin, int(std::ceil(bottom)) + margin);
    setPen(colour, 1, style);
    const int first = -(width - 1) / 2;
    for (int dy = first; dy < first + width; ++dy) {
        for (int dx = first; dx < first + width; ++dx) {
            m_painter.translate(dx, dy);
            if (pixels.size() == 1)
                m_painter.drawLine(pixels.front(), pixels.front());
            else
                m_painter.drawPolyline(pixels.constData(), int(pixels.size()));
            m_painter.translate(-dx, -dy);
        }
    }
}

void ChartCanvas::Painter::text(QPointF atTwips, const QString& text, const QColor& colour) {
    m_canvas.m_texts.append(PrintedText{atTwips, text, colour});
    remember(Drawing::Text, {atTwips}, colour, 1, Qt::SolidLine, text);
    if (!m_painter.isActive() || !finitePoint(atTwips) || text.isEmpty()) return;
    m_painter.setPen(colour);
    const QPoint topLeft = m_canvas.pixelOf(atTwips);
    // Every framing prints the same few dozen labels: their layout is kept.
    auto layout = m_canvas.m_layouts.constFind(text);
    if (layout == m_canvas.m_layouts.cend()) {
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
        laidOut.prepare(QTransform(), m_canvas.m_font);
        layout = m_canvas.m_layouts.insert(text, laidOut);
    }
    // Glyphs may reach past the laid-out box: a margin of a line's height all round.
    const QSizeF box = layout->size();
    const int margin = std::max(m_canvas.m_font.pixelSize(), 1);
    m_canvas.touch(topLeft.x() - margin, topLeft.y() - margin,
                   topLeft.x() + int(std::ceil(box.width())) + margin,
                   topLeft.y() + int(std::ceil(box.height())) + margin);
    m_painter.drawStaticText(topLeft, *layout);
}

QStringList ChartCanvas::textsAt(QPointF atTwips) const {
    QStringList result;
    for (const PrintedText& t : m_texts) {
        if (t.atTwips == atTwips) result.append(t.text);
    }
    return result;
}

QFont ChartCanvas::labelFont(Scale scale) {
    static const QString cjkFamily = QStringLiteral("WenQuanYi Zen Hei");
    QFont font;
    if (QFontDatabase::families().contains(cjkFamily)) font = QFont(cjkFamily);
    // 9 points at 96 dpi; on a finer scale the labels keep their share of a grid division
    // along the axis that gained least.
    const double finer = TwipsPerPixel / std::max(scale.x, scale.y);
    font.setPixelSize(std::max(12, int(std::lround(12 * finer))));
    return font;
}

} // namespace q7rk
