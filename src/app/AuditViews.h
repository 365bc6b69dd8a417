#pragma once

#include "results/AuditLog.h"

#include <QList>
#include <QWidget>

class QLineEdit;
class QTableWidget;

namespace q7rk {

class Prompter;
class ResultStore;

// "修改历史": the corrections and the deletion of one stored test, read only.
class HistoryDialog : public QWidget {
    Q_OBJECT
public:
    HistoryDialog(const QString& testNumber, const QList<AuditEntry>& entries, QWidget* parent);
};

// "已删除记录": the tests of a kind deleted between two dates, each row as it was stored,
// with when and by whom it went.
class DeletedRecordsWindow : public QWidget {
    Q_OBJECT
public:
    DeletedRecordsWindow(const ResultStore& store, TestKind kind, Prompter& prompter,
                         QWidget* parent);

    // Reads the deletions of the dates in the boxes into the list.
    void refresh();

private:
    const ResultStore& m_store;
    TestKind m_kind;
    Prompter& m_prompter;
    QLineEdit* m_from = nullptr;
    QLineEdit* m_to = nullptr;
    QTableWidget* m_list = nullptr;
};

} // namespace q7rk
