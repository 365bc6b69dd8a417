#include "EntryHint.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <algorithm>
#include <limits>

namespace q7rk {

namespace {

constexpr int Gap = 4;

// The places of the page's boxes and buttons other than `box`, that a hint must not cover.
QList<QRect> occupied(QWidget* page, const QWidget* box) {
    QList<QRect> rects;
    const auto add = [&](const QWidget* w) {
        if (w != box && w->isVisible()) rects << QRect(w->mapTo(page, QPoint()), w->size());
    };
    for (const QLineEdit* w : page->findChildren<QLineEdit*>())
        if (!qobject_cast<const QComboBox*>(w->parentWidget())) add(w);
    for (const QComboBox* w : page->findChildren<QComboBox*>())
        add(w);
    for (const QAbstractButton* w : page->findChildren<QAbstractButton*>())
        add(w);
    return rects;
}

} // namespace

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
    m_expiry.setSingleShot(true);
    m_expiry.setInterval(ShownMs);
    connect(&m_expiry, &QTimer::timeout, this, &QWidget::hide);
    hide();
}

void EntryHint::showBeside(const QWidget* box, const QString& text) {
    setText(text);
    adjustSize();
    QWidget* page = parentWidget();
    const QRect at(box->mapTo(page, QPoint()), box->size());
    const QList<QPoint> places{
        QPoint(at.right() + 1 + Gap, at.top()),          // right
        QPoint(at.left() - Gap - width(), at.top()),     // left
        QPoint(at.left(), at.bottom() + 1 + Gap / 2),    // below
        QPoint(at.left(), at.top() - Gap / 2 - height()) // above
    };
    const QList<QRect> others = occupied(page, box);
    const QRect pageRect = page->rect();
    // The first place inside the page that covers no box; failing that, the one inside the
    // page that covers the fewest.
    QPoint best = places.first();
    qsizetype fewest = std::numeric_limits<qsizetype>::max();
    for (const QPoint& place : places) {
        const QRect rect(place, size());
        if (!pageRect.contains(rect)) continue;
        const auto covered = std::count_if(others.cbegin(), others.cend(),
                                           [&](const QRect& r) { return r.intersects(rect); });
        if (covered < fewest) {
            fewest = covered;
            best = place;
        }
        if (covered == 0) break;
    }
    move(best);
    show();
    raise();
    m_expiry.start();
}

} // namespace q7rk
