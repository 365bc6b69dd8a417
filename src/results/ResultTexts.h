#pragma once

#include "settings/ChannelModel.h"

#include <QString>

namespace q7rk::resulttext {

// What the result operations say to the operator (the caller shows it).
inline QString saveFailed() {
    return QStringLiteral("无法保存，请检查实验参数设定是否完整并且正确！");
}
// "同名记录TV测试编号：1203HL 已经存在，请使用其他的编号！" and its leakage and electrolyte
// forms: the start of a run says the same.
inline QString duplicateNumber(TestKind kind, const QString& number) {
    const char* head = kind == TestKind::Tv        ? "同名记录TV测试编号："
                       : kind == TestKind::Leakage ? "同名记录漏电流测试编号："
                                                   : "同名记录电解液测试编号：";
    return QString::fromUtf8(head) + number + QStringLiteral(" 已经存在，请使用其他的编号！");
}
inline QString incomplete() {
    return QStringLiteral("测试数据不完整，本次测试无效！请确认完整后，再重新保存！");
}
inline QString electrolyteEmpty() {
    return QStringLiteral("参数设定不能为空！请确认完整后，再重新保存！");
}
inline QString noMatch() {
    return QStringLiteral("没有符合条件的查询结果！");
}
inline QString noSelection() {
    return QStringLiteral("操作错误！您还没有选中任何一条记录！");
}
inline QString deleted() {
    return QStringLiteral("删除完毕！");
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
inline QString operationFailed() {
    return QStringLiteral("操作错误！请检查以后重新执行该操作！");
}
inline QString infoTitle() {
    return QStringLiteral("信息提示");
}
// "存储 3 条记录" in status panel 7 after a save pass.
inline QString savedCount(int count) {
    return QStringLiteral("存储 ") + QString::number(count) + QStringLiteral(" 条记录");
}

} // namespace q7rk::resulttext
