#include "PlantQueueWindow.h"

#include "kinds/TestKindDescription.h"
#include "plant/PlantQueuePresenter.h"
#include "plant/PlantTexts.h"
#include "station/Station.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

namespace q7rk {

namespace {

constexpr int Columns = 7;

QString timeText(const QDateTime& t) {
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

QString testText(const QueuedUpload& entry) {
    return entry.origin ? shownKey(entry.origin->key) : QString();
}

QPushButton* button(const char* name, const char* caption, QWidget* parent) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

PlantQueueWindow::PlantQueueWindow(Station& station, QWidget* parent)
    : QWidget(parent), m_station(station) {
    setObjectName(QStringLiteral("PlantQueueWindow"));
    setWindowTitle(QStringLiteral("补传工厂数据"));
    m_list = new QTableWidget(0, Columns, this);
    m_list->setObjectName(QStringLiteral("queueList"));
    m_list->setHorizontalHeaderLabels({QStringLiteral("状态"), QStringLiteral("卷号"),
                                       QStringLiteral("片号"), QStringLiteral("测试编号"),
                                       QStringLiteral("存入本机"), QStringLiteral("最近补传"),
                                       QStringLiteral("原因")});
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    // Everything but the reason is read whole; the reason takes the rest.
    for (int column = 0; column < Columns - 1; ++column)
        m_list->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("queueStatus"));
    m_status->setWordWrap(true);

    m_retryAll = button("retryAll", "全部补传", this);
    m_retrySelected = button("retrySelected", "补传所选", this);
    m_remove = button("removeSelected", "删除所选", this);
    QPushButton* close = button("closeWindow", "关闭", this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_retryAll, m_retrySelected, m_remove})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(m_status);
    layout->addLayout(buttons);
    resize(900, 360);

    connect(m_retryAll, &QPushButton::clicked, this, [this] { m_station.retryPlant(); });
    connect(m_retrySelected, &QPushButton::clicked, this, [this] {
        std::vector<qint64> ids;
        for (const QueuedUpload& e : selected())
            ids.push_back(e.id);
        if (!ids.empty()) m_station.retryPlant(ids);
    });
    connect(m_remove, &QPushButton::clicked, this,
            [this] { m_station.plantQueue().removeQueued(selected()); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    const PlantQueuePresenter& queue = m_station.plantQueue();
    connect(&queue, &PlantQueuePresenter::pendingChanged, this, &PlantQueueWindow::refresh);
    connect(&queue, &PlantQueuePresenter::queueRetried, this, &PlantQueueWindow::refresh);
    connect(&queue, &PlantQueuePresenter::queueStatusChanged, this, &PlantQueueWindow::showRunning);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PlantQueueWindow::showRunning);
    refresh();
}

void PlantQueueWindow::refresh() {
    // The chosen pieces stay chosen where the new order puts them; none that left is.
    std::set<qint64> chosen;
    for (const QueuedUpload& e : selected())
        chosen.insert(e.id);
    const auto listed = m_station.plantQueue().queuedUploads();
    m_entries = listed.value;
    // By state: what the operator has not decided yet first, what is never sent last.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const QueuedUpload& a, const QueuedUpload& b) { return a.state < b.state; });
    m_list->clearContents();
    m_list->setRowCount(int(m_entries.size()));
    for (int r = 0; r < int(m_entries.size()); ++r) {
        const QueuedUpload& e = m_entries[std::size_t(r)];
        const QString cells[Columns] = {outboxStateText(e.state),
                                        e.piece.serial,
                                        plantTexts::pieceLabel(e.piece.curveNumber),
                                        testText(e),
                                        timeText(e.queued),
                                        timeText(e.tried),
                                        e.reason};
        for (int c = 0; c < Columns; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setToolTip(cells[c]); // errors can be long
            m_list->setItem(r, c, item);
        }
    }
    m_list->clearSelection();
    for (int r = 0; r < int(m_entries.size()); ++r)
        if (chosen.contains(m_entries[std::size_t(r)].id))
            m_list->selectionModel()->select(m_list->model()->index(r, 0),
                                             QItemSelectionModel::Select |
                                                 QItemSelectionModel::Rows);
    m_listError = listed.status.message;
    showRunning();
}

// While a pass runs the send buttons wait; the status line says where it stands.
void PlantQueueWindow::showRunning() {
    const PlantQueuePresenter& queue = m_station.plantQueue();
    const QString status = queue.queueStatus();
    m_status->setText(status.isEmpty() ? m_listError : status);
    const bool idle = !queue.retrying();
    const bool chosen = m_list->selectionModel()->hasSelection();
    m_retryAll->setEnabled(idle && !m_entries.empty());
    m_retrySelected->setEnabled(idle && chosen);
    m_remove->setEnabled(chosen);
}

std::vector<QueuedUpload> PlantQueueWindow::selected() const {
    std::set<int> rows;
    for (const QModelIndex& i : m_list->selectionModel()->selectedRows())
        rows.insert(i.row());
    std::vector<QueuedUpload> out;
    for (int r : rows)
        if (r < int(m_entries.size())) out.push_back(m_entries[std::size_t(r)]);
    return out;
}

} // namespace q7rk
