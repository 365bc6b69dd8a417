#include "PanelWidgets.h"

#include "PanelBinding.h"
#include "params/PanelCaptions.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>

namespace q7rk {

namespace {

// Nine rows per frame and two rows of frames must fit a 1280×800 screen.
constexpr int kBoxHeight = 22;

// Texts such as test numbers, names and dates need more room than the numbers.
bool isWideBox(Box box) {
    switch (box) {
    case Box::TvTestNumber:
    case Box::TvOperator:
    case Box::TvTestDate:
    case Box::ElectrolyteTestNumber:
    case Box::ElectrolyteOperator:
    case Box::ElectrolyteTestDate:
    case Box::InstrumentAddress:
        return true;
    default:
        return false;
    }
}

} // namespace

QString boxObjectName(int channel, Box box) {
    return boxName(box) + QLatin1Char('_') + QString::number(channel);
}

QLineEdit* makeBoxEdit(PanelBinding& binding, int channel, Box box, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(boxObjectName(channel, box));
    edit->setToolTip(boxTooltip(channel, box));
    edit->setFixedSize(isWideBox(box) ? 84 : 58, kBoxHeight);
    binding.addLineEdit(channel, box, edit);
    return edit;
}

QComboBox* makeBoxCombo(PanelBinding& binding, int channel, Box box, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(boxObjectName(channel, box));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setFixedSize(58, kBoxHeight);
    binding.addCombo(channel, box, combo);
    return combo;
}

void addBoxRow(QGridLayout* grid, int row, int block, PanelBinding& binding, int channel, Box box) {
    QWidget* parent = grid->parentWidget();
    const int column = block * 3;
    QWidget* field = nullptr;
    if (box == Box::SamplePosition || box == Box::ElectrolyteSamplePosition) {
        field = makeBoxCombo(binding, channel, box, parent);
    } else {
        field = makeBoxEdit(binding, channel, box, parent);
        auto* caption = new QLabel(boxCaption(channel, box), parent);
        caption->setBuddy(field);
        grid->addWidget(caption, row, column, Qt::AlignRight);
    }
    grid->addWidget(field, row, column + 1);
    const QString unit = unitLabel(box);
    if (!unit.isEmpty()) grid->addWidget(new QLabel(unit, parent), row, column + 2);
}

QGridLayout* makeFrameGrid(QGroupBox* frame) {
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setVerticalSpacing(2);
    grid->setHorizontalSpacing(3);
    // The unit column of the first block also parts the two blocks.
    grid->setColumnMinimumWidth(2, 24);
    return grid;
}

QGroupBox* makeOptionFrame(PanelBinding& binding, std::initializer_list<Option> options, int group,
                           QWidget* parent) {
    auto* frame = new QGroupBox(optionFrameTitle(*options.begin(), group), parent);
    auto* layout = new QHBoxLayout(frame);
    layout->setContentsMargins(6, 2, 6, 2);
    for (Option option : options) {
        auto* button = new QRadioButton(optionCaption(option), frame);
        button->setObjectName(QStringLiteral("Option%1_%2").arg(int(option)).arg(group));
        // The model keeps each frame's choice exclusive; Qt's own grouping would fight it.
        button->setAutoExclusive(false);
        binding.addOption(option, group, button);
        layout->addWidget(button);
    }
    return frame;
}

QGridLayout* makePageGrid(const QString& name, int lastRow, QWidget* parent, QScrollArea** page) {
    auto* scroll = new QScrollArea(parent);
    scroll->setObjectName(name);
    scroll->setWidgetResizable(true);
    auto* content = new QWidget(scroll);
    auto* grid = new QGridLayout(content);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setSpacing(6);
    grid->setRowStretch(lastRow + 1, 1);
    grid->setColumnStretch(3, 1);
    scroll->setWidget(content);
    *page = scroll;
    return grid;
}

} // namespace q7rk
