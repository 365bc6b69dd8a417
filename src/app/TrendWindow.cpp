#include "TrendWindow.h"

#include "app/ConditionForm.h"
#include "app/PlantTrendRead.h"
#include "plant/PlantTexts.h"
#include "quality/SubgroupChartPainter.h"
#include "quality/TrendChartPainter.h"
#include "results/CsvExport.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "results/SqlCondition.h"
#include "settings/NumberText.h"
#include "settings/ProgramTitle.h"
#include "settings/SettingsKeys.h"
#include "settings/SettingsStore.h"
#include "shell/Prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QStackedWidget>
#include <QToolTip>
#include <QVBoxLayout>
#include <functional>

namespace q7rk {

namespace {

const QString kDateFormat = QStringLiteral("yyyy/MM/dd");
constexpr QSize kExportSize(1200, 800);
constexpr double kHitRadius = 6; // pixels around a point's centre that count as on it

QString number(const std::optional<double>& v, int decimals = -1) {
    if (!v) return QStringLiteral("—");
    return decimals < 0 ? QString::number(*v, 'g', 6) : QString::number(*v, 'f', decimals);
}

// The field a trend starts with: the first one the verdict judges, else the first.
QString defaultField(TestKind kind) {
    const QStringList fields = trendFields(kind);
    for (const QString& f : fields)
        if (trendField(kind, f)->side != LimitSide::None) return f;
    return fields.value(0);
}

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

// The chart as an image of the widget's size, drawn again when the size or the trend
// changes; it knows where each point lies, for the mouse.
class TrendImage : public QWidget {
public:
    explicit TrendImage(QWidget* parent) : QWidget(parent) {
        setMouseTracking(true);
        setMinimumSize(640, 400);
    }

    // Either chart's painter, kept here for the picture's life.
    template <typename Painter> void setPainter(std::unique_ptr<Painter> painter) {
        std::shared_ptr<const Painter> kept(std::move(painter));
        m_paint = [kept](QPainter& p, const QRect& area) { kept->paint(p, area); };
        m_centresOf = [kept](const QRect& area) { return kept->pointCentres(area); };
        redraw();
    }
    // Before the chart a painter refers to goes.
    void clear() {
        m_paint = nullptr;
        m_centresOf = nullptr;
        redraw();
    }
    const std::vector<QPointF>& centres() const { return m_centres; }

    std::function<QString(int)> textOf;
    std::function<void(int)> chosen;

protected:
    void resizeEvent(QResizeEvent*) override { redraw(); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(0, 0, m_image);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        const auto index = pointAt(event->position());
        setCursor(index ? Qt::PointingHandCursor : Qt::ArrowCursor);
        if (index)
            QToolTip::showText(event->globalPosition().toPoint(), textOf(*index), this);
        else
            QToolTip::hideText();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        if (const auto index = pointAt(event->position())) chosen(*index);
    }

private:
    void redraw() {
        m_image = QImage(size(), QImage::Format_RGB32);
        m_image.fill(Qt::white);
        m_centres.clear();
        if (m_paint) {
            QPainter p(&m_image);
            m_paint(p, m_image.rect());
            m_centres = m_centresOf(m_image.rect());
        }
        update();
    }
    // The nearest point within reach of the mouse.
    std::optional<int> pointAt(const QPointF& at) const {
        std::optional<int> best;
        double bestDistance = kHitRadius * kHitRadius;
        for (std::size_t i = 0; i < m_centres.size(); ++i) {
            const QPointF d = m_centres[i] - at;
            const double distance = QPointF::dotProduct(d, d);
            if (distance <= bestDistance) {
                bestDistance = distance;
                best = int(i);
            }
        }
        return best;
    }

