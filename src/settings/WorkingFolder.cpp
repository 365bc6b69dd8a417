#include "WorkingFolder.h"

#include "ProgramTitle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace q7rk::workingFolder {

bool runsInstalled(const QString& applicationDirPath) {
    return QFileInfo(QDir::cleanPath(applicationDirPath)).fileName() == QLatin1String("bin");
}

QString installedDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QLatin1Char('/') + programTitle::shortName();
}

QString choose(const QString& requested, bool installed, const QString& dataFolder) {
    if (!requested.isEmpty()) return requested;
    return installed ? dataFolder : QString();
}

QString forThisProgram(const QString& requested) {
    const QString folder = choose(requested, runsInstalled(QCoreApplication::applicationDirPath()),
                                  installedDataFolder());
    return folder.isEmpty() ? QDir::currentPath() : QDir(folder).absolutePath();
}

QString enter(const QString& folder) {
    if (!QDir().mkpath(folder))
        return QStringLiteral("无法建立工作文件夹“%1”").arg(QDir::toNativeSeparators(folder));
    if (!QDir::setCurrent(folder))
        return QStringLiteral("无法进入工作文件夹“%1”").arg(QDir::toNativeSeparators(folder));
    return {};
}

QStringList adoptEarlierFiles(const QString& earlier, const QString& folder,
                              const QStringList& names, QStringList* errors) {
    const QDir from(earlier);
    const QDir to(folder);
    if (from.absolutePath() == to.absolutePath()) return {};
    for (const QString& name : names)
        if (to.exists(name)) return {};
    QStringList copied;
    for (const QString& name : names) {
        if (!from.exists(name)) continue;
        if (QFile::copy(from.filePath(name), to.filePath(name)))
            copied.append(name);
        else if (errors)
            errors->append(QStringLiteral("无法把“%1”复制到“%2”")
                               .arg(QDir::toNativeSeparators(from.filePath(name)),
                                    QDir::toNativeSeparators(folder)));
    }
    return copied;
}

} // namespace q7rk::workingFolder
