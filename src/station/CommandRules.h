#pragma once

#include "shell/Commands.h"
#include "station/TestLifecycle.h"

#include <QString>

namespace q7rk {

// What may happen now: go ahead, refuse with a notice, or go ahead only on Yes.
struct CommandCheck {
    enum Verdict { Go, Refuse, Ask } verdict = Go;
    QString text;                              // the notice or the question
    Question question = Question::QuitUnsaved; // which question, for Ask
};

// The rule book of the command table applied: what a live run and unsaved finished tests in
// the channels first..last (those the command would reset or replace) mean for a command.
CommandCheck checkCommand(Command command, const TestLifecycle& tests, bool running, int first = 0,
                          int last = ChannelCount - 1);

} // namespace q7rk
