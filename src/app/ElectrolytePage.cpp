#include "ElectrolytePage.h"

#include "PanelBinding.h"
#include "PanelWidgets.h"
#include "params/PanelCaptions.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QScrollArea>
#include <iterator>

namespace q7rk {

namespace {

constexpr Box kSettingsColumn[] = {Box::ElectrolyteCurrent, Box::ElectrolyteSetVoltage,
                                   Box::ReferenceVoltage,   Box::SparkDelay,
                                   Box::SparkCorrection,    Box::MaximumVoltage,
                                   Box::MinimumVoltage,     Box::ElectrolyteVerdict};
constexpr Box kIdentityColumn[] = {Box::ElectrolyteTestNumber, Box::ElectrolyteOperator,
                                   Box::ElectrolyteTestDate, Box::ElectrolyteSamplePosition};
// The voltage of the second before each spark's fall, under the identity column where it
// leaves room: the page still fits a 1280×800 screen without scrolling.
constexpr Box kBeforeSparks[] = {Box::VoltageBeforeSpark1, Box::VoltageBeforeSpark2,
                                 Box::VoltageBeforeSpark3};
// One row per spark, its voltage on the left and its time on the right: two columns keep
// three channel frames side by side within a 1280-pixel screen.
constexpr Box kSparks[3][2] = {{Box::SparkVoltage1, Box::SparkTime1},
                               {Box::SparkVoltage2, Box::SparkTime2},
                               {Box::SparkVoltage3, Box::SparkTime3}};

QGroupBox* makeSparkFrame(PanelBinding& binding, int channel, QWidget* parent) {
    auto* frame = new QGroupBox(sparkFrameTitle(), parent);
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(3);
    for (int row = 0; row < 3; ++row) {
        for (int block = 0; block < 2; ++block)
            addBoxRow(grid, row, block, binding, channel, kSparks[row][block]);
    }
    grid->setColumnMinimumWidth(2, 14); // the unit parts voltage from time
    grid->setColumnStretch(6, 1);
    return frame;
}

QGroupBox* makeChannelFrame(PanelBinding& binding, int channel, QWidget* parent) {
    auto* frame = new QGroupBox(electrolyteFrameTitle(channel), parent);
    frame->setObjectName(QStringLiteral("ElectrolyteFrame_%1").arg(channel));
    QGridLayout* grid = makeFrameGrid(frame);
    int row = 0;
    for (Box box : kSettingsColumn)
        addBoxRow(grid, row++, 0, binding, channel, box);
    row = 0;
    for (Box box : kIdentityColumn)
        addBoxRow(grid, row++, 1, binding, channel, box);
    for (Box box : kBeforeSparks)
        addBoxRow(grid, row++, 1, binding, channel, box);
    const int belowBoth = int(std::size(kSettingsColumn));
    grid->addWidget(makeSparkFrame(binding, channel, frame), belowBoth, 0, 1, 6);
    grid->setRowStretch(belowBoth + 1, 1);
    return frame;
}

} // namespace

QWidget* makeElectrolytePage(PanelBinding& binding, QWidget* parent) {
    QScrollArea* page = nullptr;
    QGridLayout* grid = makePageGrid(QStringLiteral("ElectrolytePage"), 1, parent, &page);
    for (int channel = 0; channel < ChannelCount; ++channel)
        grid->addWidget(makeChannelFrame(binding, channel, grid->parentWidget()), channel / 3,
                        channel % 3);
    return page;
}

} // namespace q7rk
