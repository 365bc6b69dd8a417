#include "QueryWindow.h"

#include "app/AuditViews.h"
#include "app/ConditionForm.h"
#include "app/ConditionsDialog.h"
#include "app/CorrectionDialog.h"
#include "results/CsvExport.h"
#include "results/QueryModel.h"
#include "results/ResultSchema.h"
#include "results/ResultTexts.h"
#include "settings/ProgramTitle.h"
#include "shell/Prompter.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDate>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

namespace q7rk {

// The grid as the window lays it out over the model's rows: an empty fixed row, the field
// names, the records read so far, an empty last row. Before the first query it holds two
// empty rows. More records are read as the view scrolls towards the end.
class QueryGridModel : public QAbstractTableModel {
public:
    QueryGridModel(QueryModel& model, QObject* parent)
        : QAbstractTableModel(parent), m_model(model) {}

    void refresh() {
        beginResetModel();
        m_shown = true;
        m_records = m_model.rows().count();
        endResetModel();
    }

    bool canFetchMore(const QModelIndex& parent) const override {
        return !parent.isValid() && m_shown && m_model.canFetchMore();
    }
    void fetchMore(const QModelIndex& parent) override {
        if (!canFetchMore(parent)) return;
        m_model.fetchMore();
        const int now = m_model.rows().count();
        if (now == m_records) return;
        // The records go in before the empty last row.
        beginInsertRows({}, m_records + 2, now + 1);
        m_records = now;
        endInsertRows();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        if (parent.isValid()) return 0;
        return m_shown ? m_records + 3 : 2;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        if (parent.isValid()) return 0;
        return m_shown ? int(m_model.rows().header.size()) + (withDelivery() ? 1 : 0)
                       : int(fieldNames(allKinds().front()).size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const int r = index.row();
        if (role == Qt::BackgroundRole && r == 0) return QPalette().button(); // the fixed row
        if (!index.isValid() || !m_shown) return {};
        if (role == Qt::DisplayRole) {
            if (r == 1) return headerText(index.column());
            if (r < 2 || r >= m_records + 2) return {};
            if (isDeliveryColumn(index.column()))
                return m_deliveries.value(shownKey(m_model.keyAt(r - 2)));
            return m_model.rows().text(r - 2, index.column());
        }
        if (role == Qt::FontRole && r == 1) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    }
    // The column names also head the view, where they stay while the records scroll.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return m_shown ? headerText(section) : fieldNames(allKinds().front()).value(section);
    }

    // Where the pieces of TV tests stand with the plant, after the stored fields. A change of
    // the texts alone leaves the chosen row and the scrolling as they are.
    void setDeliveries(QHash<QString, QString> deliveries, bool shown) {
        if (shown == m_deliveriesShown) {
            m_deliveries = std::move(deliveries);
            if (withDelivery() && m_records > 0) {
                const int column = int(m_model.rows().header.size());
                emit dataChanged(index(2, column), index(m_records + 1, column), {Qt::DisplayRole});
            }
            return;
        }
        beginResetModel();
        m_deliveries = std::move(deliveries);
        m_deliveriesShown = shown;
        endResetModel();
    }

private:
    bool withDelivery() const {
        return m_deliveriesShown && m_model.condition().kind == TestKind::Tv;
    }
    bool isDeliveryColumn(int column) const {
        return withDelivery() && column == int(m_model.rows().header.size());
    }
    QString headerText(int column) const {
        return isDeliveryColumn(column) ? QStringLiteral("工厂数据库")
                                        : m_model.rows().header.value(column);
    }