    std::function<void(QPainter&, const QRect&)> m_paint;
    std::function<std::vector<QPointF>(const QRect&)> m_centresOf;
    QImage m_image;
    std::vector<QPointF> m_centres;
};

TrendWindow::TrendWindow(const ResultStore& store, Prompter& prompter,
                         std::function<PlantSource()> plantSource, SettingsStore* remembered,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), m_store(store), m_prompter(prompter),
      m_plantSource(std::move(plantSource)), m_remembered(remembered) {
    setObjectName(QStringLiteral("TrendWindow"));
    setWindowTitle(QStringLiteral("质量趋势"));

    m_summary = named(new QLabel(this), "summary");
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_note = named(new QLabel(this), "note");
    m_note->setAlignment(Qt::AlignCenter);
    m_note->setWordWrap(true);
    m_image = named(new TrendImage(this), "chart");
    m_image->textOf = [this](int i) { return pointText(i); };
    m_image->chosen = [this](int i) {
        if (m_groupChart)
            return emit foilChosen(m_pieces[std::size_t(m_groups[std::size_t(i)].first)].serial);
        if (!m_pieces.empty()) return emit foilChosen(m_pieces[std::size_t(i)].serial);
        const TrendPoint& p = m_data.points[std::size_t(i)];
        emit testChosen(m_request.kind, TestKey{p.testNumber, p.afterBoiling});
    };
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(m_image);
    m_pages->addWidget(m_note);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildControls());
    layout->addWidget(m_summary);
    layout->addWidget(m_pages, 1);
    layout->addWidget(buildActions());
    resize(1100, 780);
    restoreFilters();
    sourceChosen();
}

TrendWindow::~TrendWindow() = default;

QWidget* TrendWindow::buildControls() {
    auto* box = new QGroupBox(QStringLiteral("趋势条件"), this);
    m_source = named(new QComboBox(box), "source");
    m_source->addItems({QStringLiteral("本机结果文件"), QStringLiteral("工厂数据库")});
    m_field = named(new QComboBox(box), "field");
    const QDate today = QDate::currentDate();
    const auto dateEdit = [box](const char* name, QDate date) {
        auto* edit = named(new QDateEdit(date, box), name);
        edit->setDisplayFormat(kDateFormat);
        edit->setCalendarPopup(true);
        return edit;
    };
    m_from = dateEdit("from", today.addDays(-29));
    m_to = dateEdit("to", today);
    auto* show = named(new QPushButton(QStringLiteral("统计"), box), "show");
    const auto labelled = [](QGridLayout* grid, int row, int column, const QString& label,
                             QWidget* widget) {
        grid->addWidget(new QLabel(label, widget->parentWidget()), row, column);
        grid->addWidget(widget, row, column + 1);
    };

    // The local result files: a kind, one search condition, operator, boiling and position.
    m_localFilters = new QWidget(box);
    m_condition = new ConditionForm(ConditionForm::Use::Filter, m_localFilters);
    m_operator = named(new QLineEdit(m_localFilters), "operator");
    m_operator->setPlaceholderText(QStringLiteral("不限"));
    m_boiling = named(new QComboBox(m_localFilters), "boiling");
    m_boiling->addItems(
        {QStringLiteral("不限"), QStringLiteral("水煮前"), QStringLiteral("水煮后")});
    m_position = named(new QComboBox(m_localFilters), "position");
    m_position->addItems(
        {QStringLiteral("不限"), QStringLiteral("头位置"), QStringLiteral("尾位置")});
    auto* local = new QGridLayout(m_localFilters);
    local->setContentsMargins(0, 0, 0, 0);
    local->addWidget(m_condition, 0, 0, 1, 7);
    labelled(local, 1, 0, QStringLiteral("测试人"), m_operator);
    labelled(local, 1, 2, QStringLiteral("水煮"), m_boiling);
    labelled(local, 1, 4, QStringLiteral("位置"), m_position);
    local->setColumnStretch(6, 1);

    // The plant's database: one grade, a line, boiling.
    m_plantFilters = new QWidget(box);
    m_spec = named(new QLineEdit(m_plantFilters), "spec");
    m_spec->setPlaceholderText(QStringLiteral("必填"));
    m_line = named(new QLineEdit(m_plantFilters), "line");
    m_line->setPlaceholderText(QStringLiteral("不限"));
    m_plantBoiling = named(new QComboBox(m_plantFilters), "plantBoiling");
    m_plantBoiling->addItems(
        {QStringLiteral("不限"), QStringLiteral("水煮前"), QStringLiteral("水煮后")});
    auto* plant = new QGridLayout(m_plantFilters);
    plant->setContentsMargins(0, 0, 0, 0);
    labelled(plant, 0, 0, QStringLiteral("规格"), m_spec);
    labelled(plant, 0, 2, QStringLiteral("线别"), m_line);
    labelled(plant, 0, 4, QStringLiteral("水煮"), m_plantBoiling);
    m_piece = named(new QComboBox(m_plantFilters), "piece");
    m_piece->addItems({QStringLiteral("不限"), QStringLiteral("1（1'）"), QStringLiteral("2（2'）"),
                       QStringLiteral("3（3'）")});
    labelled(plant, 0, 6, QStringLiteral("片"), m_piece);
    m_chartKind = named(new QComboBox(m_plantFilters), "chartKind");
    m_chartKind->addItems(
        {QStringLiteral("单值-移动极差"), QStringLiteral("均值-极差（每卷各片）")});
    labelled(plant, 1, 4, QStringLiteral("图型"), m_chartKind);
    connect(m_chartKind, &QComboBox::currentIndexChanged, this, [this] { showChart(); });
    // The engineer's tolerance of the value, kept per grade; left blank, the record's
    // own (Vt against the foil's VF).
    m_lowerSpec = named(new QLineEdit(m_plantFilters), "lsl");
    m_upperSpec = named(new QLineEdit(m_plantFilters), "usl");
    for (QLineEdit* edit : {m_lowerSpec, m_upperSpec})
        edit->setPlaceholderText(QStringLiteral("按记录"));
    labelled(plant, 1, 0, QStringLiteral("规格下限"), m_lowerSpec);
    labelled(plant, 1, 2, QStringLiteral("规格上限"), m_upperSpec);
    plant->setColumnStretch(8, 1);
    m_plantFilters->hide();

    auto* grid = new QGridLayout(box);
    labelled(grid, 0, 0, QStringLiteral("数据来源"), m_source);
    grid->addWidget(m_localFilters, 1, 0, 1, 9);
    grid->addWidget(m_plantFilters, 2, 0, 1, 9);
    labelled(grid, 3, 0, QStringLiteral("统计字段"), m_field);
    labelled(grid, 3, 2, QStringLiteral("日期从"), m_from);
    labelled(grid, 3, 4, QStringLiteral("至"), m_to);
    grid->addWidget(show, 3, 8);
    // Limits from a stable period: computed from the tests of these dates, every point judged
    // against them.
    m_useBaseline = named(new QCheckBox(QStringLiteral("基准（控制限取自）"), box), "baseline");
    m_baselineFrom = dateEdit("baselineFrom", today.addDays(-29));
    m_baselineTo = dateEdit("baselineTo", today.addDays(-15));
    connect(m_useBaseline, &QCheckBox::toggled, this, [this] { m_baselineTouched = true; });
    for (QDateEdit* edit : {m_baselineFrom, m_baselineTo})
        connect(edit, &QDateEdit::dateChanged, this, [this] { m_baselineTouched = true; });
    grid->addWidget(m_useBaseline, 4, 0, 1, 2);
    labelled(grid, 4, 2, QStringLiteral("从"), m_baselineFrom);
    labelled(grid, 4, 4, QStringLiteral("至"), m_baselineTo);
    grid->setColumnStretch(9, 1); // the boxes keep their size, the room goes to the right

    connect(m_source, &QComboBox::currentIndexChanged, this, &TrendWindow::sourceChosen);
    connect(m_condition, &ConditionForm::kindChosen, this, &TrendWindow::kindChosen);
    connect(m_field, &QComboBox::currentIndexChanged, this, &TrendWindow::refresh);
    connect(show, &QPushButton::clicked, this, &TrendWindow::refresh);
    return box;
}

QWidget* TrendWindow::buildActions() {
    auto* row = new QWidget(this);
    auto* image = named(new QPushButton(QStringLiteral("导出图片"), row), "exportImage");
    auto* data = named(new QPushButton(QStringLiteral("导出数据"), row), "exportData");
    auto* quit = named(new QPushButton(QStringLiteral("退出"), row), "quit");
    m_cancel = named(new QPushButton(QStringLiteral("取消读取"), row), "cancelRead");
    m_cancel->setEnabled(false);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(
        new QLabel(QStringLiteral("红点违反判异规则；鼠标停在点上看详情，点击在查询"
                                  "窗口中选中该测试（工厂数据：在工厂数据库页打开该卷）。"),
                   row),
        1);
    line->addWidget(m_cancel);
    line->addWidget(image);
    line->addWidget(data);
    line->addWidget(quit);
    connect(image, &QPushButton::clicked, this, &TrendWindow::exportImage);
    connect(data, &QPushButton::clicked, this, &TrendWindow::exportData);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_read) m_read->cancel();
    });
    return row;
}

