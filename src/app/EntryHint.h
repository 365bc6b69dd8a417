#pragma once

#include <QLabel>
#include <QTimer>

namespace q7rk {

// A small note in tooltip style beside a box, for what the operator should notice but not
// have to answer: it takes no focus, blocks nothing and goes away by itself.
class EntryHint : public QLabel {
    Q_OBJECT
public:
    static constexpr int ShownMs = 4000;

    explicit EntryHint(QWidget* parent);

    // Shows `text` to the right of `box` (on its window) and restarts the time it stays.
    void showBeside(const QWidget* box, const QString& text);

private:
    QTimer m_hide;
};

} // namespace q7rk
