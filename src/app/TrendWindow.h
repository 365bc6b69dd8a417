#pragma once

#include "plant/PieceTrend.h"
#include "plant/PlantSource.h"
#include "quality/ControlChart.h"
#include "quality/SubgroupChart.h"
#include "quality/TrendQuery.h"

#include <QJsonObject>
#include <QPointF>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace q7rk {

class ConditionForm;
class PlantTrendRead;
class Prompter;
class ResultStore;
class SettingsStore;
class TrendImage;

// `TrendWindow`, "质量趋势": whether the formation line drifts. One numeric field of a kind
// over a date range (the last 30 days at first), filtered by operator, one search condition,
// boiling state and position, as an individuals chart with its moving ranges and histogram,
// Cpk and Ppk. Points that break a rule are red; the mouse over a point tells its test and
// the rules, a click asks for that test in the query window (testChosen). The picture and the
// points can be exported. The query runs through TrendQuery on the GUI thread: a month out of
// a large file is read in well under a second.
// The source can also be the plant's database (工厂数据库): every tester's pieces of one
// grade, by line, upload date and boiling; its read runs on a thread of its own and
// can be cancelled, and a click on a point opens that foil on the plant page (foilChosen).
class TrendWindow : public QWidget {
    Q_OBJECT
public:
    // `plantSource` names the plant database as the station reaches it now.
    // `remembered` keeps the last filters from one opening to the next.
    TrendWindow(const ResultStore& store, Prompter& prompter,
                std::function<PlantSource()> plantSource, SettingsStore* remembered = nullptr,
                QWidget* parent = nullptr);
    ~TrendWindow() override;

    // Reads the trend the controls ask for and shows it; a filter the field cannot take is
    // told and nothing changes.
    void refresh();

    const TrendData& data() const { return m_data; }
    // The pieces charted from the plant's database; empty for the local files.
    const std::vector<PiecePoint>& pieces() const { return m_pieces; }
    // A read of the plant's database is under way.
    bool reading() const { return !m_read.isNull(); }
    // The chart of the points shown; null while none are.
    const ControlChart* chart() const { return m_chart.get(); }
    // The chart of each foil's pieces, when that is the one drawn.
    const SubgroupChart* groupChart() const { return m_groupChart.get(); }
    // Where point `index` is drawn in the chart widget (objectName "chart"); nullopt when it
    // is not drawn.
    std::optional<QPointF> pointCentre(int index) const;
    // The mouse-over text of a point: test number, date, value and the rules it breaks.
    QString pointText(int index) const;

signals:
    void testChosen(q7rk::TestKind kind, const q7rk::TestKey& key);
    void foilChosen(const QString& serial);

private:
    QWidget* buildControls();
    QWidget* buildActions();
    void kindChosen();
    void sourceChosen();
    bool fromPlant() const;
    void readPlant();
    void plantRead();
    void showNote(const QString& text);
    void rememberFilters();
    // The limit boxes read for the grade and value shown (or filled for a new pair);
    // false, after telling why, when one is no number.
    bool takeSpecLimits();
    std::optional<IndexRange> baselineOf(const std::vector<TrendPoint>& points);
    QString baselineKey() const;
    void showKeptBaseline();
    void restoreFilters();
    // The field list was filled: the remembered field is chosen once, if it is there.
    void chooseRememberedField();
    // The filters of the controls; nullopt (after telling why) when one cannot be searched.
    std::optional<QList<QueryCondition>> filters(TestKind kind);
    void present(TrendRequest request, TrendData data);
    QString summary() const;
    QString groupSummary() const;
    void showChart();
    // The filters of the chart shown, for the exported picture.
    QString filtersText() const;
    QString title() const;
    void exportImage();
    void exportData();
    void inform(const QString& text);

    const ResultStore& m_store;
    Prompter& m_prompter;
    std::function<PlantSource()> m_plantSource;
    SettingsStore* m_remembered = nullptr;
    QString m_rememberedField;
    QJsonObject m_specLimits; // "spec|field": [lower, upper] as typed
    QString m_limitsShown;    // the pair the limit boxes hold
    SpecLimits m_engineerLimits;
    QJsonObject m_baselines; // "source|kind or spec|field": [from, to]
    QString m_baselineShown; // the key whose baseline the boxes hold
    bool m_baselineTouched = false;
    QPointer<PlantTrendRead> m_read;
    std::vector<PiecePoint> m_pieces; // the plant's points, beside m_data's
    QString m_subject;                // "TV测试 升压时间", "工厂数据库 S-7 Vt"
    TrendRequest m_request;
    TrendData m_data;
    std::unique_ptr<ControlChart> m_chart;
    // The plant's pieces as foils: the average and range chart when it is the one shown.
    std::unique_ptr<SubgroupChart> m_groupChart;
    std::vector<FoilSubgroup> m_groups;
    std::vector<QStringList> m_pointRules; // the names of the rules each point breaks

    QComboBox* m_source = nullptr; // 本机结果文件 or 工厂数据库
    QWidget* m_localFilters = nullptr;
    QWidget* m_plantFilters = nullptr;
    QLineEdit* m_spec = nullptr;
    QLineEdit* m_line = nullptr;
    QComboBox* m_plantBoiling = nullptr;
    QComboBox* m_chartKind = nullptr;
    QComboBox* m_piece = nullptr;
    QCheckBox* m_useBaseline = nullptr;
    QDateEdit* m_baselineFrom = nullptr;
    QDateEdit* m_baselineTo = nullptr;
    QLineEdit* m_lowerSpec = nullptr;
    QLineEdit* m_upperSpec = nullptr;
    QPushButton* m_cancel = nullptr;
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
