#pragma once

#include "results/RunConditions.h"

#include <QWidget>

namespace q7rk {

// "测量条件": what one stored test was measured under, read only, one line per column of the
// file's table (calibration factors, link, version, polls, lost replies, rejected frames,
// start and end). Closes with "退出".
class ConditionsDialog : public QWidget {
    Q_OBJECT
public:
    ConditionsDialog(const QString& testNumber, const RunConditions& conditions, QWidget* parent);
};

} // namespace q7rk
