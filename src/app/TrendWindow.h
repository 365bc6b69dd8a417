#pragma once

#include "quality/ControlChart.h"
#include "quality/TrendQuery.h"

#include <QPointF>
#include <QWidget>
#include <memory>
#include <optional>

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QStackedWidget;

namespace q7rk {

class ConditionForm;
class Prompter;
class ResultStore;
class TrendImage;

// `TrendWindow`, "质量趋势": whether the formation line drifts. One numeric field of a kind
// over a date range (the last 30 days at first), filtered by operator, one search condition,
// boiling state and position, as an individuals chart with its moving ranges and histogram,
// Cpk and Ppk. Points that break a rule are red; the mouse over a point tells its test and
// the rules, a click asks for that test in the query window (testChosen). The picture and the
// points can be exported. The query runs through TrendQuery on the GUI thread: a month out of
// a large file is read in well under a second.
class TrendWindow : public QWidget {
    Q_OBJECT
public:
    TrendWindow(const ResultStore& store, Prompter& prompter, QWidget* parent = nullptr);
    ~TrendWindow() override;

    // Reads the trend the controls ask for and shows it; a filter the field cannot take is
    // told and nothing changes.
    void refresh();

    const TrendData& data() const { return m_data; }
    // The chart of the points shown; null while none are.
    const ControlChart* chart() const { return m_chart.get(); }
    // Where point `index` is drawn in the chart widget (objectName "chart"); nullopt when it
    // is not drawn.
    std::optional<QPointF> pointCentre(int index) const;
    // The mouse-over text of a point: test number, date, value and the rules it breaks.
    QString pointText(int index) const;

signals:
    void testChosen(q7rk::TestKind kind, const q7rk::TestKey& key);

private:
    QWidget* buildControls();
    QWidget* buildActions();
    void kindChosen();
    // The filters of the controls; nullopt (after telling why) when one cannot be searched.
    std::optional<QList<QueryCondition>> filters(TestKind kind);
    void present(TrendRequest request, TrendData data);
    QString summary() const;
    QString title() const;
    void exportImage();
    void exportData();
    void inform(const QString& text);

    const ResultStore& m_store;
    Prompter& m_prompter;
    TrendRequest m_request;
    TrendData m_data;
    std::unique_ptr<ControlChart> m_chart;
    std::vector<QStringList> m_pointRules; // the names of the rules each point breaks

    ConditionForm* m_condition = nullptr; // the kind and one search condition
    QComboBox* m_field = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QLineEdit* m_operator = nullptr;
    QComboBox* m_boiling = nullptr;
    QComboBox* m_position = nullptr;
    QLabel* m_summary = nullptr;
    QLabel* m_note = nullptr;
    QStackedWidget* m_pages = nullptr;
    TrendImage* m_image = nullptr;
};

} // namespace q7rk
