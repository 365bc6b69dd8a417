#pragma once

#include "station/CommandRules.h"

namespace q7rk {

class Prompter;
class RunController;

// The rule book applied for the operator: a refusal is told without blocking, a question is
// asked, and the caller learns whether the command may run now.
class CommandGate {
public:
    CommandGate(const TestLifecycle& tests, const RunController& run, Prompter& prompter)
        : m_tests(tests), m_run(run), m_prompter(prompter) {}
    bool permits(Command command, int first = 0, int last = ChannelCount - 1);

private:
    const TestLifecycle& m_tests;
    const RunController& m_run;
    Prompter& m_prompter;
};

} // namespace q7rk
