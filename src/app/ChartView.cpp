#include "ChartView.h"

#include "charts/ChartCanvas.h"

#include <QMouseEvent>
#include <QPainter>

namespace q7rk {

ChartView::ChartView(const ChartCanvas& canvas, QWidget* parent)
    : QWidget(parent), m_canvas(canvas) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true); // the readout follows the mouse without a button held
    setFixedSize(sizeHint());
}

// The picture's own size, at the scale the page gave it: twips that do not make a whole
// pixel are the canvas's business.
QSize ChartView::sizeHint() const {
    return m_canvas.image().size();
}

void ChartView::refresh() {
    if (size() != sizeHint()) setFixedSize(sizeHint());
    update();
}

void ChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_canvas.background());
    painter.drawImage(QPoint(0, 0), m_canvas.image());
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved(m_canvas.toTwips(event->position()));
    QWidget::mouseMoveEvent(event);
}

void ChartView::showEvent(QShowEvent* event) {
    refresh();
    QWidget::showEvent(event);
}

} // namespace q7rk
