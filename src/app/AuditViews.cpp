#include "AuditViews.h"

#include "results/ResultSchema.h"
#include "results/QueryModel.h"
#include "results/ResultTexts.h"
#include "shell/Prompter.h"

#include <QDate>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace q7rk {

namespace {

QTableWidget* makeList(const char* name, QWidget* parent) {
    auto* list = new QTableWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->verticalHeader()->hide();
    return list;
}

void fill(QTableWidget* list, const QStringList& header, const QList<QStringList>& rows) {
    list->clear();
    list->setColumnCount(int(header.size()));
    list->setHorizontalHeaderLabels(header);
    list->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r)
        for (int c = 0; c < int(header.size()); ++c)
            list->setItem(r, c, new QTableWidgetItem(rows[r].value(c)));
    list->resizeColumnsToContents();
}

QString dateText(const QDate& d) {
    return d.toString(QStringLiteral("yyyy/MM/dd"));
}

} // namespace

HistoryDialog::HistoryDialog(const QString& testNumber, const QList<AuditEntry>& entries,
                             QWidget* parent)
    : QWidget(parent, Qt::Dialog) {
    setObjectName(QStringLiteral("history"));
    setWindowTitle(QStringLiteral("修改历史 - ") + testNumber);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* list = makeList("historyList", this);
    QList<QStringList> rows;
    for (const AuditEntry& e : entries)
        rows << QStringList{e.time, e.operatorName, e.field, e.oldValue, e.newValue};
    fill(list,
         {QStringLiteral("时间"), QStringLiteral("测试人"), QStringLiteral("字段"),
          QStringLiteral("原值"), QStringLiteral("新值")},
         rows);
    auto* layout = new QVBoxLayout(this);
    if (entries.isEmpty())
        layout->addWidget(new QLabel(QStringLiteral("该记录没有修改过。"), this));
    layout->addWidget(list);
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(close, 0, Qt::AlignRight);
    resize(640, 360);
}

DeletedRecordsWindow::DeletedRecordsWindow(QueryModel& model, TestKind kind, Prompter& prompter,
                                           QWidget* parent)
    : QWidget(parent, Qt::Window), m_model(model), m_kind(kind), m_prompter(prompter) {
    setObjectName(QStringLiteral("deletedRecords"));
    setWindowTitle(QStringLiteral("已删除记录 - ") +
                   QString::fromUtf8(description(kind).queryItem));
    setAttribute(Qt::WA_DeleteOnClose);
    const QDate today = QDate::currentDate();
    m_from = new QLineEdit(dateText(today.addDays(-30)), this);
    m_from->setObjectName(QStringLiteral("deletedFrom"));
    m_to = new QLineEdit(dateText(today), this);
    m_to->setObjectName(QStringLiteral("deletedTo"));
    auto* search = new QPushButton(QStringLiteral("查询"), this);
    search->setObjectName(QStringLiteral("deletedSearch"));
    m_list = makeList("deletedList", this);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* restore = new QPushButton(QStringLiteral("恢复所选记录"), this);
    restore->setObjectName(QStringLiteral("restoreDeleted"));
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("deletedClose"));

    auto* range = new QHBoxLayout;
    range->addWidget(new QLabel(QStringLiteral("删除日期从"), this));
    range->addWidget(m_from);
    range->addWidget(new QLabel(QStringLiteral("到"), this));
    range->addWidget(m_to);
    range->addWidget(search);
    range->addStretch(1);
    auto* actions = new QHBoxLayout;
    actions->addWidget(restore);
    actions->addStretch(1);
    actions->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(range);
    layout->addWidget(m_list, 1);
    layout->addLayout(actions);
    connect(search, &QPushButton::clicked, this, &DeletedRecordsWindow::refresh);
    connect(restore, &QPushButton::clicked, this, &DeletedRecordsWindow::restoreSelected);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    resize(980, 480);
    refresh();
}

void DeletedRecordsWindow::refresh() {
    QString error;
    const auto entries = m_model.store().deletions(m_kind, m_from->text(), m_to->text(), &error);
    if (!entries)
        return m_prompter.inform(resulttext::infoTitle(),
                                 QStringLiteral("日期格式错误！请按 2012/06/01 的格式输入日期。"));
    if (!error.isEmpty()) return m_prompter.inform(resulttext::infoTitle(), error);
    m_entries = *entries;
    QList<QStringList> rows;
    for (const AuditEntry& e : m_entries) {
        const QString restorable = !e.restoredAt.isEmpty() ? QStringLiteral("否（已恢复）")
                                   : e.keptWhole           ? QStringLiteral("是")
                                                           : QStringLiteral("否（无曲线）");
        rows << QStringList{e.time, e.operatorName, e.restoredAt, restorable} + e.removedRow;
    }
    fill(m_list,
         QStringList{QStringLiteral("删除时间"), QStringLiteral("删除人"), QStringLiteral("已恢复"),
                     QStringLiteral("可恢复")} +
             fieldNames(m_kind),
         rows);
}

void DeletedRecordsWindow::restoreSelected() {
    const QModelIndexList chosen = m_list->selectionModel()->selectedRows();
    if (chosen.isEmpty() || chosen.front().row() >= int(m_entries.size()))
        return m_prompter.inform(resulttext::infoTitle(), resulttext::noSelection());
    const AuditEntry deletion = m_entries[chosen.front().row()];
    // What the list already shows is told without asking first.
    if (!deletion.restoredAt.isEmpty())
        return m_prompter.inform(resulttext::infoTitle(),
                                 resulttext::alreadyRestored(deletion.restoredAt));
    if (!deletion.keptWhole)
        return m_prompter.inform(resulttext::infoTitle(), resulttext::notRestorable());
    if (!m_prompter.ask(
            Question::RestoreDeletedTest, resulttext::infoTitle(),
            QStringLiteral("确定要恢复测试编号 %1 的记录吗？").arg(shownKey(deletion.key()))))
        return;
    // Signed by the name on screen, or one the operator gives now.
    const ResultOutcome outcome = m_model.restore(m_kind, deletion.id);
    refresh();
    for (int r = 0; r < int(m_entries.size()); ++r)
        if (m_entries[r].id == deletion.id) m_list->selectRow(r);
    m_prompter.inform(resulttext::infoTitle(), outcome.message);
    if (!outcome.warning.isEmpty()) m_prompter.inform(resulttext::infoTitle(), outcome.warning);
}

void DeletedRecordsWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace q7rk
