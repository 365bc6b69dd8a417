#include "charts/ChartCanvas.h"

#include <QFontDatabase>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace q7rk {

namespace {

// Far enough outside any chart that clipping still sees the line leave the picture, small
// enough that pixel arithmetic never overflows.
constexpr double PixelLimit = 1.0e6;

bool finitePoint(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// Centre of a pen of `width` pixels so that it covers whole pixels starting at the holding
// pixel (odd widths are centred on it, even widths extend one more to the right/bottom):
// aliased drawing then lands on exactly predictable pixels.
double penCentre(int pixel, int width) {
    return pixel - (width - 1) / 2 + width / 2.0;
}

} // namespace

QColor colourFromStored(quint32 stored) {
    return QColor(int(stored & 0xFF), int((stored >> 8) & 0xFF), int((stored >> 16) & 0xFF));
}

quint32 colourToStored(const QColor& colour) {
    return quint32(colour.red()) | (quint32(colour.green()) << 8) | (quint32(colour.blue()) << 16);
}

ChartCanvas::ChartCanvas(int widthTwips, int heightTwips, QColor background)
    : m_width(widthTwips), m_height(heightTwips), m_background(background), m_font(labelFont()) {
    resize(widthTwips, heightTwips);
}

void ChartCanvas::resize(int widthTwips, int heightTwips) {
    m_width = std::max(widthTwips, 0);
    m_height = std::max(heightTwips, 0);
    m_image =
        QImage(int(m_width / TwipsPerPixel), int(m_height / TwipsPerPixel), QImage::Format_RGB32);
    clear();
}

void ChartCanvas::clear() {
    m_image.fill(m_background);
    m_texts.clear();
}

int ChartCanvas::pixelOf(double twips) {
    if (!std::isfinite(twips)) return 0;
    return int(std::clamp(std::floor(twips / TwipsPerPixel), -PixelLimit, PixelLimit));
}

void ChartCanvas::drawLine(QPointF fromTwips, QPointF toTwips, const QColor& colour, int width,
                           Qt::PenStyle style) {
    if (m_image.isNull() || !finitePoint(fromTwips) || !finitePoint(toTwips)) return;
    width = std::max(width, 1);
    const QPointF from(penCentre(pixelOf(fromTwips.x()), width),
                       penCentre(pixelOf(fromTwips.y()), width));
    const QPointF to(penCentre(pixelOf(toTwips.x()), width),
                     penCentre(pixelOf(toTwips.y()), width));
    QPainter painter(&m_image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(colour, width, style, Qt::SquareCap, Qt::MiterJoin);
    painter.setPen(pen);
    painter.drawLine(from, to);
}

void ChartCanvas::drawText(QPointF atTwips, const QString& text, const QColor& colour) {
    m_texts.append(PrintedText{atTwips, text, colour});
    if (m_image.isNull() || !finitePoint(atTwips) || text.isEmpty()) return;
    QPainter painter(&m_image);
    painter.setFont(m_font);
    painter.setPen(colour);
    const QPoint topLeft(pixelOf(atTwips.x()), pixelOf(atTwips.y()));
    const QFontMetrics metrics(m_font);
    painter.drawText(topLeft + QPoint(0, metrics.ascent()), text);
}

QStringList ChartCanvas::textsAt(QPointF atTwips) const {
    QStringList result;
    for (const PrintedText& t : m_texts) {
        if (t.atTwips == atTwips) result.append(t.text);
    }
    return result;
}

QFont ChartCanvas::labelFont() {
    static const QString cjkFamily = QStringLiteral("WenQuanYi Zen Hei");
    QFont font;
    if (QFontDatabase::families().contains(cjkFamily)) font = QFont(cjkFamily);
    font.setPixelSize(12); // 9 points at 96 dpi
    return font;
}

} // namespace q7rk
