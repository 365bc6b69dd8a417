#pragma once

#include <QWidget>

namespace q7rk {

class ChartCanvas;

// Shows one chart's persistent picture at its natural size (15 twips per pixel). All drawing
// happens on the canvas; the view only repaints when told the picture changed.
class ChartView : public QWidget {
    Q_OBJECT
public:
    ChartView(const ChartCanvas& canvas, QWidget* parent = nullptr);

    QSize sizeHint() const override;

public slots:
    // The canvas was redrawn (and perhaps resized).
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const ChartCanvas& m_canvas;
};

} // namespace q7rk
