#include "ChartsPage.h"

#include "ChartView.h"
#include "PanelBinding.h"
#include "PanelWidgets.h"
#include "charts/ChartSet.h"
#include "charts/CursorReadout.h"
#include "charts/CurvePlotter.h"
#include "params/PanelCaptions.h"
#include "shell/ShellModel.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>

namespace q7rk {

namespace {

constexpr int kStripHeight = 42;
constexpr int kMargin = 6;
constexpr int kReadoutGap = 8;     // Label67 beside its chart
constexpr int kReadoutWidth = 230; // room for "鼠标点：2048S 1350.0V, -18.0mA "

QRect toPixels(const QRect& twips) {
    const double f = ChartCanvas::TwipsPerPixel;
    return QRect(qRound(twips.x() / f), qRound(twips.y() / f), qRound(twips.width() / f),
                 qRound(twips.height() / f));
}

// The chart places count from the top of the tab control, headers included; our pages start
// below the headers, so the charts move up by what the headers took.
QRect onPage(const QRect& twips, const QRect& topmostTwips) {
    return toPixels(twips).translated(0, kMargin - toPixels(topmostTwips).top());
}

QPoint pixelsOf(QPointF twips) {
    return QPoint(ChartCanvas::pixelOf(twips.x()), ChartCanvas::pixelOf(twips.y()));
}

// A label placed and sized in twips on a chart, like the picture boxes' child labels.
QLabel* makeChartLabel(const QString& name, const QRect& twips, const QColor& background,
                       int fontPixels, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(toPixels(twips));
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, background);
    label->setPalette(palette);
    QFont font = label->font();
    font.setPixelSize(fontPixels);
    label->setFont(font);
    // The chart under the label still follows the mouse.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

// Label70(k): the mouse readout inside TV(k), blue on the chart's colour.
void addChannelReadout(ChartSet& charts, int k, ChartView* view) {
    QLabel* readout =
        makeChartLabel(QStringLiteral("Label70_%1").arg(k), QRect(1000, 3760, 3000, 200),
                       charts.channelChart(k).background(), 11, view);
    QPalette palette = readout->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    readout->setPalette(palette);
    QObject::connect(view, &ChartView::mouseMoved, readout, [&charts, k, readout](QPointF at) {
        readout->setText(channelReadout(charts, k, at));
    });
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

QWidget* makeChannelChartsPage(ChartSet& charts, PanelBinding& binding, ShellModel& shell,
                               QWidget* parent) {
    auto* scroll = new QScrollArea(parent);
    scroll->setObjectName(QStringLiteral("ChannelChartsPage"));
    auto* content = new QWidget(scroll);
    QRect extent;
    for (int k = 0; k < ChannelCount; ++k) {
        const QRect place =
            onPage(ChartSet::channelChartPlacement(k), ChartSet::channelChartPlacement(0));
        auto* view = new ChartView(charts.channelChart(k), content);
        view->setObjectName(QStringLiteral("TV_%1").arg(k));
        view->move(place.topLeft());
        QObject::connect(&charts, &ChartSet::channelChartChanged, view, [view, k](int changed) {
            if (changed == k) view->refresh();
        });
        addChannelReadout(charts, k, view);
        QWidget* strip = makeReadoutStrip(binding, shell, k, content);
        strip->setGeometry(place.left(), place.bottom() + 3, place.width(), kStripHeight);
        extent |= place;
        extent |= strip->geometry();
    }
    content->setFixedSize(extent.right() + kMargin, extent.bottom() + kMargin);
    scroll->setWidget(content);
    return scroll;
}

GroupChartsPage::GroupChartsPage(ChartSet& charts, std::initializer_list<int> groupCharts,
                                 QWidget* parent)
    : QScrollArea(parent), m_content(new QWidget(this)) {
    for (int n : groupCharts)
        addChart(charts, n);
    m_content->setFixedSize(m_extent.right() + kMargin, m_extent.bottom() + kMargin);
    setWidget(m_content);
}

void GroupChartsPage::addChart(ChartSet& charts, int n) {
    const QRect place = onPage(ChartSet::groupChartPlacement(n), ChartSet::groupChartPlacement(0));
    auto* view = new ChartView(charts.groupChart(n), m_content);
    view->setObjectName(QStringLiteral("TV16_%1").arg(n));
    view->move(place.topLeft());
    QObject::connect(&charts, &ChartSet::groupChartChanged, view, [view, n](int changed) {
        if (changed == n) view->refresh();
    });
    m_extent |= place;

    static const char* const captions[] = {"坐标123：", "坐标456：", "坐标1-6："};
    auto* readout = new QLabel(QString::fromUtf8(captions[n]), m_content);
    readout->setObjectName(QStringLiteral("Label67_%1").arg(n));
    readout->setGeometry(place.right() + kReadoutGap, place.top(), kReadoutWidth, 20);
    m_extent |= readout->geometry();
    QObject::connect(view, &ChartView::mouseMoved, readout, [&charts, n, readout](QPointF at) {
        readout->setText(groupReadout(charts, n, at));
    });

    const bool all = n == ChartSet::GroupChartCount - 1;
    for (int k = 0; k < ChannelCount; ++k) {
        if (!all && groupOf(k) != n) continue;
        QLabel* tip = all ? makeChartLabel(QStringLiteral("Label68_%1").arg(k),
                                           QRect(0, 0, 135, 210), QColor(192, 224, 255), 10, view)
                          : makeChartLabel(QStringLiteral("Label69_%1").arg(k),
                                           QRect(0, 0, 135, 156), QColor(255, 0, 0), 9, view);
        tip->setText(QString::number(k + 1));
        tip->setAlignment(Qt::AlignCenter);
        tip->hide();
        (all ? m_allTips : m_groupTips)[k] = tip;
    }
}

void GroupChartsPage::setPlotter(CurvePlotter* plotter) {
    disconnect(m_tipConnection);
    m_plotter = plotter;
    if (plotter) {
        m_tipConnection =
            connect(plotter, &CurvePlotter::tipLabelsMoved, this, &GroupChartsPage::moveTipLabels);
    }
}

void GroupChartsPage::moveTipLabels(int k) {
    if (!m_plotter || k < 0 || k >= ChannelCount) return;
    if (QLabel* tip = m_groupTips[k]) {
        tip->move(pixelsOf(m_plotter->groupTipLabel(k)));
        tip->show();
    }
    if (QLabel* tip = m_allTips[k]) {
        tip->move(pixelsOf(m_plotter->allTipLabel(k)));
        tip->show();
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
