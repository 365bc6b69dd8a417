#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

class QTimer;

namespace q7rk {

// The program that reads the old program's files, q7rk-results. It runs as a process of its
// own: a damaged Access file can take it down, never the window.
namespace resultsTool {

inline constexpr const char* ProgramName = "q7rk-results";

// Where it is looked for, in order: beside the running program (installed, both live in one
// bin), then in a build tree (the window is src/app/q7rk, the tool tools/results/q7rk-results).
// The search path comes after these.
QStringList candidates(const QString& applicationDir);
// The first candidate that is an executable file, else the one on the search path; empty when
// there is none.
QString find(const QString& applicationDir);
// "找不到…": the places looked in, for the operator.
QString missingText(const QString& applicationDir);

} // namespace resultsTool

// One run of the tool: its standard output kept for the report it prints at the end, its
// "progress DONE TOTAL" lines passed on as they come. A cancel asks it to stop (SIGTERM: it
// finishes the batch it is writing and reports); one that does not end within the grace time
// is killed, which its transactions survive.
class ResultsToolRun : public QObject {
    Q_OBJECT
public:
    struct Result {
        int exitCode = -1;
        QByteArray output;      // standard output
        QString messages;       // standard error without the progress lines
        QString failure;        // Chinese: it could not start, or ended without a report
        bool crashed = false;   // ended by a signal (also one of ours after the grace time)
        bool cancelled = false; // cancel() was called
        // The last progress line, for a run that ended without its report.
        int done = 0;
        int total = 0;
    };

    explicit ResultsToolRun(QObject* parent = nullptr);
    ~ResultsToolRun() override;

    // Starts `program` with `arguments`; an empty `program` fails at once (finished is emitted
    // before this returns) with missingText.
    void start(const QString& program, const QStringList& arguments,
               const QString& missingText = QString());
    void cancel();
    // A cancel of a run that writes nothing: killed at once.
    void cancelNow();
    bool isRunning() const { return m_running; }
    const Result& result() const { return m_result; }
    // How long a cancelled run may take for its batch before it is killed.
    void setGraceTime(int ms) { m_graceMs = ms; }

signals:
    void progress(int done, int total);
    void finished();

private:
    void readErrors();
    void ended(int exitCode, QProcess::ExitStatus status);
    void failedToStart();
    void finish();

    QProcess* m_process = nullptr;
    QTimer* m_grace = nullptr;
    QByteArray m_errorBuffer;
    QString m_program;
    Result m_result;
    bool m_running = false;
    bool m_killOnCancel = false;
    int m_graceMs = 30000;
};

} // namespace q7rk
