#include "ChartsPage.h"

#include "ChartView.h"
#include "PanelBinding.h"
#include "PanelWidgets.h"
#include "charts/ChartSet.h"
#include "charts/CursorReadout.h"
#include "charts/CurvePlotter.h"
#include "params/PanelCaptions.h"
#include "shell/ShellModel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>

namespace q7rk {

namespace {

constexpr int kStripHeight = 42;
constexpr int kStripGap = 3;
constexpr int kMargin = 6;
constexpr int kReadoutGap = 8;     // Label67 beside its chart
constexpr int kReadoutWidth = 230; // room for "鼠标点：2048S 1350.0V, -18.0mA "
constexpr int kReadoutHeight = 20;

QRect scaled(const QRect& twips, ChartCanvas::Scale scale) {
    return QRect(qRound(twips.x() / scale.x), qRound(twips.y() / scale.y),
                 qRound(twips.width() / scale.x), qRound(twips.height() / scale.y));
}

// Label sizes grow with the chart, along the axis that gained least, like its own labels.
int scaledFont(int pixels, ChartCanvas::Scale scale) {
    return std::max(pixels, qRound(pixels * ChartCanvas::TwipsPerPixel / std::max(scale.x, scale.y)));
}

void place(const ChartLabel& l, ChartCanvas::Scale scale) {
    l.label->setGeometry(scaled(l.twips, scale));
    QFont font = l.label->font();
    font.setPixelSize(scaledFont(l.fontPixels, scale));
    l.label->setFont(font);
}

// A label placed and sized in twips on a chart, like the picture boxes' child labels.
ChartLabel makeChartLabel(const QString& name, const QRect& twips, const QColor& background,
                          int fontPixels, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, background);
    label->setPalette(palette);
    // The chart under the label still follows the mouse.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    const ChartLabel placed{label, twips, fontPixels};
    place(placed, {});
    return placed;
}

// Label70(k): the mouse readout inside TV(k), blue on the chart's colour.
ChartLabel addChannelReadout(ChartSet& charts, int k, ChartView* view) {
    const ChartLabel readout =
        makeChartLabel(QStringLiteral("Label70_%1").arg(k), QRect(1000, 3760, 3000, 200),
                       charts.channelChart(k).background(), 11, view);
    QPalette palette = readout.label->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    readout.label->setPalette(palette);
    QObject::connect(view, &ChartView::mouseMoved, readout.label,
                     [&charts, k, label = readout.label](QPointF at) {
                         label->setText(channelReadout(charts, k, at));
                     });
    return readout;
}

// At the top of TV(k), between "电压" and "电流-mA": the stored test the chart shows.
ChartLabel addRecalledCaption(ChartSet& charts, ShellModel& shell, int k, ChartView* view) {
    const ChartLabel caption =
        makeChartLabel(QStringLiteral("Recalled_%1").arg(k), QRect(900, 0, 3000, 210),
                       charts.channelChart(k).background(), 12, view);
    caption.label->setAlignment(Qt::AlignCenter);
    const auto show = [label = caption.label](const QString& text) {
        label->setText(text);
        label->setVisible(!text.isEmpty());
    };
    show(shell.recalledTest(k));
    QObject::connect(&shell, &ShellModel::recalledTestChanged, caption.label,
                     [show, k](int channel, const QString& text) {
                         if (channel == k) show(text);
                     });
    return caption;
}

QLineEdit* makeReadout(PanelBinding& binding, int channel, Box box, QWidget* parent) {
    QLineEdit* edit = makeBoxEdit(binding, channel, box, parent);
    edit->setReadOnly(true);
    // Room for "1350.0"; three columns of them with the captions 火花1..火花3 still leave
    // the badge its place.
    edit->setFixedSize(52, 19);
    edit->setFocusPolicy(Qt::NoFocus);
    return edit;
}

// What is left of the channel's test, in the place of its verdict while it runs (the verdict
// is 待定 until then): "剩余" over "1分05秒", "等待" over "A点".
QLabel* makeRemainingTime(ShellModel& shell, int channel, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QStringLiteral("Remaining_%1").arg(channel));
    label->setAlignment(Qt::AlignCenter);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, QColor(0, 70, 140));
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    const auto show = [label](const QString& text) {
        label->setText(text.left(2) + QLatin1Char('\n') + text.mid(2));
        label->setVisible(!text.isEmpty());
    };
    show(shell.remainingTime(channel));
    QObject::connect(&shell, &ShellModel::remainingTimeChanged, label,
                     [show, channel](int changed, const QString& text) {
                         if (changed == channel) show(text);
                     });
    return label;
}

