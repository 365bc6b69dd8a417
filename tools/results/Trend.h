#pragma once

#include "results/ResultStore.h"

class QCommandLineParser;

namespace q7rk {

// `q7rk-results trend`: the control chart of one field as JSON (and a picture with --png).
// Returns the exit code; says what was wrong in Chinese on stderr.
int runTrend(const QCommandLineParser& options, TestKind kind, const ResultStore& store);

} // namespace q7rk
