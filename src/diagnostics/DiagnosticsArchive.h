#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace q7rk {

// What goes into the archive for support, and from where.
struct DiagnosticsInput {
    QString dataFolder;   // the working folder: result files, the outbox, logs/
    QString settingsFile; // this user's settings
    QString queueFile;    // the plant outbox; empty: plant-queue.db of the data folder
    QString program;      // the program that writes the archive ("q7rk", "q7rk-results")
    QDateTime now;        // invalid: the clock's
    int logDays = 7;      // today's log files and those of the days before
    int traceCount = 3;   // the newest link traces, at most
    qint64 traceBytes = 20 * 1024 * 1024; // of all traces together
};

struct DiagnosticsOutcome {
    bool ok = false;
    QString error;       // why no archive was written: the file and the cause
    QStringList entries; // the files in the archive
    QStringList notes;   // what could not be collected, and why (the archive says it too)
    qint64 bytes = 0;    // the archive's size
};

// One zip archive with the recent logs, the settings and ODBC data sources without their
// passwords, the versions, the result files' counts, the plant outbox, the newest link traces
// and a summary. Nothing in the data folder is written, and an unreadable part is noted, never
// fatal; the archive takes its name only when whole. Runs on any thread.
DiagnosticsOutcome writeDiagnostics(const DiagnosticsInput& input, const QString& archivePath);

// q7rk-诊断-YYYYMMDD-HHmm.zip
QString diagnosticsFileName(const QDateTime& when);

} // namespace q7rk
