#include "TvPanelPage.h"

#include "PanelBinding.h"
#include "PanelWidgets.h"
#include "params/PanelCaptions.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QVBoxLayout>

namespace q7rk {

namespace {

// TV settings and results on the left, leakage and the test's identity on the right.
constexpr Box kTvColumn[] = {Box::FormationVoltage, Box::VrRatio,       Box::TestCurrent,
                             Box::DelayTime,        Box::RiseTimeLimit, Box::RiseTime,
                             Box::TvValue,          Box::TvVerdict,     Box::WaterTemperature};
constexpr Box kLeakageColumn[] = {Box::LeakageVoltage, Box::LeakageLimit,   Box::LeakageTestTime,
                                  Box::LeakageCurrent, Box::LeakageVerdict, Box::TvTestNumber,
                                  Box::TvOperator,     Box::TvTestDate,     Box::SamplePosition};

QGroupBox* makeChannelFrame(PanelBinding& binding, int channel, QWidget* parent) {
    auto* frame = new QGroupBox(tvFrameTitle(channel), parent);
    frame->setObjectName(QStringLiteral("TvFrame_%1").arg(channel));
    QGridLayout* grid = makeFrameGrid(frame);
    int row = 0;
    for (Box box : kTvColumn)
        addBoxRow(grid, row++, 0, binding, channel, box);
    row = 0;
    for (Box box : kLeakageColumn)
        addBoxRow(grid, row++, 1, binding, channel, box);
    grid->setColumnStretch(6, 1);
    return frame;
}

// Only channel 1's copy of the address boxes is used by the link.
QGroupBox* makeEthernetFrame(PanelBinding& binding, QWidget* parent) {
    auto* frame = new QGroupBox(QStringLiteral("以太网连接"), parent);
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->addWidget(new QLabel(QStringLiteral("仪器地址："), frame));
    layout->addWidget(makeBoxEdit(binding, 0, Box::InstrumentAddress, frame));
    layout->addWidget(new QLabel(QStringLiteral("端口："), frame));
    layout->addWidget(makeBoxEdit(binding, 0, Box::InstrumentPort, frame));
    return frame;
}

QWidget* makeGroupOptions(PanelBinding& binding, int group, QWidget* parent) {
    auto* strip = new QWidget(parent);
    auto* layout = new QHBoxLayout(strip);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(
        makeOptionFrame(binding, {Option::BeforeBoiling, Option::AfterBoiling}, group, strip));
    layout->addWidget(makeOptionFrame(
        binding, {Option::TvTest, Option::LeakageTest, Option::ElectrolyteTest}, group, strip));
    layout->addWidget(makeOptionFrame(binding, {Option::Linked, Option::NotLinked}, group, strip));
    if (group == 0) layout->addWidget(makeEthernetFrame(binding, strip));
    layout->addStretch();
    return strip;
}

} // namespace

QWidget* makeTvPanelPage(PanelBinding& binding, QWidget* parent) {
    QScrollArea* page = nullptr;
    QGridLayout* grid = makePageGrid(QStringLiteral("TvPanelPage"), 3, parent, &page);
    QWidget* content = grid->parentWidget();
    for (int group = 0; group < GroupCount; ++group) {
        const int row = group * 2;
        for (int i = 0; i < ChannelsPerGroup; ++i) {
            const int channel = firstOfGroup(group) + i;
            grid->addWidget(makeChannelFrame(binding, channel, content), row, i);
        }
        grid->addWidget(makeGroupOptions(binding, group, content), row + 1, 0, 1, 3);
    }
    return page;
}

} // namespace q7rk
