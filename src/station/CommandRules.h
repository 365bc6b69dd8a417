#pragma once

#include "shell/Question.h"
#include "station/TestLifecycle.h"

#include <QString>

namespace q7rk {

// The commands whose effect depends on where the channels' tests stand.
enum class Command {
    Save,          // 保存: the finished tests of the last run into the result files
    NewTest,       // 新建
    StartRun,      // a group button that starts (its reset gives up the tests shown)
    OpenFoil,      // 打开 on the plant page (resets the channels, writes their numbers)
    DeleteFoil,    // 删除 on the plant page (resets the channels)
    DisplayStored, // 显示记录 into one channel
    Print,
    SaveBitmaps, // 另存为
    RetryPlant,  // 补传工厂数据
    Quit,
};

// What may happen now: go ahead, refuse with a notice, or go ahead only on Yes.
struct CommandCheck {
    enum Verdict { Go, Refuse, Ask } verdict = Go;
    QString text;                              // the notice or the question
    Question question = Question::QuitUnsaved; // which question, for Ask
};

// The one rule book: command by command, what a live run and unsaved finished tests in the
// channels first..last (those the command would reset or replace) mean for it.
CommandCheck checkCommand(Command command, const TestLifecycle& tests, bool running, int first = 0,
                          int last = ChannelCount - 1);

} // namespace q7rk
