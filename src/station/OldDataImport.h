#pragma once

#include "station/ResultsTool.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace q7rk {

// What the tool did with one Access file of the old program.
struct OldImportFile {
    struct Skipped {
        QString test;
        bool afterBoiling = false;
        QString reason;
    };
    QString file;
    QString format;   // "Jet3", "Jet4"
    QString encoding; // the texts were read as this
    bool encodingRetried = false;
    QString kind; // "tv", "leakage", "electrolyte"; empty when the file was not recognised
    int imported = 0;
    QList<Skipped> skipped;
    QStringList withoutCurve; // parameter rows without a curve table
    QStringList orphanCurves; // curve tables without a parameter row
    QStringList otherTables;
    QStringList anomalies;
    QString error; // why the file could not be read; empty when it was
    QString note;  // said besides: nothing new in it, or not reached before a cancel
};

// The report of one import or dry run.
struct OldImportReport {
    bool dryRun = false;
    bool cancelled = false;
    int imported = 0; // in a dry run: what would be
    QList<OldImportFile> files;
    // The tool could not run, or ended without its report: Chinese, naming the cause.
    QString failure;
    // The last progress the tool told, for a run that ended without its report.
    int done = 0;
    int total = 0;

    bool anyFileFailed() const;
};

// The tool's last line on standard output (one JSON object); nullopt when it is none.
std::optional<OldImportReport> parseOldImportReport(const QByteArray& output);
// The report as the operator reads it: per file what was (or would be) imported, skipped and
// why, parameter rows without a curve, curves without a parameter row, and errors.
QString oldImportReportText(const OldImportReport& report);

// 导入旧版数据: the old program's Access files into the working folder's result files, by the
// tool in a process of its own. A dry run first says what would be imported; the import
// reports progress and can be cancelled, which stores only whole tests. One run at a time.
class OldDataImport : public QObject {
    Q_OBJECT
public:
    // `workingFolder` is asked at every start: the folder whose result files take the tests.
    explicit OldDataImport(std::function<QString()> workingFolder, QObject* parent = nullptr);

    // The tool to run; without one it is looked for (resultsTool::find) at every start.
    void setTool(const QString& path) { m_tool = path; }
    bool isRunning() const { return m_run.isRunning(); }
    // False when a run is still going (nothing is started).
    bool dryRun(const QStringList& files) { return start(files, true); }
    bool import(const QStringList& files) { return start(files, false); }
    // The import ends the batch it writes and reports; a dry run, which writes nothing, ends
    // at once.
    void cancel() { m_dryRun ? m_run.cancelNow() : m_run.cancel(); }
    // The report of the last run, once finished has been emitted.
    const OldImportReport& report() const { return m_report; }
    ResultsToolRun& process() { return m_run; }

signals:
    void progress(int done, int total);
    void finished();

private:
    bool start(const QStringList& files, bool dryRun);
    void ended();

    std::function<QString()> m_workingFolder;
    QString m_tool;
    ResultsToolRun m_run;
    OldImportReport m_report;
    bool m_dryRun = false;
};

} // namespace q7rk
