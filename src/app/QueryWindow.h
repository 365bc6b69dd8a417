#pragma once

#include "reports/StoredTestDisplay.h"
#include "settings/ChannelModel.h"

#include <QHash>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableView;

namespace q7rk {

class ConditionForm;
class CorrectionDialog;
class CsvExportJob;
class Prompter;
class QueryGridModel;
class QueryModel;

// `query`, "历史数据查询": the modeless query window over the query model. One condition
// (kind, field, comparison, one or two values) selects stored tests into the grid; the
// selected grid row can be deleted (alone or with the rows after it), corrected in the
// dialog `jlxg`, or displayed in the main window, which the window asks for through
// displayRequested. The search can be exported as CSV, a page at a time, and the selected
// test's curve as a file of its own. 修改历史 lists the selected test's changes, 已删除记录 the
// tests of the kind deleted between two dates. Every message goes through the Prompter.
//
// Grid rows: 0 is the empty fixed row, 1 the field names, 2..n+1 the n records, then one
// empty row. Only record rows count as selected.
class QueryWindow : public QWidget {
    Q_OBJECT
public:
    QueryWindow(QueryModel& model, Prompter& prompter, QWidget* parent = nullptr);
    ~QueryWindow() override;

    // The operating help shown at the foot of the window.
    static QString operatingHelp();
    // The items of the kind list, in the order of TestKind.

    // The record of the selected grid row; nullopt for any other row.
    std::optional<int> selectedRecord() const;
    // Selects the row of that stored test, so 显示记录 shows it: among the rows read so far
    // when they are of its kind, else by searching for its number (which replaces the
    // search). False when the file does not hold it.
    bool selectTest(TestKind kind, const TestKey& key);

signals:
    // 显示记录: the stored test of the selected row into channel `slot` (already fitted to
    // the group; the window's slot counter has moved on).
    void displayRequested(const q7rk::DisplayRequest& request);
    // A CSV export ended: ok when the file holds every row.
    void exportFinished(bool ok);
    // 上传到工厂数据库: the stored TV test of the selected row to the plant.
    void uploadRequested(const q7rk::TestKey& key);

public:
    // Where the stored TV tests' pieces stand with the plant (by shownKey), for the column
    // "工厂数据库"; asked again after each query and by refreshDeliveries.
    void setDeliverySource(std::function<QHash<QString, QString>()> source);
    void refreshDeliveries();
    // The last search run again, when one was run: the result files changed underneath.
    void searchAgain();

private:
    QWidget* buildCondition();
    QWidget* buildActions();
    void runQuery();
    void deleteSelected();
    void deleteBatch();
    void openCorrection();
    void displaySelected();
    // 测量条件: what the selected test was measured under, in a small read-only window.
    void showConditions();
    void exportCsv();
    void showHistory();
    void showDeletions();
    void exportCurve();
    // The grid shows the model's rows again; the count box and buttons follow.
    void showRows();
    // Text4: the number of records found, empty until it is known.
    void showCount();
    void inform(const QString& text);
    // The grid row of the test among the rows read so far.
    std::optional<int> gridRowOf(TestKind kind, const TestKey& key) const;

    QueryModel& m_model;
    Prompter& m_prompter;
    QueryGridModel* m_gridModel = nullptr;
    QTableView* m_grid = nullptr;
    ConditionForm* m_condition = nullptr;
    QComboBox* m_group = nullptr;     // Combo4
    QLineEdit* m_batch = nullptr;     // Text3
    QLineEdit* m_count = nullptr;     // Text4
    QLineEdit* m_slot = nullptr;      // Text5
    QPushButton* m_delete = nullptr;  // Command2
    QPushButton* m_correct = nullptr; // Command5
    QPushButton* m_display = nullptr; // Command3
    QPushButton* m_conditions = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_history = nullptr;
    QPushButton* m_exportCurve = nullptr;
    QPushButton* m_upload = nullptr; // 上传到工厂数据库
    std::function<QHash<QString, QString>()> m_deliverySource;
    QPointer<CorrectionDialog> m_dialog;
    QPointer<CsvExportJob> m_exportJob;
};

} // namespace q7rk