void TrendWindow::inform(const QString& text) {
    m_prompter.inform(programTitle::full(), text);
}

void TrendWindow::chooseRememberedField() {
    if (m_rememberedField.isEmpty()) return;
    if (m_field->findText(m_rememberedField) >= 0) m_field->setCurrentText(m_rememberedField);
    m_rememberedField.clear();
}

void TrendWindow::rememberFilters() {
    if (!m_remembered) return;
    QJsonObject filters{{"source", m_source->currentIndex()},
                        {"field", m_field->currentText()},
                        {"operator", m_operator->text()},
                        {"boiling", m_boiling->currentIndex()},
                        {"position", m_position->currentIndex()},
                        {"spec", m_spec->text()},
                        {"line", m_line->text()},
                        {"plantBoiling", m_plantBoiling->currentIndex()},
                        {"piece", m_piece->currentIndex()},
                        {"kind", kindKey(m_condition->kind())}};
    if (const auto c = m_condition->condition())
        filters.insert("condition", QJsonArray{c->field, c->comparison, c->value1, c->value2});
    filters.insert("specLimits", m_specLimits);
    filters.insert("baselines", m_baselines);
    m_remembered->write(section::Canshu, QString::fromLatin1(key::TrendFilters),
                        QString::fromUtf8(QJsonDocument(filters).toJson(QJsonDocument::Compact)));
}

// Signals held: the first trend is read once, at the end of the construction.
void TrendWindow::restoreFilters() {
    if (!m_remembered) return;
    const QJsonObject filters =
        QJsonDocument::fromJson(
            m_remembered->read(section::Canshu, QString::fromLatin1(key::TrendFilters)).toUtf8())
            .object();
    if (filters.isEmpty()) return;
    const QSignalBlocker quietSource(m_source), quietForm(m_condition), quietField(m_field);
    const auto index = [&](QComboBox* combo, const char* name) {
        const int i = filters.value(QLatin1String(name)).toInt();
        if (i >= 0 && i < combo->count()) combo->setCurrentIndex(i);
    };
    index(m_source, "source");
    index(m_boiling, "boiling");
    index(m_position, "position");
    index(m_plantBoiling, "plantBoiling");
    index(m_piece, "piece");
    m_operator->setText(filters.value("operator").toString());
    m_spec->setText(filters.value("spec").toString());
    m_line->setText(filters.value("line").toString());
    const TestKind kind = kindFromKey(filters.value("kind").toString()).value_or(TestKind::Tv);
    const QJsonArray condition = filters.value("condition").toArray();
    if (condition.size() == 4)
        m_condition->setCondition({kind, condition[0].toString(), condition[1].toString(),
                                   condition[2].toString(), condition[3].toString()});
    else
        m_condition->setKind(kind);
    m_rememberedField = filters.value("field").toString();
    m_specLimits = filters.value("specLimits").toObject();
    m_baselines = filters.value("baselines").toObject();
}