// "V1 [Text25]  I1 [Text26]  TA [Text27]" over "TB [Text38]  Vm [Text39]  VT [Text40]", and
// on the right the channel's verdict, or what is left of its test while it runs, where the
// operator watches the curves.
QWidget* makeReadoutStrip(PanelBinding& binding, ShellModel& shell, int channel, QWidget* parent) {
    auto* strip = new QWidget(parent);
    strip->setObjectName(QStringLiteral("Readout_%1").arg(channel));
    auto* grid = new QGridLayout(strip);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(2);
    const Box fixedBoxes[] = {Box::LiveVoltage, Box::LiveCurrent};
    for (int i = 0; i < 2; ++i) {
        grid->addWidget(new QLabel(boxCaption(channel, fixedBoxes[i]), strip), 0, i * 2,
                        Qt::AlignRight);
        grid->addWidget(makeReadout(binding, channel, fixedBoxes[i], strip), 0, i * 2 + 1);
    }
    const std::pair<ReadoutLabel, Box> labelled[] = {{ReadoutLabel::Label49, Box::Readout49},
                                                     {ReadoutLabel::Label50, Box::Readout50},
                                                     {ReadoutLabel::Label51, Box::Readout51},
                                                     {ReadoutLabel::Label52, Box::Readout52}};
    for (int i = 0; i < 4; ++i) {
        const int slot = i + 2; // after V and I
        const auto [label, box] = labelled[i];
        auto* caption = new QLabel(strip);
        caption->setObjectName(QStringLiteral("Label%1_%2").arg(int(label)).arg(channel));
        binding.addLabel(channel, label, caption);
        grid->addWidget(caption, slot / 3, (slot % 3) * 2, Qt::AlignRight);
        grid->addWidget(makeReadout(binding, channel, box, strip), slot / 3, (slot % 3) * 2 + 1);
    }
    auto* badge = new QLabel(strip);
    badge->setObjectName(QStringLiteral("Verdict_%1").arg(channel));
    badge->setFixedSize(56, 40);
    binding.addVerdictBadge(channel, badge);
    grid->setColumnStretch(6, 1);
    grid->addWidget(badge, 0, 7, 2, 1);
    QLabel* remaining = makeRemainingTime(shell, channel, strip);
    remaining->setFixedSize(badge->size());
    grid->addWidget(remaining, 0, 7, 2, 1); // over the badge
    return strip;
}

} // namespace

ChannelChartsPage::ChannelChartsPage(ChartSet& charts, CurvePlotter& plotter,
                                     PanelBinding& binding, ShellModel& shell, QWidget* parent)
    : QScrollArea(parent), m_charts(charts), m_plotter(plotter), m_content(new QWidget(this)) {
    setObjectName(QStringLiteral("ChannelChartsPage"));
    for (int k = 0; k < ChannelCount; ++k) {
        auto* view = new ChartView(charts.channelChart(k), m_content);
        view->setObjectName(QStringLiteral("TV_%1").arg(k));
        QObject::connect(&charts, &ChartSet::channelChartChanged, view, [view, k](int changed) {
            if (changed == k) view->refresh();
        });
        m_views[k] = view;
        m_labels.push_back(addChannelReadout(charts, k, view));
        m_labels.push_back(addRecalledCaption(charts, shell, k, view));
        m_strips[k] = makeReadoutStrip(binding, shell, k, m_content);
    }
    layOutCharts();
    setWidget(m_content);
    setWidgetResizable(true);
}

ChartCanvas::Scale ChannelChartsPage::chartScale() const {
    return m_charts.channelChart(0).scale();
}

// Laid out first: the scroll bars then see the content at its new size.
void ChannelChartsPage::resizeEvent(QResizeEvent* event) {
    layOutCharts();
    QScrollArea::resizeEvent(event);
}

