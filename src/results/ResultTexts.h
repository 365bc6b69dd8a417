#pragma once

#include "kinds/TestKindDescription.h"

#include <QString>
#include <QStringList>

namespace q7rk::resulttext {

// What the result operations say to the operator (the caller shows it).
inline QString saveFailed() {
    return QStringLiteral("无法保存，请检查实验参数设定是否完整并且正确！");
}
// "同名记录TV测试编号：1203HL 已经存在，请使用其他的编号！" and its leakage and electrolyte
// forms: the start of a run says the same.
inline QString duplicateNumber(TestKind kind, const TestKey& key) {
    return duplicateNumberText(kind, key);
}
// A save of a test whose fields cannot be stored.
inline QString incomplete(TestKind kind) {
    return QString::fromUtf8(description(kind).incompleteText);
}
inline QString noMatch() {
    return QStringLiteral("没有符合条件的查询结果！");
}
inline QString noSelection() {
    return QStringLiteral("操作错误！您还没有选中任何一条记录！");
}
// A change of a stored test with no operator name to sign it.
inline QString noSigner() {
    return QStringLiteral("没有操作人姓名，记录未修改。");
}
inline QString deleted() {
    return QStringLiteral("删除完毕！");
}
// A number held by several rows (a file from an older version) loses all of them: the count
// tells the operator that more went than the one line selected.
inline QString deleted(int rows) {
    return rows > 1 ? deleted() + QStringLiteral("（共删除 %1 条记录）").arg(rows) : deleted();
}
inline QString deleteFailed(const QString& numbers) {
    return QStringLiteral("删除失败！以下测试编号的记录未能删除：") + numbers;
}
inline QString badBatchCount() {
    return QStringLiteral("删除个数必须是0或正整数！请检查以后重新执行该操作！");
}
inline QString noCorrectionField() {
    return QStringLiteral("您还未选择修改项目！");
}
inline QString noCorrectionValue() {
    return QStringLiteral("您还未输入修改后的值！");
}
inline QString corrected() {
    return QStringLiteral("修改完毕！重新点击查询可以看到修改结果");
}
inline QString corrected(int rows) {
    return rows > 1 ? corrected() + QStringLiteral("（共修改 %1 条记录）").arg(rows) : corrected();
}
// Said once per file: older versions could store a number twice, and such a file cannot
// take the index that keeps each number unique.
inline QString duplicateRows(const QString& path, const QStringList& numbers) {
    return QStringLiteral("结果文件 %1 中以下测试编号各有不止一条记录：%2。删除或修改这些编号时，"
                          "同一编号的全部记录一起删除或修改。")
        .arg(path, numbers.join(QStringLiteral("、")));
}

inline QString restoreFailed(const QString& path, const QString& cause) {
    return QStringLiteral("无法恢复记录到文件 %1").arg(path) +
           (cause.isEmpty() ? QStringLiteral("！") : QStringLiteral("：") + cause);
}
inline QString notRestorable() {
    return QStringLiteral("这条删除记录只保存了参数，没有曲线，无法恢复！");
}
inline QString alreadyRestored(const QString& when) {
    return QStringLiteral("这条删除记录已于 %1 恢复过，不能再次恢复！").arg(when);
}
inline QString restored(TestKind kind, const TestKey& key) {
    return QString::fromUtf8(description(kind).name) + QStringLiteral("测试编号：") +
           shownKey(key) + QStringLiteral(" 已恢复！");
}

// A result file whose history could not be read, and why.
inline QString unreadableFile(const QString& path, const QString& cause) {
    return QStringLiteral("无法读取结果文件 %1：%2").arg(path, cause);
}

// Why a file could not be written, for "无法保存到文件 …：" + cause.
enum class FileFault { DiskFull, ReadOnly, NotADatabase, Locked, Other };
inline QString saveFault(const QString& path, FileFault fault, const QString& detail = {}) {
    QString cause;
    switch (fault) {
    case FileFault::DiskFull:
        cause = QStringLiteral("磁盘已满，请腾出空间后再保存。");
        break;
    case FileFault::ReadOnly:
        cause = QStringLiteral("文件夹或文件是只读的，无法写入。");
        break;
    case FileFault::NotADatabase:
        cause =
            QStringLiteral("该文件不是测试结果数据库（已损坏或不完整），请移走该文件后再保存。");
        break;
    case FileFault::Locked:
        cause = QStringLiteral("文件正被另一个程序占用，请稍后再保存。");
        break;
    case FileFault::Other:
        cause = QStringLiteral("写入出错（%1）。").arg(detail);
        break;
    }
    return QStringLiteral("无法保存到文件 %1：").arg(path) + cause;
}

// Lines of a save pass that concern one channel (k = 0..5, shown as 1..6).
inline QString noSamples(int channel) {
    return QStringLiteral("第%1路没有测量数据，未保存。").arg(channel + 1);
}
inline QString missingBox(int channel, const QString& caption) {
    return QStringLiteral("第%1路：%2未填写").arg(channel + 1).arg(caption);
}
inline QString operationFailed() {
    return QStringLiteral("操作错误！请检查以后重新执行该操作！");
}
inline QString infoTitle() {
    return QStringLiteral("信息提示");
}
// "存储 3 条记录" in status panel 8 after a save pass.
inline QString savedCount(int count) {
    return QStringLiteral("存储 ") + QString::number(count) + QStringLiteral(" 条记录");
}

} // namespace q7rk::resulttext
