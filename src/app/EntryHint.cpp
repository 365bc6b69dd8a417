#include "EntryHint.h"

namespace q7rk {

EntryHint::EntryHint(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("EntryHint"));
    // A child of the page rather than a tooltip: a tooltip hides as soon as the focus moves,
    // and leaving the box is exactly when the hint is due; on the page it goes away with
    // the page when the operator changes tabs.
    setAutoFillBackground(true);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setMargin(3);
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::ToolTipBase));
    p.setColor(QPalette::WindowText, p.color(QPalette::ToolTipText));
    setPalette(p);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void EntryHint::showBeside(const QWidget* box, const QString& text) {
    setText(text);
    adjustSize();
    QWidget* page = parentWidget();
    QPoint at = box->mapTo(page, QPoint(box->width() + 4, 0));
    // Kept inside the page: a box at the right edge gets its hint on its left.
    if (at.x() + width() > page->width()) at.setX(box->mapTo(page, QPoint()).x() - width() - 4);
    move(at);
    show();
    raise();
}

} // namespace q7rk
