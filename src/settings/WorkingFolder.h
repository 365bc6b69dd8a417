#pragma once

#include <QString>
#include <QStringList>

// The working folder holds the result files (lb53A100.db, …) and the plant upload queue. Run
// from a build tree, the programs work where they were started, as always; installed, they
// share one data folder per user, so a start from the desktop finds the files of the last one.
namespace q7rk::workingFolder {

// An installed program lives in a folder named bin (/usr/bin, /usr/local/bin, any install
// prefix's bin); a build tree keeps its programs in src/app and tools/*, never in a bin.
bool runsInstalled(const QString& applicationDirPath);

// The installed programs' data folder: the window's application data folder
// (~/.local/share/<short program title>), the same for the tools whatever their names.
QString installedDataFolder();

// The folder to work in: the one asked for (--workdir), else the data folder when installed,
// else empty: stay where the program was started.
QString choose(const QString& requested, bool installed, const QString& dataFolder);

// choose() for this program, as an absolute path; the current folder when it says stay.
QString forThisProgram(const QString& requested);

// Creates the folder where missing and makes it the current one; a Chinese message when
// either fails, else empty.
QString enter(const QString& folder);

// On the first start in a data folder that holds none of `names`, copies those found in
// `earlier` into it: the originals stay where they were. Returns the names copied and adds a
// line to `errors` for each one that could not be.
QStringList adoptEarlierFiles(const QString& earlier, const QString& folder,
                              const QStringList& names, QStringList* errors);

} // namespace q7rk::workingFolder
