#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace q7rk::plantTexts {

// A piece as the plant page names it: curves 1-3 before boiling are "1"-"3", curves 4-6 the
// same pieces after boiling, "1'"-"3'".
inline QString pieceLabel(int curveNumber) {
    return curveNumber >= 4 && curveNumber <= 6
               ? QString::number(curveNumber - 3) + QLatin1Char('\'')
               : QString::number(curveNumber);
}

// "1、2、3" for pieces 1-3, "1'、2'" for pieces 4 and 5.
inline QString pieceLabels(const QList<int>& curveNumbers) {
    QStringList labels;
    for (int n : curveNumbers)
        labels << pieceLabel(n);
    return labels.join(QStringLiteral("、"));
}

// What the plant page and the upload show the operator.
inline QString questionTitle() {
    return QStringLiteral("信息提示");
}
inline QString addGradeQuestion() {
    return QStringLiteral("此规格不存在,是否加入到规格列表中?");
}
inline QString foilSaved() {
    return QStringLiteral("整体参数保存完毕!");
}
inline QString deleteQuestion(const QString& serial) {
    return QStringLiteral("此操作会删除卷号 %1 的全部数据,是否确定?").arg(serial);
}
inline QString foilDeleted() {
    return QStringLiteral("数据删除完毕!");
}
inline QString piecesSaved() {
    return QStringLiteral("部分参数保存完毕!");
}
// What 保存 of the grid wrote for one piece; an empty value is "空".
inline QString pieceCellsWritten(int curveNumber, const QString& capacitance, const QString& bend,
                                 const QString& pull) {
    return QStringLiteral("第%1片已保存：比容 %2，折弯 %3，抗拉 %4")
        .arg(pieceLabel(curveNumber), capacitance, bend, pull);
}
inline QString emptyValue() {
    return QStringLiteral("空");
}
// Tested pieces of the grid, "2、3", whose Part_Parameter row is not in the plant.
inline QString piecesWithoutRow(const QString& pieceLabels) {
    return QStringLiteral("第%1片在工厂数据库中没有记录，比容等未保存").arg(pieceLabels);
}
inline QString noTestedPieces() {
    return QStringLiteral("没有可保存的单片参数：表中各片都还没有测试结果（Tr、Vm、Vt），"
                          "未写入工厂数据库。");
}
// The VF of an opened foil that the formation-voltage boxes do not take.
inline QString vfNotTaken(const QString& vf, const QString& lower, const QString& upper) {
    const QString what =
        vf.isEmpty()
            ? QStringLiteral("VF值为空")
            : QStringLiteral("VF值%1不在化成电压的允许范围%2～%3 V之内").arg(vf, lower, upper);
    return what + QStringLiteral("，通道1-3的化成电压未改动。");
}
// Which foil gets the piece.
inline QString uploadQuestion(int curveNumber, const QString& serial) {
    return QStringLiteral("第%1片数据是否保存?（卷号 %2）")
        .arg(pieceLabel(curveNumber))
        .arg(serial);
}
// The one question for all pieces of a group, "1、2、3".
inline QString uploadPiecesQuestion(const QString& pieceLabels, const QString& serial) {
    return QStringLiteral("第%1片数据是否上传到工厂数据库?（卷号 %2）").arg(pieceLabels, serial);
}
// The second line of the first question when neither the page nor the plant knows the foil.
inline QString noFoilAnywhere(const QString& serial) {
    return QStringLiteral("工厂数据库中没有卷号 %1 的整卷记录，页面上也没有整卷数据：各片将不带"
                          "整卷数据上传。")
        .arg(serial);
}
inline QString curveSaved(int curveNumber, const QString& serial) {
    return QStringLiteral("第%1片曲线数据保存完毕!（卷号 %2）")
        .arg(pieceLabel(curveNumber))
        .arg(serial);
}
// Every piece of a group asked about at once went.
inline QString curvesSaved(const QString& pieceLabels, const QString& serial) {
    return QStringLiteral("第%1片曲线数据保存完毕!（卷号 %2）").arg(pieceLabels, serial);
}
// Pieces 1 and 1' sent or queued while the page held no whole-roll data for their serial.
inline QString foilNotWritten(const QString& curveNumbers, const QString& serial) {
    return QStringLiteral("第%1片上传时没有整卷数据（整卷参数栏中没有卷号 %2 的数据），卷号 %2 的"
                          "整卷记录未写入，工厂数据库中原有的整卷记录不变。")
        .arg(curveNumbers, serial);
}
// The second line of the first question: what pieces 1 and 1' do to the whole-roll record.
inline QString wholeRollUnchanged(const QString& serial) {
    return QStringLiteral("工厂数据库中卷号 %1 的整卷记录不变。").arg(serial);
}
// `changes` as "长度 1200→1250，线别 空→L3".
inline QString wholeRollWritten(const QString& serial, const QString& changes) {
    return QStringLiteral("将写入卷号 %1 的整卷记录：%2。").arg(serial, changes);
}
inline QString wholeRollCreated(const QString& serial, const QString& values) {
    return QStringLiteral("将新建卷号 %1 的整卷记录：%2。").arg(serial, values);
}
// One value of the whole-roll record as it is and as it will be; nothing stored is "空".
inline QString changedValue(const QString& label, const QString& stored, const QString& page) {
    return QStringLiteral("%1 %2→%3")
        .arg(label, stored.isEmpty() ? QStringLiteral("空") : stored, page);
}

