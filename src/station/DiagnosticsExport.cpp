#include "DiagnosticsExport.h"

#include "settings/ProgramTitle.h"
#include "shell/Prompter.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

namespace q7rk {

namespace {

const QString Title = QStringLiteral("导出诊断信息");

} // namespace

DiagnosticsExport::DiagnosticsExport(Prompter& prompter, std::function<DiagnosticsInput()> input,
                                     QObject* parent)
    : QObject(parent), m_prompter(prompter), m_input(std::move(input)) {}

DiagnosticsExport::~DiagnosticsExport() {
    if (m_thread) m_thread->wait();
}

QString DiagnosticsExport::proposedPath(const QDateTime& when) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
    return QDir(folder).filePath(diagnosticsFileName(when));
}

void DiagnosticsExport::start() {
    if (running()) {
        m_prompter.notify(Title, QStringLiteral("诊断信息正在导出，请稍候。"));
        return;
    }
    const QString path = m_prompter.saveFileName(Title, proposedPath(QDateTime::currentDateTime()),
                                                 QStringLiteral("ZIP压缩文件 (*.zip)"));
    if (path.isEmpty()) return;
    m_path = QFileInfo(path).absoluteFilePath();
    const DiagnosticsInput input = m_input();
    m_thread.reset(QThread::create([this, input] { m_outcome = writeDiagnostics(input, m_path); }));
    connect(m_thread.get(), &QThread::finished, this, &DiagnosticsExport::ended);
    m_thread->start();
}

void DiagnosticsExport::ended() {
    m_thread->wait(); // finished comes just before the thread's very end
    m_thread.reset();
    const DiagnosticsOutcome outcome = m_outcome;
    if (outcome.ok) {
        QString text =
            QStringLiteral("诊断信息已写入：\n%1\n\n请把这个文件发给技术支持。").arg(m_path);
        if (!outcome.notes.isEmpty())
            text += QStringLiteral("\n\n有些内容未能收集（文件中的 summary.txt 列出了原因）：\n") +
                    outcome.notes.join(QLatin1Char('\n'));
        m_prompter.inform(Title, text);
    } else {
        m_prompter.inform(Title, QStringLiteral("诊断信息未能导出。\n") + outcome.error);
    }
}

} // namespace q7rk
