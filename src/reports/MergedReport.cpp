#include "reports/MergedReport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace q7rk {

QString startMergedReport(const QString& folder) {
    const QString path = QDir(folder).absoluteFilePath(QStringLiteral("scoreout"));
    const QFileInfo program(path);
    if (!program.isFile())
        return QStringLiteral("找不到合并报表程序：") + QDir::toNativeSeparators(path);
    if (!program.isExecutable() || !QProcess::startDetached(path, {}, folder))
        return QStringLiteral("合并报表程序无法启动：") + QDir::toNativeSeparators(path);
    return {};
}

} // namespace q7rk