    QueryModel& m_model;
    QHash<QString, QString> m_deliveries;
    bool m_deliveriesShown = false;
    int m_records = 0; // records the view knows of
    bool m_shown = false;
};

namespace {

QLineEdit* makeEdit(const char* name, const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

QComboBox* makeCombo(const char* name, const QStringList& items, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->addItems(items);
    return combo;
}

} // namespace

QueryWindow::QueryWindow(QueryModel& model, Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window), m_model(model), m_prompter(prompter) {
    setObjectName(QStringLiteral("query"));
    setWindowTitle(QStringLiteral("历史数据查询"));

    m_gridModel = new QueryGridModel(m_model, this);
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("MSHFlexGrid1"));
    m_grid->setModel(m_gridModel);
    // Rows 0 (the fixed row) and 1 (the names) keep the grid's numbering, but the names are
    // shown in the view's own header, which stays in place while the records scroll.
    m_grid->horizontalHeader()->setObjectName(QStringLiteral("gridTitles"));
    m_grid->verticalHeader()->hide();
    const auto hideTitleRows = [this] {
        m_grid->setRowHidden(0, true);
        m_grid->setRowHidden(1, true);
    };
    hideTitleRows();
    connect(m_gridModel, &QAbstractItemModel::modelReset, this, hideTitleRows);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto* help = new QLabel(operatingHelp(), this);
    help->setObjectName(QStringLiteral("Label11"));
    help->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildCondition());
    layout->addWidget(m_grid, 1);
    layout->addWidget(buildActions());
    layout->addWidget(help);
    resize(980, 640);
}

// The grid lets go of its model first: a header asked for its size while the window closes
// must not read rows that are going.
QueryWindow::~QueryWindow() {
    m_grid->setModel(nullptr);
}

QString QueryWindow::operatingHelp() {
    return QStringList{
        QStringLiteral("查询步骤：1、选择查询条件，2、选择方向，3、修改参数1或2，4、点击查询按钮，"
                       "得到查询结果。"),
        QStringLiteral("删除记录：1、点击要删除的记录，按删除记录按钮完成单个记录删除。"),
        QStringLiteral("显示记录：1、点击要显示的记录，按显示记录按钮完成历史记录显示。"
                       "如果测试编号尾数为L/M/R，分别表示"),
        QStringLiteral("左-1/中-2/右-3测试通道。"),
        QStringLiteral("删除一批记录：1、点击要开始删除的记录，2、在记录框中填入要删除的个数，"
                       "3、按确定按钮完成成批删除工作。比较显示：1、先在主画面选择操作-三路切换，"
                       "根据图形确定是三路同图显示还是分开显示。2、依次选择相应的测"),
        QStringLiteral("试编号，点击显示记录，可以显示1、2、3张测试图形进行比较和打印。"
                       "点击新建重新开始比较。"),
    }
        .join(QLatin1Char('\n'));
}

QWidget* QueryWindow::buildCondition() {
    auto* frame = new QGroupBox(QStringLiteral("请输入查询条件："), this);
    m_condition = new ConditionForm(ConditionForm::Use::Search, frame);
    m_count = makeEdit("Text4", QStringLiteral("0"), frame);
    m_count->setReadOnly(true);
    auto* query = makeButton("Command1", QStringLiteral("查询"), frame);

    auto* grid = new QGridLayout(frame);
    grid->addWidget(new QLabel(QStringLiteral(" 查询条件："), frame), 1, 0);
    grid->addWidget(m_condition, 0, 1, 2, 5);
    grid->addWidget(query, 1, 6, Qt::AlignBottom);
    auto* found = new QHBoxLayout;
    found->addWidget(new QLabel(QStringLiteral("查询结果"), frame));
    found->addWidget(m_count);
    found->addWidget(new QLabel(QStringLiteral("条记录"), frame));
    found->addStretch(1);
    grid->addLayout(found, 2, 1, 1, 6);

    connect(query, &QPushButton::clicked, this, &QueryWindow::runQuery);
    return frame;
}

