#pragma once

#include <QCoreApplication>
#include <QString>

namespace q7rk {

// 合并报表: the separate report program "scoreout". It lives in the program's own folder
// unless the settings name another place (key "hbbbProgram" of section "canshu").

// The program to start: `configured` when the settings name one, else "scoreout" in `folder`.
QString mergedReportProgram(const QString& configured,
                            const QString& folder = QCoreApplication::applicationDirPath());

// Starts `program` without arguments, in its own folder, and returns at once; the program
// runs on by itself.
enum class MergedReportStart { Started, Missing, NotStartable };
MergedReportStart startMergedReport(const QString& program);

// What the operator is told when the program is not there: where to put it and that its
// place can be named instead.
QString mergedReportMissingText(const QString& program);
QString mergedReportFailedText(const QString& program); // there, but it would not start

} // namespace q7rk
