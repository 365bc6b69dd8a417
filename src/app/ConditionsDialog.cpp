#include "ConditionsDialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace q7rk {

ConditionsDialog::ConditionsDialog(const QString& testNumber, const RunConditions& conditions,
                                   QWidget* parent)
    : QWidget(parent, Qt::Dialog) {
    setObjectName(QStringLiteral("ConditionsDialog"));
    setWindowTitle(QStringLiteral("测量条件"));
    setAttribute(Qt::WA_DeleteOnClose);

    const auto lines = shownConditions(conditions);
    auto* table = new QTableWidget(int(lines.size()), 2, this);
    table->setObjectName(QStringLiteral("conditions"));
    table->setHorizontalHeaderLabels({QStringLiteral("项目"), QStringLiteral("值")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < int(lines.size()); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(lines[row].first));
        table->setItem(row, 1, new QTableWidgetItem(lines[row].second));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    auto* quit = new QPushButton(QStringLiteral("退出"), this);
    quit->setObjectName(QStringLiteral("Command1"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("测试编号：") + testNumber, this));
    layout->addWidget(table);
    layout->addWidget(quit);
    resize(420, 400);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
}

} // namespace q7rk