// Two rows of three charts, each with its strip underneath: the charts take what the strips
// and margins leave.
void ChannelChartsPage::layOutCharts() {
    const QRect first = ChartSet::channelChartPlacement(0);
    const QRect last = ChartSet::channelChartPlacement(ChannelCount - 1);
    const QSizeF content(last.right() + 1, 2 * first.height());
    const QSize fixed(kMargin, 2 * kMargin + 2 * (kStripGap + kStripHeight));
    const ChartCanvas::Scale scale = fittingScale(content, maximumViewportSize() - fixed);
    QRect extent;
    for (int k = 0; k < ChannelCount; ++k) {
        m_plotter.setChannelChartScale(k, scale);
        m_views[k]->refresh();
        const QRect twips = ChartSet::channelChartPlacement(k);
        const int row = k / ChannelsPerGroup;
        const QPoint topLeft(qRound(twips.left() / scale.x),
                             kMargin + row * (m_views[k]->height() + kStripGap + kStripHeight));
        m_views[k]->move(topLeft);
        const QRect chart(topLeft, m_views[k]->size());
        m_strips[k]->setGeometry(chart.left(), chart.bottom() + 1 + kStripGap, chart.width(),
                                 kStripHeight);
        extent |= chart;
        extent |= m_strips[k]->geometry();
    }
    for (const ChartLabel& label : m_labels)
        place(label, scale);
    // The content takes the whole viewport when the charts fit, and makes the page scroll
    // when they do not even at their smallest.
    m_content->setMinimumSize(extent.right() + 1 + kMargin, extent.bottom() + 1 + kMargin);
}

GroupChartsPage::GroupChartsPage(ChartSet& charts, std::initializer_list<int> groupCharts,
                                 QWidget* parent)
    : QScrollArea(parent), m_charts(charts), m_content(new QWidget(this)),
      m_alignStarts(new QCheckBox(QStringLiteral("对齐起点"), m_content)) {
    m_alignStarts->setObjectName(QStringLiteral("AlignStarts"));
    m_alignStarts->setToolTip(
        QStringLiteral("各通道曲线从同一起点画出，便于比较升压时间；不选时各通道按原偏移显示"));
    m_alignStarts->setChecked(charts.alignedStarts());
    connect(&charts, &ChartSet::alignedStartsChanged, m_alignStarts, &QCheckBox::setChecked);
    connect(m_alignStarts, &QCheckBox::toggled, this, [this](bool on) {
        if (m_plotter) m_plotter->setAlignedStarts(on);
    });
    for (int n : groupCharts)
        addChart(n);
    layOutCharts();
    setWidget(m_content);
    setWidgetResizable(true);
}

ChartCanvas::Scale GroupChartsPage::chartScale() const {
    return m_chartNumbers.empty() ? ChartCanvas::Scale{}
                                  : m_charts.groupChart(m_chartNumbers.front()).scale();
}

void GroupChartsPage::addChart(int n) {
    auto* view = new ChartView(m_charts.groupChart(n), m_content);
    view->setObjectName(QStringLiteral("TV16_%1").arg(n));
    QObject::connect(&m_charts, &ChartSet::groupChartChanged, view, [view, n](int changed) {
        if (changed == n) view->refresh();
    });

    static const char* const captions[] = {"坐标123：", "坐标456：", "坐标1-6："};
    auto* readout = new QLabel(QString::fromUtf8(captions[n]), m_content);
    readout->setObjectName(QStringLiteral("Label67_%1").arg(n));
    QObject::connect(view, &ChartView::mouseMoved, readout, [this, n, readout](QPointF at) {
        readout->setText(groupReadout(m_charts, n, at));
    });

    const bool all = n == ChartSet::GroupChartCount - 1;
    for (int k = 0; k < ChannelCount; ++k) {
        if (!all && groupOf(k) != n) continue;
        const ChartLabel tip =
            all ? makeChartLabel(QStringLiteral("Label68_%1").arg(k), QRect(0, 0, 135, 210),
                                 QColor(192, 224, 255), 10, view)
                : makeChartLabel(QStringLiteral("Label69_%1").arg(k), QRect(0, 0, 135, 156),
                                 QColor(255, 0, 0), 9, view);
        tip.label->setText(QString::number(k + 1));
        tip.label->setAlignment(Qt::AlignCenter);
        tip.label->hide();
        (all ? m_allTips : m_groupTips)[k] = tip;
    }
    m_chartNumbers.push_back(n);
    m_views.push_back(view);
    m_readouts.push_back(readout);
}

