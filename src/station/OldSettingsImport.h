#pragma once

#include "settings/RegistryImport.h"
#include "station/ResultsTool.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace q7rk {

class SettingsStore;

// What taking the old program's settings from a regedit export would write: the tool's dry
// run against the station's settings file.
struct OldSettingsPreview {
    QString file;
    QString encoding;
    QStringList applications; // every application the export holds settings of
    QString app;              // the old program's, when the export holds it; else empty
    int written = 0;
    QStringList unknownKeys;
    QStringList decimalCommas;
    // The file could not be read, or the tool could not run: Chinese, naming the cause.
    QString failure;

    bool importable() const { return failure.isEmpty() && !app.isEmpty(); }
};

// The tool's one line of JSON; nullopt when it is none.
std::optional<OldSettingsPreview> parseOldSettingsPreview(const QByteArray& output);
// What would be written, or why nothing can be.
QString oldSettingsPreviewText(const OldSettingsPreview& preview);

// The import itself, into `store` (the station's own, which keeps its values in memory and
// writes them all back on its next write: the tool writing the file behind its back would be
// undone by that write). Empty error when the settings were written.
struct OldSettingsOutcome {
    SettingsImport done;
    QString error;
};
OldSettingsOutcome importOldSettingsFile(const QString& path, SettingsStore& store);
QString oldSettingsImportedText(const OldSettingsOutcome& outcome);

// 导入旧版设置, its first step: the tool's dry run in a process of its own, so what the
// operator is shown is what the command line reports for the same file.
class OldSettingsImport : public QObject {
    Q_OBJECT
public:
    explicit OldSettingsImport(QObject* parent = nullptr);

    // The tool to run; without one it is looked for (resultsTool::find) at every start.
    void setTool(const QString& path) { m_tool = path; }
    bool isRunning() const { return m_run.isRunning(); }
    // The dry run of `regFile` against the settings file `settingsFile`; false when one is
    // still going.
    bool preview(const QString& regFile, const QString& settingsFile);
    // Once previewed has been emitted.
    const OldSettingsPreview& lastPreview() const { return m_preview; }

signals:
    void previewed();

private:
    void ended();

    QString m_tool;
    QString m_file;
    ResultsToolRun m_run;
    OldSettingsPreview m_preview;
};

} // namespace q7rk
