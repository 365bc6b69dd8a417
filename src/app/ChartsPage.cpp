#include "ChartsPage.h"

#include "ChartView.h"
#include "PanelBinding.h"
#include "PanelWidgets.h"
#include "charts/ChartSet.h"
#include "params/PanelCaptions.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>

namespace q7rk {

namespace {

constexpr int kStripHeight = 42;
constexpr int kMargin = 6;

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

QLineEdit* makeReadout(PanelBinding& binding, int channel, Box box, QWidget* parent) {
    QLineEdit* edit = makeBoxEdit(binding, channel, box, parent);
    edit->setReadOnly(true);
    edit->setFixedSize(60, 19);
    edit->setFocusPolicy(Qt::NoFocus);
    return edit;
}

// "V1 [Text25]  I1 [Text26]  TA [Text27]" over "TB [Text38]  Vm [Text39]  VT [Text40]".
QWidget* makeReadoutStrip(PanelBinding& binding, int channel, QWidget* parent) {
    auto* strip = new QWidget(parent);
    strip->setObjectName(QStringLiteral("Readout_%1").arg(channel));
    auto* grid = new QGridLayout(strip);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(2);
    const Box fixedBoxes[] = {Box::Text25, Box::Text26};
    for (int i = 0; i < 2; ++i) {
        grid->addWidget(new QLabel(boxCaption(channel, fixedBoxes[i]), strip), 0, i * 2,
                        Qt::AlignRight);
        grid->addWidget(makeReadout(binding, channel, fixedBoxes[i], strip), 0, i * 2 + 1);
    }
    const std::pair<ReadoutLabel, Box> labelled[] = {{ReadoutLabel::Label49, Box::Text27},
                                                     {ReadoutLabel::Label50, Box::Text38},
                                                     {ReadoutLabel::Label51, Box::Text39},
                                                     {ReadoutLabel::Label52, Box::Text40}};
    for (int i = 0; i < 4; ++i) {
        const int slot = i + 2; // after V and I
        const auto [label, box] = labelled[i];
        auto* caption = new QLabel(strip);
        caption->setObjectName(QStringLiteral("Label%1_%2").arg(int(label)).arg(channel));
        binding.addLabel(channel, label, caption);
        grid->addWidget(caption, slot / 3, (slot % 3) * 2, Qt::AlignRight);
        grid->addWidget(makeReadout(binding, channel, box, strip), slot / 3, (slot % 3) * 2 + 1);
    }
    grid->setColumnStretch(6, 1);
    return strip;
}

} // namespace

QWidget* makeChannelChartsPage(ChartSet& charts, PanelBinding& binding, QWidget* parent) {
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
        QWidget* strip = makeReadoutStrip(binding, k, content);
        strip->setGeometry(place.left(), place.bottom() + 3, place.width(), kStripHeight);
        extent |= place;
        extent |= strip->geometry();
    }
    content->setFixedSize(extent.right() + kMargin, extent.bottom() + kMargin);
    scroll->setWidget(content);
    return scroll;
}

QWidget* makeGroupChartsPage(ChartSet& charts, std::initializer_list<int> groupCharts,
                             QWidget* parent) {
    auto* scroll = new QScrollArea(parent);
    auto* content = new QWidget(scroll);
    QRect extent;
    for (int n : groupCharts) {
        const QRect place =
            onPage(ChartSet::groupChartPlacement(n), ChartSet::groupChartPlacement(0));
        auto* view = new ChartView(charts.groupChart(n), content);
        view->setObjectName(QStringLiteral("TV16_%1").arg(n));
        view->move(place.topLeft());
        QObject::connect(&charts, &ChartSet::groupChartChanged, view, [view, n](int changed) {
            if (changed == n) view->refresh();
        });
        extent |= place;
    }
    content->setFixedSize(extent.right() + kMargin, extent.bottom() + kMargin);
    scroll->setWidget(content);
    return scroll;
}

} // namespace q7rk