// The limit boxes belong to one grade and value: what is typed into them is kept for
// the pair charted; another pair, the boxes untouched, brings its own back.
bool TrendWindow::takeSpecLimits() {
    const QString pair = m_spec->text().trimmed() + QLatin1Char('|') + m_field->currentText();
    if (pair != m_limitsShown && !m_lowerSpec->isModified() && !m_upperSpec->isModified()) {
        const QJsonArray kept = m_specLimits.value(pair).toArray();
        m_lowerSpec->setText(kept.at(0).toString());
        m_upperSpec->setText(kept.at(1).toString());
    }
    m_limitsShown = pair;
    m_lowerSpec->setModified(false);
    m_upperSpec->setModified(false);
    SpecLimits limits;
    for (QLineEdit* edit : {m_lowerSpec, m_upperSpec}) {
        const QString text = edit->text().trimmed();
        if (text.isEmpty()) continue;
        const auto value = parseNumber(text);
        if (!value) {
            inform(QStringLiteral("%1“%2”不是数字。")
                       .arg(edit == m_lowerSpec ? QStringLiteral("规格下限")
                                                : QStringLiteral("规格上限"),
                            text));
            return false;
        }
        (edit == m_lowerSpec ? limits.lower : limits.upper) = value;
    }
    if (limits.lower && limits.upper && *limits.lower >= *limits.upper) {
        inform(QStringLiteral("规格下限须小于规格上限。"));
        return false;
    }
    if (limits.any())
        m_specLimits.insert(
            pair, QJsonArray{m_lowerSpec->text().trimmed(), m_upperSpec->text().trimmed()});
    else
        m_specLimits.remove(pair);
    m_engineerLimits = limits;
    return true;
}

// The points of the baseline dates, in order; none when no baseline is used. The baseline
// chosen is kept for the source, kind or grade and value charted.
std::optional<IndexRange> TrendWindow::baselineOf(const std::vector<TrendPoint>& points) {
    const QString pair = baselineKey();
    if (!m_useBaseline->isChecked()) {
        m_baselines.remove(pair);
        return std::nullopt;
    }
    const QString from = m_baselineFrom->date().toString(kDateFormat);
    const QString to = m_baselineTo->date().toString(kDateFormat);
    m_baselines.insert(pair, QJsonArray{from, to});
    rememberFilters();
    IndexRange range{int(points.size()), 0};
    for (int i = 0; i < int(points.size()); ++i) {
        const QString& date = points[std::size_t(i)].date;
        if (date < from || date > to) continue;
        if (range.count == 0) range.first = i;
        ++range.count;
    }
    return range;
}

QString TrendWindow::baselineKey() const {
    return QStringLiteral("%1|%2|%3")
        .arg(m_source->currentIndex())
        .arg(fromPlant() ? m_spec->text().trimmed() : kindKey(m_condition->kind()),
             m_field->currentText());
}

// A baseline kept for what is about to be charted is taken up again.
void TrendWindow::showKeptBaseline() {
    const QJsonArray kept = m_baselines.value(baselineKey()).toArray();
    const QSignalBlocker quiet(m_useBaseline), quietFrom(m_baselineFrom), quietTo(m_baselineTo);
    m_useBaseline->setChecked(kept.size() == 2);
    if (kept.size() != 2) return;
    m_baselineFrom->setDate(QDate::fromString(kept[0].toString(), kDateFormat));
    m_baselineTo->setDate(QDate::fromString(kept[1].toString(), kDateFormat));
}

bool TrendWindow::fromPlant() const {
    return m_source->currentIndex() == 1;
}

void TrendWindow::sourceChosen() {
    m_localFilters->setVisible(!fromPlant());
    m_plantFilters->setVisible(fromPlant());
    if (!fromPlant()) return kindChosen();
    {
        const QSignalBlocker quiet(m_field);
        m_field->clear();
        for (const PieceFieldName& f : pieceFields())
            m_field->addItem(QString::fromUtf8(f.name));
        chooseRememberedField();
    }
    refresh();
}

void TrendWindow::kindChosen() {
    if (fromPlant()) return;
    const TestKind kind = m_condition->kind();
    {
        // One query for the new kind, not one per change of the list.
        const QSignalBlocker quiet(m_field);
        m_field->clear();
        m_field->addItems(trendFields(kind));
        m_field->setCurrentText(defaultField(kind));
        chooseRememberedField();
    }
    // Electrolyte tests are neither boiled nor taken from a position.
    const bool marked = fieldIndex(kind, QStringLiteral("水煮前")) >= 0;
    m_boiling->setEnabled(marked);
    m_position->setEnabled(marked);
    refresh();
}

