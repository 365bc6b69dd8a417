#pragma once

#include "results/ResultStore.h"

namespace q7rk {

// `q7rk-results demo-trend`: `days` days of simulated TV tests up to today, a few a day from
// varying operators and positions, whose rise time creeps up and TV value down, saved as the
// program saves a test. Numbers already in the file are left as they are, so a second run
// adds only the days that are new. Returns the exit code.
int runDemoTrend(ResultStore& store, int days);

} // namespace q7rk
