#include "charts/AxisFormat.h"

#include <algorithm>
#include <cmath>

namespace q7rk {

QString formatRounded(double value, int decimals) {
    decimals = std::clamp(decimals, 0, 9);
    if (!std::isfinite(value)) value = 0;
    const double scale = std::pow(10.0, decimals);
    // Fifteen significant digits first, so that 0.15 * 3 (0.44999...) rounds like the
    // decimal 0.45 it stands for.
    const double scaled = QString::number(value * scale, 'g', 15).toDouble();
    double rounded = std::round(scaled); // halves away from zero
    if (rounded == 0) rounded = 0;       // no "-0"
    if (!std::isfinite(rounded / scale)) rounded = 0;
    return QString::number(rounded / scale, 'f', decimals);
}

} // namespace q7rk
