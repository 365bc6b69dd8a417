#pragma once

class QCommandLineParser;

namespace q7rk {

// `q7rk-plantdb trend`: the control chart of one value of the plant's pieces of one
// grade as JSON (and a picture with --png). Returns the exit code: 0 done, 1 the
// database could not be read or the picture written, 2 a wrong option; says what was wrong
// in Chinese on stderr.
int runPlantTrend(const QCommandLineParser& options);

} // namespace q7rk
