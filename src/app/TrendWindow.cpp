#include "TrendWindow.h"

#include "app/ConditionForm.h"
#include "quality/TrendChartPainter.h"
#include "results/CsvExport.h"
#include "results/ResultSchema.h"
#include "results/ResultStore.h"
#include "results/SqlCondition.h"
#include "settings/ProgramTitle.h"
#include "shell/Prompter.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
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

    void setPainter(std::unique_ptr<TrendChartPainter> painter) {
        m_painter = std::move(painter);
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
        if (m_painter) {
            QPainter p(&m_image);
            m_painter->paint(p, m_image.rect());
            m_centres = m_painter->pointCentres(m_image.rect());
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

    std::unique_ptr<TrendChartPainter> m_painter;
    QImage m_image;
    std::vector<QPointF> m_centres;
};

TrendWindow::TrendWindow(const ResultStore& store, Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window), m_store(store), m_prompter(prompter) {
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
    kindChosen();
}

TrendWindow::~TrendWindow() = default;

QWidget* TrendWindow::buildControls() {
    auto* box = new QGroupBox(QStringLiteral("趋势条件"), this);
    m_condition = new ConditionForm(ConditionForm::Use::Filter, box);
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
    m_operator = named(new QLineEdit(box), "operator");
    m_operator->setPlaceholderText(QStringLiteral("不限"));
    m_boiling = named(new QComboBox(box), "boiling");
    m_boiling->addItems(
        {QStringLiteral("不限"), QStringLiteral("水煮前"), QStringLiteral("水煮后")});
    m_position = named(new QComboBox(box), "position");
    m_position->addItems(
        {QStringLiteral("不限"), QStringLiteral("头位置"), QStringLiteral("尾位置")});
    auto* show = named(new QPushButton(QStringLiteral("统计"), box), "show");

    auto* grid = new QGridLayout(box);
    const auto add = [&](int row, int column, const QString& label, QWidget* widget) {
        grid->addWidget(new QLabel(label, box), row, column);
        grid->addWidget(widget, row, column + 1);
    };
    grid->addWidget(m_condition, 0, 0, 1, 9);
    add(1, 0, QStringLiteral("统计字段"), m_field);
    add(1, 2, QStringLiteral("测试日期从"), m_from);
    add(1, 4, QStringLiteral("至"), m_to);
    grid->addWidget(show, 1, 8);
    add(2, 0, QStringLiteral("测试人"), m_operator);
    add(2, 2, QStringLiteral("水煮"), m_boiling);
    add(2, 4, QStringLiteral("位置"), m_position);
    grid->setColumnStretch(9, 1); // the boxes keep their size, the room goes to the right

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
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(new QLabel(QStringLiteral("红点违反判异规则；鼠标停在点上看详情，"
                                              "点击在查询窗口中选中该测试。"),
                               row),
                    1);
    line->addWidget(image);
    line->addWidget(data);
    line->addWidget(quit);
    connect(image, &QPushButton::clicked, this, &TrendWindow::exportImage);
    connect(data, &QPushButton::clicked, this, &TrendWindow::exportData);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
    return row;
}

void TrendWindow::inform(const QString& text) {
    m_prompter.inform(programTitle::full(), text);
}

void TrendWindow::kindChosen() {
    const TestKind kind = m_condition->kind();
    {
        // One query for the new kind, not one per change of the list.
        const QSignalBlocker quiet(m_field);
        m_field->clear();
        m_field->addItems(trendFields(kind));
        m_field->setCurrentText(defaultField(kind));
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
    present(std::move(request), std::move(data));
}

void TrendWindow::present(TrendRequest request, TrendData data) {
    m_request = std::move(request);
    m_data = std::move(data);
    m_image->setPainter(nullptr); // it refers to the chart about to go
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
    m_chart = std::make_unique<ControlChart>(m_data.values());
    m_pointRules.resize(m_data.points.size());
    for (const RuleBreak& b : m_chart->breaks())
        for (const int i : b.points)
            if (!m_pointRules[std::size_t(i)].contains(ruleName(b.rule)))
                m_pointRules[std::size_t(i)] << ruleName(b.rule);
    m_image->setPainter(
        std::make_unique<TrendChartPainter>(*m_chart, m_data.points, m_data.limits, title()));
    m_summary->setText(summary());
    m_pages->setCurrentWidget(m_image);
}

QString TrendWindow::title() const {
    return QStringLiteral("%1 %2 单值-移动极差控制图 %3 至 %4（%5个测试）")
        .arg(ConditionForm::kindItems().value(int(m_request.kind)), m_request.field, m_request.from,
             m_request.to)
        .arg(m_chart ? m_chart->count() : 0);
}

QString TrendWindow::summary() const {
    Capability cap = m_chart->capability(m_data.limits);
    if (!m_data.limitsNote.isEmpty()) cap.message = m_data.limitsNote;
    QStringList lines{
        QStringLiteral("测试数：%1　均值：%2　UCL：%3　LCL：%4　MR̄：%5　Cpk：%6　Ppk：%7")
            .arg(cap.count)
            .arg(number(m_chart->mean()), number(m_chart->upperLimit()),
                 number(m_chart->lowerLimit()), number(m_chart->averageMovingRange()),
                 number(cap.cpk, 2), number(cap.ppk, 2))};
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
    const TrendPoint& p = m_data.points.at(std::size_t(index));
    const QStringList& rules = m_pointRules.at(std::size_t(index));
    return QStringLiteral("测试编号：%1\n测试日期：%2\n%3：%4\n%5")
        .arg(shownKey({p.testNumber, p.afterBoiling}), p.date, m_request.field,
             QString::number(p.value, 'g', 8),
             rules.isEmpty() ? QStringLiteral("未违反判异规则")
                             : QStringLiteral("违反：") + rules.join(QStringLiteral("；")));
}

void TrendWindow::exportImage() {
    if (!m_chart) return inform(QStringLiteral("没有可导出的趋势图。"));
    const QString path = m_prompter.saveFileName(
        QStringLiteral("导出图片"),
        QStringLiteral("%1-%2趋势-%3.png")
            .arg(ConditionForm::kindItems().value(int(m_request.kind)), m_request.field,
                 QDate::currentDate().toString(QStringLiteral("yyyy-M-d"))),
        QStringLiteral("PNG图片(*.png)"));
    if (path.isEmpty()) return; // cancelled
    const QImage image =
        TrendChartPainter(*m_chart, m_data.points, m_data.limits, title()).image(kExportSize);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
        inform(QStringLiteral("无法写入图片 %1：%2").arg(path, file.errorString()));
}

void TrendWindow::exportData() {
    if (!m_chart) return inform(QStringLiteral("没有可导出的数据。"));
    const QString path = m_prompter.saveFileName(
        QStringLiteral("导出数据"),
        QStringLiteral("%1-%2趋势-%3.csv")
            .arg(ConditionForm::kindItems().value(int(m_request.kind)), m_request.field,
                 QDate::currentDate().toString(QStringLiteral("yyyy-M-d"))),
        QStringLiteral("CSV文件(*.csv);;所有文件(*.*)"));
    if (path.isEmpty()) return; // cancelled
    QList<QStringList> rows;
    for (std::size_t i = 0; i < m_data.points.size(); ++i) {
        const TrendPoint& p = m_data.points[i];
        rows << QStringList{p.testNumber, p.date, QString::number(p.value, 'g', 15),
                            m_pointRules[i].join(QStringLiteral("；"))};
    }
    const QByteArray bytes = csvBytes({QStringLiteral("测试编号"), QStringLiteral("测试日期"),
                                       m_request.field, QStringLiteral("违反规则")},
                                      rows, {false, false, true, false});
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        inform(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
}

} // namespace q7rk
