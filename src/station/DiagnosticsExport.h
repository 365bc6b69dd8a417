#pragma once

#include "diagnostics/DiagnosticsArchive.h"

#include <QObject>
#include <functional>
#include <memory>

class QThread;

namespace q7rk {

class Prompter;

// 帮助 → 导出诊断信息: the file asked for with a save dialog (in the documents folder, named by
// the time), the archive written on a thread of its own so that a run's ticks never wait for
// it, then the operator told where it went or why it did not. One at a time.
class DiagnosticsExport : public QObject {
    Q_OBJECT
public:
    // `input` is asked for at each export: the folders and files of that moment.
    DiagnosticsExport(Prompter& prompter, std::function<DiagnosticsInput()> input,
                      QObject* parent = nullptr);
    // An archive being written is finished first.
    ~DiagnosticsExport() override;

    void start();
    bool running() const { return m_thread != nullptr; }

    // Where the save dialog starts: the user's documents folder, else the home folder.
    static QString proposedPath(const QDateTime& when);

private:
    void ended();

    Prompter& m_prompter;
    std::function<DiagnosticsInput()> m_input;
    std::unique_ptr<QThread> m_thread;
    QString m_path;
    DiagnosticsOutcome m_outcome; // written by the thread, read once it has ended
};

} // namespace q7rk
