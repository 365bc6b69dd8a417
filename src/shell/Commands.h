#pragma once

#include "shell/Question.h"

#include <span>

namespace q7rk {

// Everything the operator can give as a command: the menu items and toolbar buttons, and the
// commands of other windows that the same run and save rules govern. A command that sits in
// the menu and on the toolbar is one id with two places.
enum class Command {
    NewTest,           // 新建
    Save,              // 保存: the finished tests of the last run into the result files
    SaveChartBitmaps,  // 另存为
    Query,             // 查询: opens the stored tests window
    QualityTrend,      // 质量趋势: opens the control charts of the stored results
    OpenPlantQueue,    // 补传工厂数据: opens the upload queue window
    ImportOldData,     // 导入旧版数据: the old program's result files into ours
    ImportOldSettings, // 导入旧版设置: the old program's settings from a registry export
    PrintSetup,        // 打印设置
    PrintChannels13,
    PrintChannels46,
    PrintAllChannels,
    PrintToPdf,
    Quit, // 退出
    Calibrate,
    ShowCurrentCurves,
    HideCurrentCurves,
    ToggleEthernet, // connects to the instrument's address, or closes the connection
    OpenSerialCom1,
    OpenSerialCom2,
    OpenSerialCom3,
    OpenSerialCom4,
    OpenSerialCom5,
    CloseSerial,
    TraceNextRun,  // 记录下次测试的通讯: a check box; the next run writes a link trace
    WidenTimeAxes, // of the six channel charts
    NarrowTimeAxes,
    WidenGroupTimeAxes, // of the comparison charts
    NarrowGroupTimeAxes,
    MergedReport, // starts the merged report program
    Help,
    MessageLog,        // 消息记录: the messages and status texts of this session, from the log
    ExportDiagnostics, // 导出诊断信息: one archive for support
    About,
    // Toolbar only.
    PrintReport,    // the groups chosen on the report page
    RunChannels123, // starts channels 1-3, or stops them while they run
    RunChannels12,
    RunChannel1,
    StopAll,
    // Given in other windows.
    OpenFoil,      // 打开 on the plant page (resets the channels, writes their numbers)
    DeleteFoil,    // 删除 on the plant page (resets the channels)
    DisplayStored, // 显示记录 into one channel
    RetryPlant,    // 全部补传 / 补传所选 in the queue window
};
inline constexpr int CommandCount = int(Command::RetryPlant) + 1;

// The menus that hold commands. Bar: an item right on the menu bar; None: not in the menus.
enum class Menu { None, Bar, File, Print, Operation, Connection, SerialPorts, Charts, Help };
inline constexpr int MenuCount = int(Menu::Help) + 1;

struct MenuSpec {
    Menu id;
    Menu parent; // Bar for a menu of the menu bar
    const char* objectName;
    const char* caption;
};

// One command: where it sits, what it shows, and what a run and unsaved tests mean for it.
// The objectNames are the names the widgets have always had; UI tests find them by these.
struct CommandSpec {
    Command id;
    Menu menu;
    const char* menuName = ""; // objectName of the menu item
    const char* menuCaption = "";
    const char* shortcut = ""; // QKeySequence text
    bool separatorBefore = false;
    int toolbarSlot = 0; // 1.. from the left; 0: not on the toolbar
    const char* buttonName = "";
    const char* buttonCaption = "";
    const char* buttonTip = ""; // empty: the caption
    // A group button while its run goes on: it stops the run then, and says so.
    const char* stopCaption = "";
    // During a run: refused with "…请在测试结束后再<this>。"; empty: it may run.
    const char* refusedDuringRun = "";
    // With unsaved finished tests where the command would reset or replace them: asked first
    // (empty: nothing asked).
    const char* unsavedQuestion = "";
    Question unsavedQuestionId = Question::QuitUnsaved;
    bool checkable = false; // a menu item with a check mark, off at the start
};

namespace commands {

// Every command once, in the order of the menus (a menu appears where its first item is).
std::span<const CommandSpec> table();
const CommandSpec& spec(Command id);
const MenuSpec& menu(Menu id);
// The toolbar's commands from the left.
std::span<const Command> toolbar();

} // namespace commands

} // namespace q7rk
