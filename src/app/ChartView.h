#pragma once

#include <QPointF>
#include <QWidget>

namespace q7rk {

class ChartCanvas;

// Shows one chart's persistent picture at its own size (the canvas's scale, which the page
// sets). All drawing happens on the canvas; the view only repaints when told the picture
// changed, and reports the mouse position in the chart's twips for the cursor readout.
class ChartView : public QWidget {
    Q_OBJECT
public:
    ChartView(const ChartCanvas& canvas, QWidget* parent = nullptr);

    QSize sizeHint() const override;

public slots:
    // The canvas was redrawn (and perhaps resized).
    void refresh();

signals:
    void mouseMoved(QPointF twips);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // A chart hidden while its canvas changed shows the newest picture.
    void showEvent(QShowEvent* event) override;

private:
    const ChartCanvas& m_canvas;
};

} // namespace q7rk