QWidget* QueryWindow::buildActions() {
    auto* row = new QWidget(this);
    m_delete = makeButton("Command2", QStringLiteral("删除记录"), row);
    m_batch = makeEdit("Text3", QStringLiteral("1"), row);
    m_batch->setMaximumWidth(60);
    auto* batch = makeButton("Command9", QStringLiteral("确定"), row);
    m_correct = makeButton("Command5", QStringLiteral("修改记录"), row);
    m_group = makeCombo(
        "Combo4", {QStringLiteral("1-3通道"), QStringLiteral("4-6通道"), QStringLiteral("1-6通道")},
        row);
    m_slot = makeEdit("Text5", QStringLiteral("0"), row);
    m_slot->setMaximumWidth(40);
    m_display = makeButton("Command3", QStringLiteral("显示记录"), row);
    m_conditions = makeButton("ShowConditions", QStringLiteral("测量条件"), row);
    m_export = makeButton("ExportCsv", QStringLiteral("导出CSV"), row);
    m_history = makeButton("HistoryButton", QStringLiteral("修改历史"), row);
    auto* deletions = makeButton("DeletedButton", QStringLiteral("已删除记录"), row);
    m_exportCurve = makeButton("ExportCurve", QStringLiteral("导出曲线"), row);
    m_upload = makeButton("UploadToPlant", QStringLiteral("上传到工厂数据库"), row);
    auto* quit = makeButton("Command4", QStringLiteral("退出"), row);
    m_history->setEnabled(false);
    m_exportCurve->setEnabled(false);
    m_upload->setEnabled(false);
    // Deleting and correcting need a query first; displaying needs one that found records.
    m_delete->setEnabled(false);
    m_correct->setEnabled(false);
    m_display->setEnabled(false);
    m_conditions->setEnabled(false);
    m_export->setEnabled(false);

    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(m_delete);
    line->addWidget(new QLabel(QStringLiteral("记录从选择项开始共"), row));
    line->addWidget(m_batch);
    line->addWidget(new QLabel(QStringLiteral("条纪录被删除"), row));
    line->addWidget(batch);
    line->addWidget(m_correct);
    line->addStretch(1);
    line->addWidget(new QLabel(QStringLiteral("显示通道"), row));
    line->addWidget(m_group);
    line->addWidget(m_slot);
    line->addWidget(m_display);
    line->addWidget(m_conditions);
    line->addWidget(m_export);
    line->addWidget(m_exportCurve);
    line->addWidget(m_upload);
    line->addWidget(m_history);
    line->addWidget(deletions);
    line->addWidget(quit);

    connect(m_delete, &QPushButton::clicked, this, &QueryWindow::deleteSelected);
    connect(batch, &QPushButton::clicked, this, &QueryWindow::deleteBatch);
    connect(m_correct, &QPushButton::clicked, this, &QueryWindow::openCorrection);
    connect(m_display, &QPushButton::clicked, this, &QueryWindow::displaySelected);
    connect(m_conditions, &QPushButton::clicked, this, &QueryWindow::showConditions);
    connect(m_export, &QPushButton::clicked, this, &QueryWindow::exportCsv);
    connect(m_history, &QPushButton::clicked, this, &QueryWindow::showHistory);
    connect(deletions, &QPushButton::clicked, this, &QueryWindow::showDeletions);
    connect(m_exportCurve, &QPushButton::clicked, this, &QueryWindow::exportCurve);
    connect(m_upload, &QPushButton::clicked, this, [this] {
        if (const auto record = selectedRecord())
            emit uploadRequested(m_model.keyAt(*record));
        else
            inform(resulttext::noSelection());
    });
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
    return row;
}

void QueryWindow::inform(const QString& text) {
    m_prompter.inform(programTitle::full(), text);
}

void QueryWindow::runQuery() {
    const ResultRows& rows = m_model.run(*m_condition->condition());
    showRows();
    m_delete->setEnabled(true);
    m_correct->setEnabled(true);
    m_export->setEnabled(true);
    if (!rows.message.isEmpty()) m_prompter.inform(resulttext::infoTitle(), rows.message);
}

void QueryWindow::setDeliverySource(std::function<QHash<QString, QString>()> source) {
    m_deliverySource = std::move(source);
    refreshDeliveries();
}

void QueryWindow::refreshDeliveries() {
    m_gridModel->setDeliveries(m_deliverySource ? m_deliverySource() : QHash<QString, QString>{},
                               bool(m_deliverySource));
}

void QueryWindow::searchAgain() {
    if (!m_model.hasRun()) return;
    m_model.run(m_model.condition());
    showRows();
}

