#pragma once

class QWidget;

namespace q7rk {

class PanelBinding;

// Tab "电解液参数设置": the electrolyte frames of the six channels, each with its spark
// values in the sub-frame "火花电压-时间：".
QWidget* makeElectrolytePage(PanelBinding& binding, QWidget* parent);

} // namespace q7rk
