#pragma once

#include <QLabel>
#include <QTimer>

namespace q7rk {

// A small note in tooltip style beside a box, for what the operator should notice but not
// have to answer: it takes no focus and blocks nothing. It goes after a few seconds, or
// sooner at the next edit, and it is put where it covers no other box.
class EntryHint : public QLabel {
    Q_OBJECT
public:
    static constexpr int ShownMs = 5000;

    explicit EntryHint(QWidget* parent);

    // Shows `text` beside `box` (on this hint's parent, which holds the box): right of it,
    // else left, below or above, whichever covers no other entry box of the page.
    void showBeside(const QWidget* box, const QString& text);

private:
    QTimer m_expiry;
};

} // namespace q7rk
