#include "WorkingFolderLock.h"

#include <QDir>

namespace q7rk {

WorkingFolderLock::WorkingFolderLock(const QString& folder)
    : m_folder(QDir::toNativeSeparators(QDir(folder).absolutePath())),
      m_lock(QDir(folder).absoluteFilePath(QString::fromLatin1(FileName))) {
    // Staleness by age would hand the folder to a second program during a long run; a lock
    // is stale only when the process it names is gone.
    m_lock.setStaleLockTime(0);
}

QString WorkingFolderLock::take() {
    if (m_lock.isLocked() || m_lock.tryLock(0)) return {};
    switch (m_lock.error()) {
    case QLockFile::LockFailedError: {
        qint64 pid = 0;
        QString host, program;
        if (m_lock.getLockInfo(&pid, &host, &program))
            return QStringLiteral("工作文件夹 %1 已被另一个程序使用（进程 %2）")
                .arg(m_folder)
                .arg(pid);
        return QStringLiteral("工作文件夹 %1 已被另一个程序使用").arg(m_folder);
    }
    case QLockFile::PermissionError:
        return QStringLiteral("无法在工作文件夹 %1 中建立锁文件 %2：没有写入权限")
            .arg(m_folder, QString::fromLatin1(FileName));
    case QLockFile::NoError:
    case QLockFile::UnknownError:
        break;
    }
    return QStringLiteral("无法在工作文件夹 %1 中建立锁文件 %2")
        .arg(m_folder, QString::fromLatin1(FileName));
}

} // namespace q7rk
