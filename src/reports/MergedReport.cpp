#include "reports/MergedReport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace q7rk {

QString mergedReportProgram(const QString& configured, const QString& folder) {
    if (!configured.trimmed().isEmpty()) return configured.trimmed();
    return QDir(folder).absoluteFilePath(QStringLiteral("scoreout"));
}

MergedReportStart startMergedReport(const QString& program) {
    const QFileInfo file(program);
    if (!file.isFile()) return MergedReportStart::Missing;
    if (!file.isExecutable() ||
        !QProcess::startDetached(file.absoluteFilePath(), {}, file.absolutePath()))
        return MergedReportStart::NotStartable;
    return MergedReportStart::Started;
}

QString mergedReportMissingText(const QString& program) {
    const QFileInfo file(program);
    return QStringLiteral("没有找到合并报表程序 %1。\n请把它复制到文件夹 %2 中，"
                          "或者指定它所在的位置（保存在设置中，以后直接使用）。")
        .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath()));
}

QString mergedReportFailedText(const QString& program) {
    return QStringLiteral("合并报表程序 %1 无法启动，请检查它是否是可执行的程序。")
        .arg(QDir::toNativeSeparators(program));
}

} // namespace q7rk
