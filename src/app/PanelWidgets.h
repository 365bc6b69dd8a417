#pragma once

#include "params/PanelModel.h"

#include <initializer_list>

class QComboBox;
class QGridLayout;
class QGroupBox;
class QScrollArea;
class QLineEdit;
class QWidget;

namespace q7rk {

class PanelBinding;

// Builders shared by the panel pages. Every box widget is named after its control and
// channel ("Text1_3", "Combo2_0"), every option after its control and group ("Option6_1"),
// so tests and accessibility tools find them.
QString boxObjectName(int channel, Box box);

QLineEdit* makeBoxEdit(PanelBinding& binding, int channel, Box box, QWidget* parent);
QComboBox* makeBoxCombo(PanelBinding& binding, int channel, Box box, QWidget* parent);

// One "caption [box] unit" row at `row` of `grid`, in the column block `block` (each block
// takes three grid columns). Combos get a line edit's place with no caption.
void addBoxRow(QGridLayout* grid, int row, int block, PanelBinding& binding, int channel, Box box);

// The grid of a channel frame: two blocks of "caption [box] unit" rows, packed tight.
QGridLayout* makeFrameGrid(QGroupBox* frame);

// A parameter page: a scroll area named `name` whose content is laid out by the returned
// grid (channel frames in three columns, stretch below and to the right of `lastRow`).
QGridLayout* makePageGrid(const QString& name, int lastRow, QWidget* parent, QScrollArea** page);

// A frame of group options (for example "测试参数1-3" with Option5..Option7), laid out in
// one row.
QGroupBox* makeOptionFrame(PanelBinding& binding, std::initializer_list<Option> options, int group,
                           QWidget* parent);

} // namespace q7rk
