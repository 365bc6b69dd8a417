#pragma once

#include <QLockFile>
#include <QString>

namespace q7rk {

// One program per working folder: the window and q7rk-run each hold a lock file in theirs for
// as long as they run, so two of them never both talk to the instrument or overwrite each
// other's settings and calibration factors. A lock whose process is gone (a crash, a kill,
// a power cut) is taken over; a live holder never is, however long it runs. The read-only
// tools take none.
class WorkingFolderLock {
public:
    static constexpr const char* FileName = "q7rk.lock";
    // The exit code of a program refused its working folder, the same for all of them.
    static constexpr int Refused = 7;

    explicit WorkingFolderLock(const QString& folder);
    WorkingFolderLock(const WorkingFolderLock&) = delete;
    WorkingFolderLock& operator=(const WorkingFolderLock&) = delete;

    // Empty once held; else a Chinese message naming the folder and, when it can be read,
    // the process that holds it.
    QString take();

private:
    QString m_folder;
    QLockFile m_lock;
};

} // namespace q7rk
