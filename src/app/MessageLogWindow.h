#pragma once

#include <QWidget>

class QLabel;
class QTableWidget;

namespace q7rk {

// 帮助 → 消息记录: what this session told and asked the operator and the status bar's texts,
// with their times, read back from the program's daily log (the lines since the log began,
// across midnight too). Read-only; 刷新 reads again, 复制 puts the rows (the selected ones,
// else all) on the clipboard.
class MessageLogWindow : public QWidget {
    Q_OBJECT
public:
    explicit MessageLogWindow(QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }

public slots:
    void refresh();
    void copy();

private:
    QTableWidget* m_table;
    QLabel* m_note;
};

} // namespace q7rk
