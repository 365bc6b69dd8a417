#include "CommandRules.h"

namespace q7rk {

CommandCheck checkCommand(Command command, const TestLifecycle& tests, bool running, int first,
                          int last) {
    const CommandSpec& rule = commands::spec(command);
    if (running) {
        // The instrument is driving the channels: stopping it is part of quitting.
        if (command == Command::Quit)
            return {CommandCheck::Ask, QStringLiteral("测试正在进行，确定要停止测试并退出吗？"),
                    Question::QuitDuringRun};
        if (*rule.refusedDuringRun)
            return {CommandCheck::Refuse, QStringLiteral("测试正在进行，请在测试结束后再") +
                                              QString::fromUtf8(rule.refusedDuringRun) +
                                              QStringLiteral("。")};
    }
    // A second 保存 of the run offers the plant pieces the first one did not send.
    if (command == Command::Save && tests.unsaved().isEmpty() && tests.unsentPieces().isEmpty())
        return {CommandCheck::Refuse, QStringLiteral("没有需要保存的测试数据")};
    if (!*rule.unsavedQuestion || tests.unsaved(first, last).isEmpty()) return {};
    QString question = QString::fromUtf8(rule.unsavedQuestion);
    // A new run gives up the pieces of this one that are not in the plant database.
    if (rule.unsavedQuestionId == Question::StartOverUnsaved && !tests.unsentPieces().isEmpty())
        question += QStringLiteral("\n未存入工厂数据库的片也将不再提供上传。");
    return {CommandCheck::Ask, question, rule.unsavedQuestionId};
}

} // namespace q7rk