std::optional<QList<QueryCondition>> TrendWindow::filters(TestKind kind) {
    QList<QueryCondition> out;
    const QString person = m_operator->text().trimmed();
    if (!person.isEmpty()) out << QueryCondition{kind, QStringLiteral("测试人"), "=", person, {}};
    if (const auto condition = m_condition->condition()) out << *condition;
    const auto mark = [&](QComboBox* combo) {
        if (combo->isEnabled() && combo->currentIndex() > 0)
            out << QueryCondition{kind, combo->currentText(), "=", QStringLiteral("True"), {}};
    };
    mark(m_boiling);
    mark(m_position);
    for (const QueryCondition& c : out) {
        if (sqlCondition(c)) continue;
        inform(QStringLiteral("筛选条件“%1 %2 %3%4”无效：请填入%1能取的值。")
                   .arg(c.field, c.comparison, c.value1,
                        c.comparison == QStringLiteral("介于") ? QStringLiteral(" 和 ") + c.value2
                                                               : QString()));
        return std::nullopt;
    }
    return out;
}

void TrendWindow::refresh() {
    // Another source, kind, grade or value, the baseline untouched: its own comes back.
    if (baselineKey() != m_baselineShown && !m_baselineTouched) showKeptBaseline();
    m_baselineShown = baselineKey();
    m_baselineTouched = false;
    if (fromPlant() && !takeSpecLimits()) return;
    rememberFilters();
    if (fromPlant()) return readPlant();
    if (m_read) m_read->cancel();
    m_pieces.clear();
    TrendRequest request;
    request.kind = m_condition->kind();
    request.field = m_field->currentText();
    request.from = m_from->date().toString(kDateFormat);
    request.to = m_to->date().toString(kDateFormat);
    if (request.from > request.to)
        return inform(QStringLiteral("起始日期 %1 晚于结束日期 %2，请重新选择。")
                          .arg(request.from, request.to));
    auto chosen = filters(request.kind);
    if (!chosen) return;
    request.filters = *chosen;
    TrendData data = TrendQuery(m_store).run(request);
    m_subject =
        ConditionForm::kindItems().value(int(request.kind)) + QLatin1Char(' ') + request.field;
    present(std::move(request), std::move(data));
}

void TrendWindow::showNote(const QString& text) {
    m_image->clear(); // the painter refers to the chart about to go
    m_groupChart.reset();
    m_groups.clear();
    m_chart.reset();
    m_pointRules.clear();
    m_data = {};
    m_pieces.clear();
    m_note->setText(text);
    m_summary->clear();
    m_pages->setCurrentWidget(m_note);
}

// One read at a time: a new one cancels the last, which then ends unheard.
void TrendWindow::readPlant() {
    if (m_read) {
        m_read->cancel();
        m_read->deleteLater();
    }
    PieceTrendRequest request;
    request.field = pieceFields()[std::size_t(std::max(0, m_field->currentIndex()))].field;
    request.spec = m_spec->text().trimmed();
    request.line = m_line->text().trimmed();
    request.from = m_from->date();
    request.to = m_to->date();
    request.boiling = BoilingSide(m_plantBoiling->currentIndex());
    request.piece = m_piece->currentIndex();
    if (request.from > request.to)
        return inform(
            QStringLiteral("起始日期 %1 晚于结束日期 %2，请重新选择。")
                .arg(request.from.toString(kDateFormat), request.to.toString(kDateFormat)));
    if (request.spec.isEmpty())
        return showNote(QStringLiteral("请填写规格，再统计工厂数据库中该规格的趋势。"));
    if (!m_plantSource) return showNote(QStringLiteral("本窗口没有连接工厂数据库。"));
    showNote(QStringLiteral("正在读取工厂数据库……"));
    auto* read = new PlantTrendRead(m_plantSource(), request, this);
    connect(read, &PlantTrendRead::progressed, this, [this](int rows) {
        m_note->setText(QStringLiteral("正在读取工厂数据库……已读 %1 片").arg(rows));
    });
    connect(read, &PlantTrendRead::finished, this, &TrendWindow::plantRead);
    m_read = read;
    m_cancel->setEnabled(true);
    read->start();
}

