#pragma once

#include <QCoreApplication>
#include <QString>

namespace q7rk {

// 合并报表: starts the separate report program "scoreout" from `folder` (the program's own
// folder unless a test says otherwise), without arguments, and returns at once; the
// program runs on by itself. Returns an empty text when it started, otherwise the
// operator's message naming the path that was tried.
QString startMergedReport(const QString& folder = QCoreApplication::applicationDirPath());

} // namespace q7rk
