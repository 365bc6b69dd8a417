#include "CommandGate.h"

#include "execution/RunController.h"
#include "results/ResultTexts.h"
#include "shell/Prompter.h"

namespace q7rk {

bool CommandGate::permits(Command command, int first, int last) {
    const CommandCheck check = checkCommand(command, m_tests, m_run.isRunning(), first, last);
    switch (check.verdict) {
    case CommandCheck::Go:
        return true;
    case CommandCheck::Refuse:
        m_prompter.notify(resulttext::infoTitle(), check.text);
        return false;
    case CommandCheck::Ask:
        break;
    }
    return m_prompter.ask(check.question, resulttext::infoTitle(), check.text);
}

} // namespace q7rk