void QueryWindow::showRows() {
    if (m_deliverySource) m_gridModel->setDeliveries(m_deliverySource(), true);
    m_gridModel->refresh();
    // Sized by the first screen: measuring every row would read them all.
    m_grid->resizeColumnsToContents();
    const int count = m_model.rows().count();
    m_display->setEnabled(count > 0);
    m_history->setEnabled(count > 0);
    m_exportCurve->setEnabled(count > 0);
    m_conditions->setEnabled(count > 0);
    m_upload->setEnabled(count > 0 && m_model.condition().kind == TestKind::Tv);
    showCount();
    // The count of a long result is taken once the first screen is up.
    if (!m_model.totalCount())
        QTimer::singleShot(0, this, [this] {
            m_model.countAll();
            showCount();
        });
}

void QueryWindow::showCount() {
    const auto total = m_model.totalCount();
    m_count->setText(total ? QString::number(*total) : QString());
}

std::optional<int> QueryWindow::selectedRecord() const {
    const int row = m_grid->currentIndex().row();
    const auto record = m_model.recordOfGridRow(row);
    // The grid shows the model's rows; a row whose number differs is no record to act on.
    if (!record || m_gridModel->index(row, 0).data().toString() != m_model.testNumberAt(*record))
        return std::nullopt;
    return record;
}

std::optional<int> QueryWindow::gridRowOf(TestKind kind, const TestKey& key) const {
    if (m_model.rows().kind != kind) return std::nullopt;
    for (int record = 0; record < m_model.rows().count(); ++record)
        if (m_model.keyAt(record) == key) return record + 2;
    return std::nullopt;
}

bool QueryWindow::selectTest(TestKind kind, const TestKey& key) {
    auto row = gridRowOf(kind, key);
    if (!row) {
        // The condition boxes show the search that found it, as if typed.
        m_condition->setCondition(
            {kind, QStringLiteral("测试编号"), QStringLiteral("="), key.number, {}});
        runQuery();
        row = gridRowOf(kind, key);
    }
    if (!row) return false;
    m_grid->setCurrentIndex(m_gridModel->index(*row, 0));
    m_grid->scrollTo(m_grid->currentIndex());
    return true;
}

void QueryWindow::deleteSelected() {
    const auto record = selectedRecord();
    if (!record) return inform(resulttext::noSelection());
    if (!m_prompter.ask(Question::DeleteStoredTest, resulttext::infoTitle(),
                        QStringLiteral("您确定要删除所选记录吗？")))
        return;
    const ResultOutcome outcome = m_model.deleteRecord(record);
    showRows();
    inform(outcome.message);
    if (!outcome.warning.isEmpty()) inform(outcome.warning);
}

void QueryWindow::deleteBatch() {
    const auto record = selectedRecord();
    if (!record) return inform(resulttext::noSelection());
    const QString count = m_batch->text();
    // A count that is no whole number of records is refused before anything is asked.
    if (!parseBatchCount(count)) return inform(resulttext::badBatchCount());
    if (!m_prompter.ask(Question::DeleteStoredBatch, resulttext::infoTitle(),
                        QStringLiteral("您确定要删除 ") + count +
                            QStringLiteral(" 条所选记录吗？")))
        return;
    const int row = m_grid->currentIndex().row();
    const ResultOutcome outcome = m_model.deleteBatch(record, count);
    showRows();
    m_batch->setText(QStringLiteral("0"));
    if (row < m_gridModel->rowCount()) m_grid->setCurrentIndex(m_gridModel->index(row, 0));
    inform(outcome.message);
    if (!outcome.warning.isEmpty()) inform(outcome.warning);
}

void QueryWindow::openCorrection() {
    const auto record = selectedRecord();
    if (!record) return inform(resulttext::noSelection());
    if (m_dialog) m_dialog->close();
    m_dialog = new CorrectionDialog(m_model, m_prompter, *record, this);
    m_dialog->show();
}

void QueryWindow::displaySelected() {
    const auto record = selectedRecord();
    if (!record) return inform(resulttext::noSelection());
    DisplayRequest request;
    request.kind = m_model.condition().kind;
    request.key = m_model.keyAt(*record);
    request.group = DisplayGroup(std::clamp(m_group->currentIndex(), 0, 2));
    request.slot = displayChannel(m_slot->text().trimmed().toInt(), request.group);
    m_slot->setText(QString::number(request.slot));
    emit displayRequested(request);
    m_slot->setText(QString::number(nextDisplaySlot(request.slot)));
}