void TrendWindow::plantRead() {
    auto* read = qobject_cast<PlantTrendRead*>(sender());
    if (!read || read != m_read) return;
    m_read = nullptr;
    read->deleteLater();
    m_cancel->setEnabled(false);
    const PieceTrendRequest& request = read->request();
    const PlantReply<PieceTrend>& reply = read->reply();
    if (!reply.ok())
        return showNote(reply.status.fault == PlantFault::Cancelled
                            ? QStringLiteral("已取消读取工厂数据库。")
                            : QStringLiteral("无法读取工厂数据库：") + reply.status.message);
    const QString field = pieceFieldName(request.field);
    // The record's own limit where it has one: Vt is not to fall below the foil's VF.
    TrendField limit{field, {}, LimitSide::None};
    if (request.field == PieceField::Vt) limit = {field, QStringLiteral("VF"), LimitSide::Lower};
    if (request.field == PieceField::TvRatio)
        limit = {field, QStringLiteral("1"), LimitSide::Lower};
    TrendData data;
    for (const PiecePoint& p : reply.value.points) {
        std::optional<double> own;
        if (request.field == PieceField::Vt) own = p.formationVoltage;
        if (request.field == PieceField::TvRatio) own = 1.0;
        data.points.push_back(
            {p.serial, p.afterBoiling(), p.date.toString(kDateFormat), p.value, own, {}});
    }
    if (m_engineerLimits.any())
        data.limits = m_engineerLimits;
    else
        shareLimit(limit, data);
    TrendRequest shown;
    shown.field = field;
    shown.from = request.from.toString(kDateFormat);
    shown.to = request.to.toString(kDateFormat);
    m_subject = QStringLiteral("工厂数据库 %1 %2").arg(request.spec, field);
    if (data.points.empty())
        return showNote(
            QStringLiteral("工厂数据库中 %1 至 %2 没有规格 %3%4 的%5数据%6。\n"
                           "请放宽日期范围或筛选条件。")
                .arg(shown.from, shown.to, request.spec,
                     request.line.isEmpty() ? QString() : QStringLiteral("、线别 ") + request.line,
                     field,
                     reply.value.withoutValue > 0
                         ? QStringLiteral("（%1 片没有该值）").arg(reply.value.withoutValue)
                         : QString()));
    m_pieces = reply.value.points;
    present(std::move(shown), std::move(data));
}

void TrendWindow::present(TrendRequest request, TrendData data) {
    m_request = std::move(request);
    m_data = std::move(data);
    m_image->clear(); // the painter refers to the chart about to go
    m_groupChart.reset();
    m_groups.clear();
    m_chart.reset();
    m_pointRules.clear();
    if (m_data.points.empty()) {
        const QString path = m_store.locateDbFile(m_request.kind);
        const QString kind = ConditionForm::kindItems().value(int(m_request.kind));
        if (!m_data.readable)
            m_note->setText(m_data.message);
        else if (!QFileInfo::exists(path))
            m_note->setText(
                QStringLiteral("还没有%1的结果文件（%2），没有可统计的测试。").arg(kind, path));
        else
            m_note->setText(QStringLiteral("%1 至 %2 没有符合条件的%3记录，画不出趋势图。\n"
                                           "请放宽日期范围或筛选条件。")
                                .arg(m_request.from, m_request.to, kind));
        m_summary->clear();
        m_pages->setCurrentWidget(m_note);
        return;
    }
    m_chart = std::make_unique<ControlChart>(m_data.values(), baselineOf(m_data.points));
    m_pointRules.resize(m_data.points.size());
    for (const RuleBreak& b : m_chart->breaks())
        for (const int i : b.points)
            if (!m_pointRules[std::size_t(i)].contains(ruleName(b.rule)))
                m_pointRules[std::size_t(i)] << ruleName(b.rule);
    showChart();
}

// The individuals chart, or for the plant's pieces the chart of each foil's averages and
// ranges, drawn and summed up.
void TrendWindow::showChart() {
    m_image->clear();
    m_groupChart.reset();
    m_groups.clear();
    if (!m_chart) return;
    if (!m_pieces.empty() && m_chartKind->currentIndex() == 1) {
        m_groups = foilSubgroups(m_pieces);
        std::vector<std::vector<double>> values;
        std::vector<TrendPoint> firsts;
        for (const FoilSubgroup& g : m_groups) {
            values.emplace_back();
            for (int i = g.first; i < g.first + g.count; ++i)
                values.back().push_back(m_data.points[std::size_t(i)].value);
            firsts.push_back(m_data.points[std::size_t(g.first)]);
        }
        m_groupChart = std::make_unique<SubgroupChart>(std::move(values), baselineOf(firsts));
        std::vector<QString> dates;
        for (const TrendPoint& p : firsts)
            dates.push_back(p.date);
        m_image->setPainter(std::make_unique<SubgroupChartPainter>(*m_groupChart, std::move(dates),
                                                                   m_data.limits, title()));
    } else {
        m_image->setPainter(
            std::make_unique<TrendChartPainter>(*m_chart, m_data.points, m_data.limits, title()));
    }
    m_summary->setText(summary());
    m_pages->setCurrentWidget(m_image);
}

QString TrendWindow::title() const {
    if (m_groupChart)
        return QStringLiteral("%1 均值-极差控制图 %2 至 %3（%4组，每组一卷的各片）")
            .arg(m_subject, m_request.from, m_request.to)
            .arg(m_groupChart->count());
    return QStringLiteral("%1 单值-移动极差控制图 %2 至 %3（%4%5）")
        .arg(m_subject, m_request.from, m_request.to)
        .arg(m_chart ? m_chart->count() : 0)
        .arg(m_pieces.empty() ? QStringLiteral("个测试") : QStringLiteral("片"));
}