// Why an operation failed.
inline QString noQtDriver() {
    return QStringLiteral("本机缺少数据库的ODBC驱动，无法连接工厂数据库。");
}
inline QString noDataSource(const QString& name) {
    return QStringLiteral("找不到ODBC数据源“%1”，请先设置工厂数据库的数据源。").arg(name);
}
inline QString noOdbcDriver(const QString& name) {
    return QStringLiteral("数据源“%1”的ODBC驱动程序无法加载。").arg(name);
}
inline QString loginRefused() {
    return QStringLiteral("工厂数据库拒绝了用户sa的登录。");
}
inline QString serverAway() {
    return QStringLiteral("无法连接工厂数据库服务器。");
}
inline QString connectionLost() {
    return QStringLiteral("与工厂数据库的连接中断，操作未完成。");
}
inline QString noAnswer(int seconds) {
    return QStringLiteral("工厂数据库%1秒内没有回答，操作未完成。").arg(seconds);
}
inline QString statementRejected() {
    return QStringLiteral("工厂数据库拒绝执行语句，操作未完成。");
}
inline QString writeConflict() {
    return QStringLiteral("工厂数据库中的同一记录正被其他工位同时写入，操作未完成。");
}
inline QString curveTooLong(int curveNumber, int points, int columns) {
    return QStringLiteral("第%1片曲线有%2个数据点，超过工厂数据库Curve表的%3个数据列，无法上传。")
        .arg(pieceLabel(curveNumber))
        .arg(points)
        .arg(columns);
}
inline QString curveLengthOutOfRange(int curveNumber, int points) {
    return QStringLiteral("第%1片曲线长度%2超出0到6000的范围，无法上传。")
        .arg(pieceLabel(curveNumber))
        .arg(points);
}
// A required number box.
inline QString needsNumber(const QString& label) {
    return QStringLiteral("“%1”必须填写数字！").arg(label);
}
// A box that may stay empty.
inline QString numberOrEmpty(const QString& label) {
    return QStringLiteral("“%1”必须是数字或留空！").arg(label);
}
inline QString pieceNeedsNumber(int curveNumber, const QString& label) {
    return QStringLiteral("第%1片的“%2”必须是数字！").arg(pieceLabel(curveNumber)).arg(label);
}
inline QString pieceNumberOrEmpty(int curveNumber, const QString& label) {
    return QStringLiteral("第%1片的“%2”必须是数字或留空！").arg(pieceLabel(curveNumber)).arg(label);
}
inline QString badCurveNumber(int curveNumber) {
    return QStringLiteral("片号%1不在1到6之间，无法上传。").arg(curveNumber);
}
// The pieces of a group that did not reach the plant database, "2、3". The station shows
// this line in its status bar.
inline QString notInPlant(const QString& curveNumbers) {
    return QStringLiteral("第%1片数据已存入本机结果文件，但未存入工厂数据库。").arg(curveNumbers);
}
// What became of the pieces of a group, one line for each outcome and cause.
inline QString storedInPlant(const QString& curveNumbers) {
    return QStringLiteral("第%1片已存入工厂数据库。").arg(curveNumbers);
}
inline QString waitsInQueue(const QString& curveNumbers, const QString& reason) {
    return QStringLiteral("第%1片未能上传，已放入待传队列，下次启动或“补传工厂数据”时重传：%2")
        .arg(curveNumbers, reason);
}
// Held in the outbox until the operator sends it again (补传工厂数据) or removes it.
inline QString refused(const QString& curveNumbers, const QString& reason) {
    return QStringLiteral("第%1片被拒绝：%2").arg(curveNumbers, reason);
}
// The outbox could not note the attempt (an entry written with the save stays as it was).
inline QString notKept(const QString& curveNumbers, const QString& reason) {
    return QStringLiteral("第%1片未能上传，本机暂存文件也未能记下：%2").arg(curveNumbers, reason);
}
inline QString nothingWaiting() {
    return QStringLiteral("没有等待补传的工厂数据。");
}
// `waiting` go again at the next start; `held` were refused for good and wait for the
// operator (the queue window names the cause).
inline QString retried(int uploaded, int waiting, int held) {
    QString text = QStringLiteral("补传工厂数据：上传%1片").arg(uploaded);
    if (waiting > 0 || held == 0)
        text += waiting > 0 ? QStringLiteral("，还有%1片等待补传").arg(waiting)
                            : QStringLiteral("，没有等待补传的数据");
    if (held > 0) text += QStringLiteral("，%1片需处理").arg(held);
    return text + QStringLiteral("。");
}
inline QString retrying(int done, int total) {
    return QStringLiteral("正在补传工厂数据：%1/%2").arg(done).arg(total);
}
inline QString pendingUploads(int total, int held) {
    QString text = QStringLiteral("待补传工厂数据：%1片").arg(total);
    if (held > 0) text += QStringLiteral("（%1片需处理）").arg(held);
    return text;
}
// The pieces named "卷号T7A第2片", joined.
inline QString removeQueuedQuestion(const QString& pieces) {
    return QStringLiteral("确定从待传队列中删除%1的数据吗？删除后不会再上传到工厂数据库。")
        .arg(pieces);
}
inline QString queuedPiece(const QString& serial, int curveNumber) {
    return QStringLiteral("卷号%1第%2片").arg(serial, pieceLabel(curveNumber));
}
inline QString queueFailed(const QString& path) {
    return QStringLiteral("本机暂存文件“%1”无法读写。").arg(path);
}

inline QString noStoredTest(const QString& key) {
    return QStringLiteral("本机结果文件中没有测试%1。").arg(key);
}

inline QString noSerial() {
    return QStringLiteral("卷号为空，无法上传。");
}

inline QString otherSender() {
    return QStringLiteral("另一程序正在向工厂数据库发送数据，本片稍后补传。");
}

inline QString entryGone() {
    return QStringLiteral("该片已由另一程序上传或删除。");
}

inline QString supersededPiece() {
    return QStringLiteral("同一卷号同一片已有较新的测试，旧数据不再上传。");
}

inline QString readBackMismatch(int curveNumber) {
    return QStringLiteral("第%1片写入工厂数据库后读回不符，未保存。").arg(pieceLabel(curveNumber));
}

inline QString readCancelled() {
    return QStringLiteral("读取工厂数据库已取消。");
}

} // namespace q7rk::plantTexts