// Laid out first: the scroll bars then see the content at its new size.
void GroupChartsPage::resizeEvent(QResizeEvent* event) {
    layOutCharts();
    QScrollArea::resizeEvent(event);
}

// The charts one under the other as the chart set places them, their readouts (and under
// the first, the check box) in a column of their own on the right.
void GroupChartsPage::layOutCharts() {
    if (m_chartNumbers.empty()) return;
    QRect twipsExtent;
    for (int n : m_chartNumbers)
        twipsExtent |= ChartSet::groupChartPlacement(n);
    const QSizeF content(twipsExtent.right() + 1, twipsExtent.height());
    const QSize fixed(kReadoutGap + kReadoutWidth + kMargin, 2 * kMargin);
    const ChartCanvas::Scale scale = fittingScale(content, maximumViewportSize() - fixed);
    QRect extent;
    for (std::size_t i = 0; i < m_chartNumbers.size(); ++i) {
        const int n = m_chartNumbers[i];
        if (m_plotter) m_plotter->setGroupChartScale(n, scale);
        m_views[i]->refresh();
        const QRect twips = ChartSet::groupChartPlacement(n);
        const QPoint topLeft(qRound(twips.left() / scale.x),
                             kMargin + qRound((twips.top() - twipsExtent.top()) / scale.y));
        m_views[i]->move(topLeft);
        const QRect chart(topLeft, m_views[i]->size());
        m_readouts[i]->setGeometry(chart.right() + 1 + kReadoutGap, chart.top(), kReadoutWidth,
                                   kReadoutHeight);
        extent |= chart;
        extent |= m_readouts[i]->geometry();
    }
    const QRect firstReadout = m_readouts.front()->geometry();
    m_alignStarts->setGeometry(firstReadout.left(), firstReadout.bottom() + 1 + kReadoutGap,
                               kReadoutWidth, m_alignStarts->sizeHint().height());
    extent |= m_alignStarts->geometry();
    for (const auto* tips : {&m_groupTips, &m_allTips})
        for (const std::optional<ChartLabel>& tip : *tips)
            if (tip) place(*tip, scale);
    for (int k = 0; k < ChannelCount; ++k)
        if ((m_groupTips[k] && m_groupTips[k]->label->isVisible()) ||
            (m_allTips[k] && m_allTips[k]->label->isVisible()))
            moveTipLabels(k);
    // The content takes the whole viewport when the charts fit, and makes the page scroll
    // when they do not even at their smallest.
    m_content->setMinimumSize(extent.right() + 1 + kMargin, extent.bottom() + 1 + kMargin);
}

void GroupChartsPage::setPlotter(CurvePlotter* plotter) {
    disconnect(m_tipConnection);
    m_plotter = plotter;
    if (plotter) {
        m_tipConnection =
            connect(plotter, &CurvePlotter::tipLabelsMoved, this, &GroupChartsPage::moveTipLabels);
    }
    layOutCharts(); // drawn at the page's scale from now on
}

void GroupChartsPage::moveTipLabels(int k) {
    if (!m_plotter || k < 0 || k >= ChannelCount) return;
    if (const auto& tip = m_groupTips[k]) {
        tip->label->move(m_charts.groupChart(groupOf(k)).pixelOf(m_plotter->groupTipLabel(k)));
        tip->label->show();
    }
    if (const auto& tip = m_allTips[k]) {
        tip->label->move(
            m_charts.groupChart(ChartSet::GroupChartCount - 1).pixelOf(m_plotter->allTipLabel(k)));
        tip->label->show();
    }
}

void showChartsForTab(QWidget* window, int tab) {
    const std::optional<ChartVisibility> visible = chartVisibilityForTab(tab);
    if (!visible) return;
    const auto show = [window](const QString& name, bool on) {
        if (auto* view = window->findChild<ChartView*>(name)) view->setVisible(on);
    };
    for (int k = 0; k < ChannelCount; ++k)
        show(QStringLiteral("TV_%1").arg(k), visible->channelCharts);
    show(QStringLiteral("TV16_0"), visible->groupCharts);
    show(QStringLiteral("TV16_1"), visible->groupCharts);
    show(QStringLiteral("TV16_2"), visible->allChart);
}

} // namespace q7rk