QString TrendWindow::filtersText() const {
    QStringList parts;
    if (!m_pieces.empty()) {
        parts << QStringLiteral("规格 ") + m_spec->text().trimmed();
        if (!m_line->text().trimmed().isEmpty())
            parts << QStringLiteral("线别 ") + m_line->text().trimmed();
        if (m_plantBoiling->currentIndex() > 0) parts << m_plantBoiling->currentText();
        if (m_piece->currentIndex() > 0)
            parts << QStringLiteral("第%1片").arg(m_piece->currentText());
    } else {
        for (const QueryCondition& c : m_request.filters)
            parts << QStringLiteral("%1 %2 %3%4")
                         .arg(c.field, c.comparison, c.value1,
                              c.value2.isEmpty() || c.comparison != QStringLiteral("介于")
                                  ? QString()
                                  : QStringLiteral(" 和 ") + c.value2);
    }
    return QStringLiteral("筛选：") +
           (parts.isEmpty() ? QStringLiteral("无") : parts.join(QStringLiteral("；")));
}

QString TrendWindow::groupSummary() const {
    const SubgroupChart& g = *m_groupChart;
    const Capability cap = g.capability(m_data.limits);
    QStringList lines{
        QStringLiteral("组数：%1（每组%2片）　X̄̄：%3　UCL：%4　LCL：%5　R̄：%6　Cpk：%7　Ppk：%8")
            .arg(g.count())
            .arg(g.nominalSize())
            .arg(number(g.grandMean()), number(g.upperLimit()), number(g.lowerLimit()),
                 number(g.averageRange()), number(cap.cpk, 2), number(cap.ppk, 2))};
    if (!g.incompleteNote().isEmpty()) lines << g.incompleteNote();
    QStringList broken;
    for (const RuleBreak& b : g.breaks())
        broken << QStringLiteral("%1（%2组）").arg(ruleName(b.rule)).arg(b.points.size());
    if (!g.rangeBreaks().empty())
        broken << QStringLiteral("极差超出控制限（%1组）").arg(g.rangeBreaks().size());
    if (!g.message().isEmpty())
        lines << g.message();
    else
        lines << (broken.isEmpty() ? QStringLiteral("判异：未发现异常。")
                                   : QStringLiteral("判异：") + broken.join(QStringLiteral("；")));
    if (!cap.message.isEmpty()) lines << cap.message;
    return lines.join(QLatin1Char('\n'));
}

QString TrendWindow::summary() const {
    if (m_groupChart) return groupSummary();
    Capability cap = m_chart->capability(m_data.limits);
    if (!m_data.limitsNote.isEmpty()) cap.message = m_data.limitsNote;
    QStringList lines{
        QStringLiteral("测试数：%1　均值：%2　UCL：%3　LCL：%4　MR̄：%5　Cpk：%6　Ppk：%7")
            .arg(cap.count)
            .arg(number(m_chart->mean()), number(m_chart->upperLimit()),
                 number(m_chart->lowerLimit()), number(m_chart->averageMovingRange()),
                 number(cap.cpk, 2), number(cap.ppk, 2))};
    if (const auto baseline = m_chart->baseline())
        lines << QStringLiteral("控制限取自基准 %1 至 %2 的 %3 个点，其后各点按此判异。")
                     .arg(m_baselineFrom->date().toString(kDateFormat),
                          m_baselineTo->date().toString(kDateFormat))
                     .arg(baseline->count);
    QStringList broken;
    for (const RuleBreak& b : m_chart->breaks())
        broken << QStringLiteral("%1（%2点）").arg(ruleName(b.rule)).arg(b.points.size());
    if (!m_chart->message().isEmpty())
        lines << m_chart->message();
    else
        lines << (broken.isEmpty() ? QStringLiteral("判异：未发现异常。")
                                   : QStringLiteral("判异：") + broken.join(QStringLiteral("；")));
    if (!cap.message.isEmpty()) lines << cap.message;
    return lines.join(QLatin1Char('\n'));
}

std::optional<QPointF> TrendWindow::pointCentre(int index) const {
    const auto& centres = m_image->centres();
    if (index < 0 || std::size_t(index) >= centres.size()) return std::nullopt;
    return centres[std::size_t(index)];
}

