#include "MessageLogWindow.h"

#include "app/UiLog.h"
#include "logging/DailyLog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace q7rk {

MessageLogWindow::MessageLogWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_table(new QTableWidget(0, 3, this)), m_note(new QLabel(this)) {
    setObjectName(QStringLiteral("MessageLogWindow"));
    setWindowTitle(QStringLiteral("消息记录"));
    m_table->setObjectName(QStringLiteral("MessageLogTable"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("时间"), QStringLiteral("类别"), QStringLiteral("内容")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(true);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_note->setObjectName(QStringLiteral("MessageLogNote"));
    m_note->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* again = buttons->addButton(QStringLiteral("刷新"), QDialogButtonBox::ActionRole);
    again->setObjectName(QStringLiteral("MessageLogRefresh"));
    QPushButton* copying = buttons->addButton(QStringLiteral("复制"), QDialogButtonBox::ActionRole);
    copying->setObjectName(QStringLiteral("MessageLogCopy"));
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("MessageLogClose"));
    connect(again, &QPushButton::clicked, this, &MessageLogWindow::refresh);
    connect(copying, &QPushButton::clicked, this, &MessageLogWindow::copy);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_note);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    resize(820, 520);
    refresh();
}

void MessageLogWindow::refresh() {
    m_table->setRowCount(0);
    DailyLog* log = DailyLog::installed();
    if (!log) {
        m_note->setText(QStringLiteral("本程序没有写日志，无法列出消息。"));
        return;
    }
    const QString stopped = log->stopReason();
    m_note->setText(stopped.isEmpty()
                        ? QStringLiteral("本次运行（%1 起）的消息、提问和状态栏文字，取自日志 %2。")
                              .arg(log->startedAt().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                   log->logFolder())
                        : QStringLiteral("日志已停止，之后的消息未记录：") + stopped);
    for (const DailyLog::Entry& entry : log->readSince(log->startedAt())) {
        if (entry.category != QLatin1String("q7rk.ui") || entry.level != QLatin1Char('I')) continue;
        const auto shown = uilog::shownOf(entry.text);
        if (!shown) continue;
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        m_table->setItem(
            row, 0,
            new QTableWidgetItem(entry.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
        m_table->setItem(row, 1, new QTableWidgetItem(uilog::kindName(shown->kind)));
        m_table->setItem(row, 2, new QTableWidgetItem(shown->text));
    }
    m_table->resizeColumnToContents(0);
    m_table->resizeColumnToContents(1);
    m_table->scrollToBottom();
}

void MessageLogWindow::copy() {
    QList<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty())
        for (int r = 0; r < m_table->rowCount(); ++r)
            rows << r;
    QString text;
    for (int r : rows)
        text += QStringLiteral("%1\t%2\t%3\n")
                    .arg(m_table->item(r, 0)->text(), m_table->item(r, 1)->text(),
                         m_table->item(r, 2)->text());
    QGuiApplication::clipboard()->setText(text);
}

} // namespace q7rk
