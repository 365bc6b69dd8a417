#include "Commands.h"

#include <array>
#include <string_view>

namespace q7rk {

namespace {

constexpr std::array<MenuSpec, MenuCount> kMenus{{
    {Menu::None, Menu::None, "", ""},
    {Menu::Bar, Menu::None, "", ""},
    {Menu::File, Menu::Bar, "file", "文件(&F)"},
    {Menu::Print, Menu::File, "p", "打印"},
    {Menu::Operation, Menu::Bar, "Operation", "操作"},
    {Menu::Connection, Menu::Bar, "connet", "通讯设置(&C)"},
    {Menu::SerialPorts, Menu::Connection, "select", "打开串口"},
    {Menu::Charts, Menu::Bar, "image", "图形设置(&I)"},
    {Menu::Help, Menu::Bar, "helpMenu", "帮助(&H)"},
}};

constexpr const char* kNewTestUnsaved = "测试数据尚未保存，确定要新建测试吗？";
constexpr const char* kStartOverUnsaved = "测试数据尚未保存，确定要开始新的测试吗？";

// clang-format off
constexpr std::array<CommandSpec, CommandCount> kCommands{{
    {.id = Command::NewTest, .menu = Menu::File, .menuName = "new", .menuCaption = "新建",
     .toolbarSlot = 1, .buttonName = "new2", .buttonCaption = "新建文件", .buttonTip = "新建",
     .refusedDuringRun = "新建测试", .unsavedQuestion = kNewTestUnsaved,
     .unsavedQuestionId = Question::NewTestUnsaved},
    {.id = Command::Save, .menu = Menu::File, .menuName = "save", .menuCaption = "保存(&S)",
     .shortcut = "Ctrl+S", .toolbarSlot = 2, .buttonName = "save2", .buttonCaption = "保存",
     .buttonTip = "保存", .refusedDuringRun = "保存"},
    {.id = Command::SaveChartBitmaps, .menu = Menu::File, .menuName = "SaveAsFile",
     .menuCaption = "另存为", .refusedDuringRun = "保存图片"},
    {.id = Command::Query, .menu = Menu::File, .menuName = "query1", .menuCaption = "查询",
     .shortcut = "Ctrl+Q", .toolbarSlot = 3, .buttonName = "query2", .buttonCaption = "查询",
     .buttonTip = "查询"},
    {.id = Command::QualityTrend, .menu = Menu::File, .menuName = "trend1",
     .menuCaption = "质量趋势", .toolbarSlot = 4, .buttonName = "trend2",
     .buttonCaption = "质量趋势", .buttonTip = "质量趋势"},
    {.id = Command::OpenPlantQueue, .menu = Menu::File, .menuName = "retryPlant",
     .menuCaption = "补传工厂数据"},
    // The import writes the result files a run saves into; the settings import loads the
    // channels' parameters again, as a new test would.
    {.id = Command::ImportOldData, .menu = Menu::File, .menuName = "importOld",
     .menuCaption = "导入旧版数据…", .separatorBefore = true, .refusedDuringRun = "导入旧版数据"},
    {.id = Command::ImportOldSettings, .menu = Menu::File, .menuName = "importOldSettings",
     .menuCaption = "导入旧版设置…", .refusedDuringRun = "导入旧版设置",
     .unsavedQuestion = "测试数据尚未保存，导入旧版设置将重新载入各通道的参数，确定要导入吗？",
     .unsavedQuestionId = Question::ImportSettingsUnsaved},
    {.id = Command::PrintSetup, .menu = Menu::File, .menuName = "print_set",
     .menuCaption = "打印设置", .separatorBefore = true},
    {.id = Command::PrintChannels13, .menu = Menu::Print, .menuName = "print13",
     .menuCaption = "打印1-3通道", .refusedDuringRun = "打印"},
    {.id = Command::PrintChannels46, .menu = Menu::Print, .menuName = "print46",
     .menuCaption = "打印4-6通道", .refusedDuringRun = "打印"},
    {.id = Command::PrintAllChannels, .menu = Menu::Print, .menuName = "print16",
     .menuCaption = "打印1-6通道", .refusedDuringRun = "打印"},
    {.id = Command::PrintToPdf, .menu = Menu::Print, .menuName = "printPdf",
     .menuCaption = "打印到PDF", .refusedDuringRun = "打印"},
    // During a run 退出 is asked, not refused: stopping the run is part of quitting.
    {.id = Command::Quit, .menu = Menu::File, .menuName = "exit", .menuCaption = "退出(&X)",
     .shortcut = "Ctrl+X", .separatorBefore = true,
     .unsavedQuestion = "测试数据尚未保存，确定要退出吗？",
     .unsavedQuestionId = Question::QuitUnsaved},
    {.id = Command::Calibrate, .menu = Menu::Operation, .menuName = "adjust",
     .menuCaption = "电压电流校准"},
    {.id = Command::ShowCurrentCurves, .menu = Menu::Operation, .menuName = "Visibyes",
     .menuCaption = "显示电流图像"},
    {.id = Command::HideCurrentCurves, .menu = Menu::Operation, .menuName = "Visibno",
     .menuCaption = "隐藏电流图像"},
    {.id = Command::ToggleEthernet, .menu = Menu::Connection, .menuName = "RJ45",
     .menuCaption = "以太网连接", .toolbarSlot = 10, .buttonName = "RJ45_connect",
     .buttonCaption = "以太网连接"},
    {.id = Command::OpenSerialCom1, .menu = Menu::SerialPorts, .menuName = "COM1",
     .menuCaption = "COM1"},
    {.id = Command::OpenSerialCom2, .menu = Menu::SerialPorts, .menuName = "COM2",
     .menuCaption = "COM2"},
    {.id = Command::OpenSerialCom3, .menu = Menu::SerialPorts, .menuName = "COM3",
     .menuCaption = "COM3"},
    {.id = Command::OpenSerialCom4, .menu = Menu::SerialPorts, .menuName = "COM4",
     .menuCaption = "COM4"},
    {.id = Command::OpenSerialCom5, .menu = Menu::SerialPorts, .menuName = "COM5",
     .menuCaption = "COM5"},
    {.id = Command::CloseSerial, .menu = Menu::Connection, .menuName = "Com_off",
     .menuCaption = "关闭串口"},
    {.id = Command::TraceNextRun, .menu = Menu::Connection, .menuName = "traceNextRun",
     .menuCaption = "记录下次测试的通讯", .separatorBefore = true, .checkable = true},
    {.id = Command::WidenTimeAxes, .menu = Menu::Charts, .menuName = "hf",
     .menuCaption = "1-6通道时间轴坐标放大"},
    {.id = Command::NarrowTimeAxes, .menu = Menu::Charts, .menuName = "hs",
     .menuCaption = "1-6通道时间轴坐标缩小"},
    {.id = Command::WidenGroupTimeAxes, .menu = Menu::Charts, .menuName = "hf16",
     .menuCaption = "组合通道时间轴坐标放大"},
    {.id = Command::NarrowGroupTimeAxes, .menu = Menu::Charts, .menuName = "hs16",
     .menuCaption = "组合通道时间轴坐标放小"},
    {.id = Command::MergedReport, .menu = Menu::Bar, .menuName = "hbbb",
     .menuCaption = "合并报表"},
    {.id = Command::Help, .menu = Menu::Help, .menuName = "help", .menuCaption = "帮助内容",
     .shortcut = "F1"},
    {.id = Command::MessageLog, .menu = Menu::Help, .menuName = "messageLog",
     .menuCaption = "消息记录"},
    {.id = Command::ExportDiagnostics, .menu = Menu::Help, .menuName = "exportDiagnostics",
     .menuCaption = "导出诊断信息…", .separatorBefore = true,
     .refusedDuringRun = "导出诊断信息"},
    {.id = Command::About, .menu = Menu::Help, .menuName = "about", .menuCaption = "关于",
     .separatorBefore = true},

    {.id = Command::PrintReport, .menu = Menu::None, .toolbarSlot = 5, .buttonName = "print2",
     .buttonCaption = "打印", .buttonTip = "打印", .refusedDuringRun = "打印"},
    // A start gives up the finished tests not stored, in its group (the reset) and outside it
    // (only the last run's tests are saved).
    {.id = Command::RunChannels123, .menu = Menu::None, .toolbarSlot = 6, .buttonName = "test13",
     .buttonCaption = "1-3测试开始", .buttonTip = "测试开始", .stopCaption = "1-3测试停止",
     .unsavedQuestion = kStartOverUnsaved, .unsavedQuestionId = Question::StartOverUnsaved},
    {.id = Command::RunChannels12, .menu = Menu::None, .toolbarSlot = 7, .buttonName = "test46",
     .buttonCaption = "1-2测试开始", .stopCaption = "1-2测试停止",
     .unsavedQuestion = kStartOverUnsaved, .unsavedQuestionId = Question::StartOverUnsaved},
    {.id = Command::RunChannel1, .menu = Menu::None, .toolbarSlot = 8, .buttonName = "test16",
     .buttonCaption = "1路测试开始", .stopCaption = "1路测试停止",
     .unsavedQuestion = kStartOverUnsaved, .unsavedQuestionId = Question::StartOverUnsaved},
    {.id = Command::StopAll, .menu = Menu::None, .toolbarSlot = 9, .buttonName = "stop16",
     .buttonCaption = "1-3测试停止"},

    {.id = Command::OpenFoil, .menu = Menu::None, .refusedDuringRun = "打开铝箔记录",
     .unsavedQuestion = "测试数据尚未保存，确定要打开铝箔记录吗？",
     .unsavedQuestionId = Question::OpenFoilUnsaved},
    {.id = Command::DeleteFoil, .menu = Menu::None, .refusedDuringRun = "删除铝箔记录",
     .unsavedQuestion = "测试数据尚未保存，确定要删除铝箔记录吗？",
     .unsavedQuestionId = Question::DeleteFoilUnsaved},
    {.id = Command::DisplayStored, .menu = Menu::None, .refusedDuringRun = "显示记录",
     .unsavedQuestion = "该通道的测试数据尚未保存，确定要显示记录吗？",
     .unsavedQuestionId = Question::DisplayStoredUnsaved},
    {.id = Command::RetryPlant, .menu = Menu::None, .refusedDuringRun = "补传工厂数据"},
}};
// clang-format on

// Looked up by id: the table is in menu order, so an index is built once.
constexpr std::array<int, CommandCount> indexById() {
    std::array<int, CommandCount> index{};
    index.fill(-1);
    for (int row = 0; row < CommandCount; ++row)
        index[std::size_t(kCommands[std::size_t(row)].id)] = row;
    return index;
}
constexpr std::array<int, CommandCount> kIndex = indexById();

constexpr int toolbarLength() {
    int n = 0;
    for (const CommandSpec& c : kCommands)
        n += c.toolbarSlot > 0 ? 1 : 0;
    return n;
}

constexpr std::array<Command, toolbarLength()> toolbarOrder() {
    std::array<Command, toolbarLength()> order{};
    for (const CommandSpec& c : kCommands)
        if (c.toolbarSlot > 0) order[std::size_t(c.toolbarSlot - 1)] = c.id;
    return order;
}
constexpr auto kToolbar = toolbarOrder();

// Every command has exactly one row, every menu its place, every toolbar slot one button, and
// no two widgets share an objectName (tests and accessibility find them by it).
constexpr bool tableIsConsistent() {
    for (int row : kIndex)
        if (row < 0) return false;
    for (int m = 0; m < MenuCount; ++m)
        if (int(kMenus[std::size_t(m)].id) != m) return false;
    std::array<int, toolbarLength() + 1> slots{};
    std::array<std::string_view, CommandCount * 2 + MenuCount> names{};
    std::size_t n = 0;
    for (const CommandSpec& c : kCommands) {
        if (c.toolbarSlot > int(toolbarLength()) || (c.toolbarSlot > 0) == !*c.buttonName)
            return false;
        if ((c.menu != Menu::None) == !*c.menuName) return false;
        ++slots[std::size_t(c.toolbarSlot)];
        names[n++] = c.menuName;
        names[n++] = c.buttonName;
    }
    for (std::size_t s = 1; s < slots.size(); ++s)
        if (slots[s] != 1) return false;
    for (const MenuSpec& m : kMenus)
        names[n++] = m.objectName;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            if (!names[i].empty() && names[i] == names[j]) return false;
    return true;
}
static_assert(tableIsConsistent(), "a command without its row, or two in one place");

} // namespace

namespace commands {

std::span<const CommandSpec> table() {
    return kCommands;
}

const CommandSpec& spec(Command id) {
    return kCommands[std::size_t(kIndex[std::size_t(id)])];
}

const MenuSpec& menu(Menu id) {
    return kMenus[std::size_t(id)];
}

std::span<const Command> toolbar() {
    return kToolbar;
}

} // namespace commands

} // namespace q7rk
