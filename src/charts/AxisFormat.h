#pragma once

#include <QString>

namespace q7rk {

// The axis labels' number formats "#0" (decimals 0) and "#0.0" (decimals 1): a fixed number
// of decimals, at least one integer digit, no grouping, halves rounded away from zero.
// A non-finite value prints as zero so that a broken factor still gives a readable frame.
QString formatRounded(double value, int decimals);

} // namespace q7rk
