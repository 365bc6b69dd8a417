#include "ShellModel.h"

namespace q7rk {

namespace {

QList<ToolButton> designButtons() {
    return {
        {QStringLiteral("new2"), QStringLiteral("新建文件"), QStringLiteral("新建")},
        {QStringLiteral("save2"), QStringLiteral("保存"), QStringLiteral("保存")},
        {QStringLiteral("query2"), QStringLiteral("查询"), QStringLiteral("查询")},
        {QStringLiteral("print2"), QStringLiteral("打印"), QStringLiteral("打印")},
        {QStringLiteral("test13"), QStringLiteral("1-3测试开始"), QStringLiteral("测试开始")},
        {QStringLiteral("test46"), QStringLiteral("1-2测试开始"), QString()},
        {QStringLiteral("test16"), QStringLiteral("1路测试开始"), QString()},
        {QStringLiteral("stop16"), QStringLiteral("1-3测试停止"), QString()},
        {QStringLiteral("RJ45_connect"), QStringLiteral("以太网连接"), QString()},
    };
}

MenuItem item(const char* name, const char* caption, const char* parent,
              const char* shortcut = "") {
    return MenuItem{QString::fromUtf8(name), QString::fromUtf8(caption), QString::fromUtf8(parent),
                    QString::fromUtf8(shortcut)};
}

MenuItem separator(const char* parent) {
    return MenuItem{{}, QStringLiteral("-"), QString::fromUtf8(parent), {}};
}

QList<MenuItem> designMenu() {
    return {
        item("file", "文件(&F)", ""),
        item("new", "新建", "file"),
        item("save", "保存(&S)", "file", "Ctrl+S"),
        item("SaveAsFile", "另存为", "file"),
        item("query1", "查询", "file", "Ctrl+Q"),
        item("retryPlant", "补传工厂数据", "file"),
        separator("file"),
        item("print_set", "打印设置", "file"),
        item("p", "打印", "file"),
        item("print13", "打印1-3通道", "p"),
        item("print46", "打印4-6通道", "p"),
        item("print16", "打印1-6通道", "p"),
        item("printPdf", "打印到PDF", "p"),
        separator("file"),
        item("exit", "退出(&X)", "file", "Ctrl+X"),
        item("Operation", "操作", ""),
        item("adjust", "电压电流校准", "Operation"),
        item("Visibyes", "显示电流图像", "Operation"),
        item("Visibno", "隐藏电流图像", "Operation"),
        item("connet", "通讯设置(&C)", ""),
        item("RJ45", "以太网连接", "connet"),
        item("select", "打开串口", "connet"),
        item("COM1", "COM1", "select"),
        item("COM2", "COM2", "select"),
        item("COM3", "COM3", "select"),
        item("COM4", "COM4", "select"),
        item("COM5", "COM5", "select"),
        item("Com_off", "关闭串口", "connet"),
        item("image", "图形设置(&I)", ""),
        item("hf", "1-6通道时间轴坐标放大", "image"),
        item("hs", "1-6通道时间轴坐标缩小", "image"),
        item("hf16", "组合通道时间轴坐标放大", "image"),
        item("hs16", "组合通道时间轴坐标放小", "image"),
        item("hbbb", "合并报表", ""),
        item("helpMenu", "帮助(&H)", ""),
        item("help", "帮助内容", "helpMenu", "F1"),
        item("about", "关于", "helpMenu"),
    };
}

} // namespace

ShellModel::ShellModel(QObject* parent)
    : QObject(parent), m_buttons(designButtons()), m_menu(designMenu()) {}

QString ShellModel::channelStatus(int channel, const QString& phrase) {
    return QStringLiteral("第") + QString::number(channel + 1) + phrase;
}

QString ShellModel::statusText(int panel) const {
    return panel >= 1 && panel <= StatusPanelCount ? m_status[panel - 1] : QString();
}

void ShellModel::setStatusText(int panel, const QString& text) {
    if (panel < 1 || panel > StatusPanelCount || m_status[panel - 1] == text) return;
    m_status[panel - 1] = text;
    emit statusChanged(panel, text);
}

QStringList ShellModel::statusTexts() const {
    return QStringList(m_status.begin(), m_status.end());
}

QString ShellModel::remainingTime(int channel) const {
    return channel >= 0 && channel < int(m_remaining.size()) ? m_remaining[channel] : QString();
}

void ShellModel::setRemainingTime(int channel, const QString& text) {
    if (channel < 0 || channel >= int(m_remaining.size()) || m_remaining[channel] == text) return;
    m_remaining[channel] = text;
    emit remainingTimeChanged(channel, text);
}

const ToolButton* ShellModel::button(const QString& key) const {
    for (const ToolButton& b : m_buttons)
        if (b.key == key) return &b;
    return nullptr;
}

ToolButton* ShellModel::findButton(const QString& key) {
    return const_cast<ToolButton*>(std::as_const(*this).button(key));
}

void ShellModel::setButtonCaption(const QString& key, const QString& caption) {
    ToolButton* b = findButton(key);
    if (!b || b->caption == caption) return;
    b->caption = caption;
    emit buttonChanged(key);
}

void ShellModel::setButtonEnabled(const QString& key, bool enabled) {
    ToolButton* b = findButton(key);
    if (!b || b->enabled == enabled) return;
    b->enabled = enabled;
    emit buttonChanged(key);
}

void ShellModel::setToolbarVisible(bool visible) {
    if (m_toolbarVisible == visible) return;
    m_toolbarVisible = visible;
    emit toolbarVisibleChanged(visible);
}

const MenuItem* ShellModel::menuItem(const QString& name) const {
    if (name.isEmpty()) return nullptr;
    for (const MenuItem& m : m_menu)
        if (m.name == name) return &m;
    return nullptr;
}

MenuItem* ShellModel::findMenu(const QString& name) {
    return const_cast<MenuItem*>(std::as_const(*this).menuItem(name));
}

void ShellModel::setMenuCaption(const QString& name, const QString& caption) {
    MenuItem* m = findMenu(name);
    if (!m || m->caption == caption) return;
    m->caption = caption;
    emit menuItemChanged(name);
}

void ShellModel::setMenuEnabled(const QString& name, bool enabled) {
    MenuItem* m = findMenu(name);
    if (!m || m->enabled == enabled) return;
    m->enabled = enabled;
    emit menuItemChanged(name);
}

} // namespace q7rk
