#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <utility>

namespace q7rk {

class SettingsStore;

// The settings the old program kept in the registry, as a regedit export holds them: per
// application under "VB and VBA Program Settings", its sections' string values in file order.
struct RegistryExport {
    QString encoding; // what the file was read as: "UTF-16LE", "UTF-8" or "GB18030"
    using Values = QList<std::pair<QString, QString>>;
    QMap<QString, QMap<QString, Values>> applications; // application -> section -> values
    QString error; // Chinese, naming the cause; empty when the file was read
};

// A "Windows Registry Editor Version 5.00" export (UTF-16LE with its byte-order mark, or
// UTF-8) or an older "REGEDIT4" one (in the Chinese code page). Names and values lose their
// escapes (\\ and \"); values that are not strings (dword, hex) are passed by, as the old
// program wrote none.
RegistryExport readRegistryExport(const QByteArray& bytes);

// What taking an application's settings into the store did.
struct SettingsImport {
    int written = 0;
    QStringList unknownKeys; // "canshu/Key": not one of this program's keys (written all the same)
    QStringList decimalCommas; // "canshu/Key": a number written with a decimal comma, read as 1.5
};

// Sections canshu and topic of `application` into the store (keys compared without regard to
// case, as it reads them), or only counted with `dryRun`.
SettingsImport importSettings(const RegistryExport& from, const QString& application,
                              SettingsStore& store, bool dryRun);

} // namespace q7rk
