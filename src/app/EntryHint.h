#pragma once

#include <QLabel>

namespace q7rk {

// A small note in tooltip style beside a box, for what the operator should notice but not
// have to answer: it takes no focus and blocks nothing. It stays until the box is edited
// again, so that a replaced entry cannot pass unseen while the operator looks elsewhere.
class EntryHint : public QLabel {
    Q_OBJECT
public:
    explicit EntryHint(QWidget* parent);

    // Shows `text` to the right of `box` (on this hint's parent, which holds the box).
    void showBeside(const QWidget* box, const QString& text);
};

} // namespace q7rk