void QueryWindow::showConditions() {
    const auto record = selectedRecord();
    if (!record) return inform(resulttext::noSelection());
    const TestKey key = m_model.keyAt(*record);
    const QString number = shownKey(key);
    const auto conditions = m_model.store().conditions(m_model.condition().kind, key);
    if (!conditions)
        return inform(QStringLiteral("测试编号为 ") + number +
                      QStringLiteral(" 的记录没有测量条件（由早期版本的程序保存）。"));
    (new ConditionsDialog(number, *conditions, this))->show();
}

void QueryWindow::exportCsv() {
    if (m_exportJob) return; // one export at a time
    const QString proposed = ConditionForm::kindItems().value(int(m_model.condition().kind)) +
                             QStringLiteral("查询结果-") +
                             QDate::currentDate().toString(QStringLiteral("yyyy-M-d")) +
                             QStringLiteral(".csv");
    const QString path = m_prompter.saveFileName(QStringLiteral("导出CSV"), proposed,
                                                 QStringLiteral("CSV文件(*.csv);;所有文件(*.*)"));
    if (path.isEmpty()) return; // cancelled
    auto* job = new CsvExportJob(m_model.store(), m_model.condition(), path, 2000, this);
    m_exportJob = job;
    m_export->setEnabled(false);
    // Not modal: a modal progress would run the event loop inside each step.
    auto* progress = new QProgressDialog(QStringLiteral("正在导出查询结果…"),
                                         QStringLiteral("取消"), 0, 0, this);
    progress->setObjectName(QStringLiteral("exportProgress"));
    progress->setWindowModality(Qt::NonModal);
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    progress->setMinimumDuration(0);
    connect(job, &CsvExportJob::progress, progress, [progress](qint64 written, qint64 total) {
        progress->setMaximum(int(std::min<qint64>(total, INT_MAX)));
        progress->setValue(int(std::min<qint64>(written, INT_MAX)));
    });
    connect(progress, &QProgressDialog::canceled, job, &CsvExportJob::cancel);
    connect(job, &CsvExportJob::finished, this, [this, job, progress, path](bool ok) {
        const bool cancelled = progress->wasCanceled();
        progress->deleteLater();
        job->deleteLater();
        m_exportJob = nullptr;
        m_export->setEnabled(true);
        if (!ok && !cancelled) inform(QStringLiteral("导出失败，无法写入文件：") + path);
        emit exportFinished(ok);
    });
    progress->show();
    job->start();
}

void QueryWindow::showHistory() {
    const auto record = selectedRecord();
    if (!record) return inform(resulttext::noSelection());
    const TestKey key = m_model.keyAt(*record);
    QString error;
    const auto entries = m_model.store().history(m_model.condition().kind, key, &error);
    if (!error.isEmpty()) return inform(error);
    (new HistoryDialog(shownKey(key), entries, this))->show();
}

void QueryWindow::showDeletions() {
    (new DeletedRecordsWindow(m_model, m_condition->kind(), m_prompter, this))->show();
}

void QueryWindow::exportCurve() {
    const auto record = selectedRecord();
    if (!record) return inform(resulttext::noSelection());
    const TestKey key = m_model.keyAt(*record);
    const QString number = shownKey(key);
    const QString path =
        m_prompter.saveFileName(QStringLiteral("导出曲线"), number + QStringLiteral("曲线.csv"),
                                QStringLiteral("CSV文件(*.csv);;所有文件(*.*)"));
    if (path.isEmpty()) return; // cancelled
    const auto bytes = curveCsv(m_model.store(), m_model.condition().kind, key);
    if (!bytes)
        return inform(QStringLiteral("导出失败：结果文件中已没有测试编号 %1 的记录。").arg(number));
    QString cause;
    if (!writeFileAtomically(path, *bytes, &cause))
        return inform(QStringLiteral("导出失败，无法写入文件 %1：%2").arg(path, cause));
    inform(QStringLiteral("曲线已导出到 ") + path);
}

} // namespace q7rk
