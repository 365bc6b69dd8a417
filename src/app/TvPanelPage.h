#pragma once

class QWidget;

namespace q7rk {

class PanelBinding;

// Tab "铝箔TV-漏电流参数设置": the TV / leakage frames of the six channels, the group
// option frames beside each group of three and the instrument's Ethernet address.
QWidget* makeTvPanelPage(PanelBinding& binding, QWidget* parent);

} // namespace q7rk
