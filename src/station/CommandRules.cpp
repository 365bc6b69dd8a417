#include "CommandRules.h"

#include <array>

namespace q7rk {

namespace {

struct Rule {
    Command command;
    // During a run: refused with "…请在测试结束后再<what>。", or, for 退出, asked.
    const char* whatDuringRun;
    // With unsaved finished tests in the channels it would reset: asked first. Empty: no
    // question.
    const char* unsavedQuestion;
    Question unsavedId;
};

// clang-format off
constexpr std::array<Rule, 10> kRules{{
    {Command::Save,          "保存",         "", {}},
    {Command::NewTest,       "新建测试",     "测试数据尚未保存，确定要新建测试吗？",
     Question::NewTestUnsaved},
    {Command::StartRun,      "",             "测试数据尚未保存，确定要开始新的测试吗？",
     Question::StartOverUnsaved},
    {Command::OpenFoil,      "打开铝箔记录", "测试数据尚未保存，确定要打开铝箔记录吗？",
     Question::OpenFoilUnsaved},
    {Command::DeleteFoil,    "删除铝箔记录", "测试数据尚未保存，确定要删除铝箔记录吗？",
     Question::DeleteFoilUnsaved},
    {Command::DisplayStored, "显示记录",     "该通道的测试数据尚未保存，确定要显示记录吗？",
     Question::DisplayStoredUnsaved},
    {Command::Print,         "打印",         "", {}},
    {Command::SaveBitmaps,   "保存图片",     "", {}},
    {Command::RetryPlant,    "补传工厂数据", "", {}},
    {Command::Quit,          "",             "测试数据尚未保存，确定要退出吗？",
     Question::QuitUnsaved},
}};
// clang-format on

const Rule& ruleOf(Command command) {
    for (const Rule& r : kRules)
        if (r.command == command) return r;
    return kRules.front(); // every command has a row; the table above is exhaustive
}

} // namespace

CommandCheck checkCommand(Command command, const TestLifecycle& tests, bool running, int first,
                          int last) {
    const Rule& rule = ruleOf(command);
    if (running) {
        // The instrument is driving the channels: stopping it is part of quitting.
        if (command == Command::Quit)
            return {CommandCheck::Ask, QStringLiteral("测试正在进行，确定要停止测试并退出吗？"),
                    Question::QuitDuringRun};
        if (*rule.whatDuringRun)
            return {CommandCheck::Refuse, QStringLiteral("测试正在进行，请在测试结束后再") +
                                              QString::fromUtf8(rule.whatDuringRun) +
                                              QStringLiteral("。")};
    }
    // A second 保存 of the run offers the plant pieces the first one did not send.
    if (command == Command::Save && tests.unsaved().isEmpty() && tests.unsentPieces().isEmpty())
        return {CommandCheck::Refuse, QStringLiteral("没有需要保存的测试数据")};
    if (!*rule.unsavedQuestion || tests.unsaved(first, last).isEmpty()) return {};
    QString question = QString::fromUtf8(rule.unsavedQuestion);
    // A new run gives up the pieces of this one that are not in the plant database.
    if (command == Command::StartRun && !tests.unsentPieces().isEmpty())
        question += QStringLiteral("\n未存入工厂数据库的片也将不再提供上传。");
    return {CommandCheck::Ask, question, rule.unsavedId};
}

} // namespace q7rk
