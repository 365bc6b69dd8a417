#include "EntryHint.h"

namespace q7rk {

EntryHint::EntryHint(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("EntryHint"));
    // A child of the window rather than a tooltip: a tooltip hides as soon as the focus
    // moves, and leaving the box is exactly when the hint is due.
    setAutoFillBackground(true);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setMargin(3);
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::ToolTipBase));
    p.setColor(QPalette::WindowText, p.color(QPalette::ToolTipText));
    setPalette(p);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    m_hide.setSingleShot(true);
    m_hide.setInterval(ShownMs);
    connect(&m_hide, &QTimer::timeout, this, &QWidget::hide);
}

void EntryHint::showBeside(const QWidget* box, const QString& text) {
    setText(text);
    adjustSize();
    QWidget* window = parentWidget();
    QPoint at = box->mapTo(window, QPoint(box->width() + 4, 0));
    // Kept inside the window: a box at the right edge gets its hint on its left.
    if (at.x() + width() > window->width()) at.setX(box->mapTo(window, QPoint()).x() - width() - 4);
    move(at);
    show();
    raise();
    m_hide.start();
}

} // namespace q7rk
