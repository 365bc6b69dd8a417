#pragma once

#include "results/AuditLog.h"

#include <QList>
#include <QWidget>

class QKeyEvent;
class QLineEdit;
class QTableWidget;

namespace q7rk {

class Prompter;
class QueryModel;

// "修改历史": the corrections and the deletion of one stored test, read only.
class HistoryDialog : public QWidget {
    Q_OBJECT
public:
    HistoryDialog(const QString& testNumber, const QList<AuditEntry>& entries, QWidget* parent);
};

// "已删除记录": the tests of a kind deleted between two dates, each row as it was stored,
// with when and by whom it went, and whether it was put back or can be. 恢复所选记录 puts the
// selected one back (after a question) into the result file, where the next query finds it.
class DeletedRecordsWindow : public QWidget {
    Q_OBJECT
public:
    DeletedRecordsWindow(QueryModel& model, TestKind kind, Prompter& prompter, QWidget* parent);

    // Reads the deletions of the dates in the boxes into the list.
    void refresh();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void restoreSelected();

    QueryModel& m_model;
    TestKind m_kind;
    Prompter& m_prompter;
    QLineEdit* m_from = nullptr;
    QLineEdit* m_to = nullptr;
    QTableWidget* m_list = nullptr;
    QList<AuditEntry> m_entries; // the list's rows
};

} // namespace q7rk