QString TrendWindow::pointText(int index) const {
    if (m_groupChart) {
        const FoilSubgroup& g = m_groups.at(std::size_t(index));
        const PiecePoint& first = m_pieces.at(std::size_t(g.first));
        QStringList values;
        for (int i = g.first; i < g.first + g.count; ++i)
            values << QString::number(m_pieces[std::size_t(i)].value, 'g', 8);
        QStringList rules;
        for (const RuleBreak& b : m_groupChart->breaks())
            if (std::find(b.points.begin(), b.points.end(), index) != b.points.end())
                rules << ruleName(b.rule);
        const auto& ranges = m_groupChart->rangeBreaks();
        if (std::find(ranges.begin(), ranges.end(), index) != ranges.end())
            rules << QStringLiteral("极差超出控制限");
        return QStringLiteral("卷号：%1（%2）\n上传日期：%3\n%4：%5\n均值 %6　极差 %7%8\n%9\n"
                              "点击在工厂数据库页打开该卷")
            .arg(first.serial,
                 first.afterBoiling() ? QStringLiteral("水煮后") : QStringLiteral("水煮前"),
                 m_data.points[std::size_t(g.first)].date, m_request.field,
                 values.join(QStringLiteral("、")),
                 QString::number(m_groupChart->averages()[std::size_t(index)], 'g', 6),
                 QString::number(m_groupChart->ranges()[std::size_t(index)], 'g', 6),
                 m_groupChart->isComplete(index) ? QString() : QStringLiteral("（不完整，未计入）"),
                 rules.isEmpty() ? QStringLiteral("未违反判异规则")
                                 : QStringLiteral("违反：") + rules.join(QStringLiteral("；")));
    }
    const TrendPoint& p = m_data.points.at(std::size_t(index));
    const QStringList& rules = m_pointRules.at(std::size_t(index));
    const QString broken = rules.isEmpty()
                               ? QStringLiteral("未违反判异规则")
                               : QStringLiteral("违反：") + rules.join(QStringLiteral("；"));
    if (!m_pieces.empty()) {
        const PiecePoint& piece = m_pieces.at(std::size_t(index));
        return QStringLiteral("卷号：%1　第%2片\n上传日期：%3　线别：%4\n%5：%6\n%"
                              "7\n点击在工厂数据库页打开该卷")
            .arg(piece.serial, plantTexts::pieceLabel(piece.piece), p.date, piece.line,
                 m_request.field, QString::number(p.value, 'g', 8), broken);
    }
    return QStringLiteral("测试编号：%1\n测试日期：%2\n%3：%4%5\n%6")
        .arg(shownKey({p.testNumber, p.afterBoiling}), p.date, m_request.field,
             QString::number(p.value, 'g', 8),
             p.measured ? QStringLiteral("（人工修正，原测量值 %1，见修改历史）").arg(*p.measured)
                        : QString(),
             broken);
}

void TrendWindow::exportImage() {
    if (!m_chart) return inform(QStringLiteral("没有可导出的趋势图。"));
    const QString path = m_prompter.saveFileName(
        QStringLiteral("导出图片"),
        QStringLiteral("%1趋势-%2.png")
            .arg(m_subject, QDate::currentDate().toString(QStringLiteral("yyyy-M-d")))
            .replace(QLatin1Char(' '), QLatin1Char('-')),
        QStringLiteral("PNG图片(*.png)"));
    if (path.isEmpty()) return; // cancelled
    const QStringList notes = summary().split(QLatin1Char('\n')) << filtersText();
    QImage image;
    if (m_groupChart) {
        std::vector<QString> dates;
        for (const FoilSubgroup& g : m_groups)
            dates.push_back(m_data.points[std::size_t(g.first)].date);
        SubgroupChartPainter painter(*m_groupChart, std::move(dates), m_data.limits, title());
        painter.setNotes(notes);
        image = painter.image(kExportSize);
    } else {
        TrendChartPainter painter(*m_chart, m_data.points, m_data.limits, title());
        painter.setNotes(notes);
        image = painter.image(kExportSize);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
        inform(QStringLiteral("无法写入图片 %1：%2").arg(path, file.errorString()));
}

void TrendWindow::exportData() {
    if (!m_chart) return inform(QStringLiteral("没有可导出的数据。"));
    const QString path = m_prompter.saveFileName(
        QStringLiteral("导出数据"),
        QStringLiteral("%1趋势-%2.csv")
            .arg(m_subject, QDate::currentDate().toString(QStringLiteral("yyyy-M-d")))
            .replace(QLatin1Char(' '), QLatin1Char('-')),
        QStringLiteral("CSV文件(*.csv);;所有文件(*.*)"));
    if (path.isEmpty()) return; // cancelled
    // Each point with its moving range and the chart's lines, so the file can be checked
    // without the window.
    const auto text = [](const std::optional<double>& v) {
        return v ? QString::number(*v, 'g', 15) : QString();
    };
    const QStringList lines{text(m_chart->mean()), text(m_chart->upperLimit()),
                            text(m_chart->lowerLimit()), text(m_chart->movingRangeLimit())};
    QStringList header = m_pieces.empty()
                             ? QStringList{QStringLiteral("测试编号"), QStringLiteral("测试日期")}
                             : QStringList{QStringLiteral("卷号"), QStringLiteral("片"),
                                           QStringLiteral("上传日期"), QStringLiteral("线别")};
    QList<bool> numeric(header.size(), false);
    header << m_request.field << QStringLiteral("移动极差") << QStringLiteral("CL")
           << QStringLiteral("UCL") << QStringLiteral("LCL") << QStringLiteral("MR上限")
           << QStringLiteral("违反规则");
    numeric << true << true << true << true << true << true << false;
    QList<QStringList> rows;
    for (std::size_t i = 0; i < m_data.points.size(); ++i) {
        const TrendPoint& p = m_data.points[i];
        QStringList row;
        if (m_pieces.empty()) {
            row << p.testNumber << p.date;
        } else {
            const PiecePoint& piece = m_pieces[i];
            row << piece.serial << plantTexts::pieceLabel(piece.piece) << p.date << piece.line;
        }
        row << QString::number(p.value, 'g', 15)
            << (i > 0 ? QString::number(m_chart->movingRanges()[i - 1], 'g', 15) : QString())
            << lines << m_pointRules[i].join(QStringLiteral("；"));
        rows << row;
    }
    const QByteArray bytes = csvBytes(header, rows, numeric);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        inform(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
}

} // namespace q7rk
