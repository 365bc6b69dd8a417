#include "ResultsTool.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

namespace q7rk {

namespace {

// The tool's log lines carry their category and level, so they go into the program's log
// as the tool wrote them and never into what the operator is told.
const QString ToolLogPattern =
    QStringLiteral("%{if-category}%{category}.%{type}: %{endif}%{message}");

bool passOnLogLine(const QString& line) {
    static const QRegularExpression logLine(
        QStringLiteral(R"(^(q7rk\.\w+)\.(debug|info|warning|critical): (.*)$)"));
    const QRegularExpressionMatch m = logLine.match(line);
    if (!m.hasMatch()) return false;
    const QByteArray category = m.captured(1).toUtf8();
    // The tool ran under the same logging rules: what it wrote was meant to be written.
    const QMessageLogger logger(nullptr, 0, nullptr, category.constData());
    const QString level = m.captured(2), text = QString::fromLatin1(resultsTool::ProgramName) +
                                                QStringLiteral(": ") + m.captured(3);
    if (level == QLatin1String("debug"))
        logger.debug().noquote() << text;
    else if (level == QLatin1String("info"))
        logger.info().noquote() << text;
    else
        logger.warning().noquote() << text;
    return true;
}

} // namespace

namespace resultsTool {

QStringList candidates(const QString& applicationDir) {
    const QDir here(applicationDir);
    const QString name = QString::fromLatin1(ProgramName);
    return {here.absoluteFilePath(name),
            QDir::cleanPath(here.absoluteFilePath(QStringLiteral("../../tools/results/") + name))};
}

QString find(const QString& applicationDir) {
    for (const QString& path : candidates(applicationDir)) {
        const QFileInfo file(path);
        if (file.isFile() && file.isExecutable()) return file.absoluteFilePath();
    }
    return QStandardPaths::findExecutable(QString::fromLatin1(ProgramName));
}

QString missingText(const QString& applicationDir) {
    QStringList places;
    for (const QString& path : candidates(applicationDir))
        places << QDir::toNativeSeparators(QFileInfo(path).absolutePath());
    places << QStringLiteral("系统路径（PATH）");
    return QStringLiteral("找不到导入程序 %1，已在以下位置查找：\n%2\n请重新安装本程序。")
        .arg(QString::fromLatin1(ProgramName), places.join(QLatin1Char('\n')));
}

} // namespace resultsTool

ResultsToolRun::ResultsToolRun(QObject* parent) : QObject(parent) {
    m_grace = new QTimer(this);
    m_grace->setSingleShot(true);
    connect(m_grace, &QTimer::timeout, this, [this] {
        if (m_process) m_process->kill();
    });
}

// The window goes while the tool still writes: the batch it is in is rolled back, those
// before it stay whole.
ResultsToolRun::~ResultsToolRun() {
    if (!m_process) return;
    m_process->disconnect(this);
    m_process->kill();
}

void ResultsToolRun::start(const QString& program, const QStringList& arguments,
                           const QString& missingText) {
    m_result = Result{};
    m_killOnCancel = false;
    m_errorBuffer.clear();
    m_program = program;
    m_running = true;
    if (program.isEmpty()) {
        m_result.failure = missingText;
        finish();
        return;
    }
    m_process = new QProcess(this);
    connect(m_process, &QProcess::readyReadStandardError, this, &ResultsToolRun::readErrors);
    connect(m_process, &QProcess::finished, this, &ResultsToolRun::ended);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) failedToStart();
    });
    // A cancel that came before the process was up reaches it once it is.
    connect(m_process, &QProcess::started, this, [this] {
        if (m_result.cancelled) m_killOnCancel ? m_process->kill() : m_process->terminate();
    });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_MESSAGE_PATTERN"), ToolLogPattern);
    m_process->setProcessEnvironment(environment);
    m_process->start(program, arguments);
}

void ResultsToolRun::cancel() {
    if (!m_running || m_result.cancelled) return;
    m_result.cancelled = true;
    if (m_process && m_process->state() == QProcess::Running) m_process->terminate();
    m_grace->start(m_graceMs);
}

void ResultsToolRun::cancelNow() {
    if (!m_running) return;
    m_result.cancelled = m_killOnCancel = true;
    if (m_process && m_process->state() == QProcess::Running) m_process->kill();
}

void ResultsToolRun::readErrors() {
    m_errorBuffer += m_process->readAllStandardError();
    qsizetype end = 0;
    while ((end = m_errorBuffer.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_errorBuffer.left(end)).trimmed();
        m_errorBuffer.remove(0, end + 1);
        const QStringList parts = line.split(QLatin1Char(' '));
        bool doneOk = false, totalOk = false;
        if (parts.size() == 3 && parts[0] == QLatin1String("progress")) {
            const int done = parts[1].toInt(&doneOk), total = parts[2].toInt(&totalOk);
            if (doneOk && totalOk) {
                m_result.done = done;
                m_result.total = total;
                emit progress(done, total);
                continue;
            }
        }
        if (!line.isEmpty() && !passOnLogLine(line)) m_result.messages += line + QLatin1Char('\n');
    }
}

void ResultsToolRun::ended(int exitCode, QProcess::ExitStatus status) {
    readErrors();
    if (!m_errorBuffer.trimmed().isEmpty())
        m_result.messages += QString::fromUtf8(m_errorBuffer).trimmed();
    m_result.output = m_process->readAllStandardOutput();
    m_result.exitCode = exitCode;
    m_result.crashed = status == QProcess::CrashExit;
    if (m_result.crashed && !m_result.cancelled)
        m_result.failure = QStringLiteral("导入程序 %1 意外终止（崩溃）。")
                               .arg(QDir::toNativeSeparators(m_program));
    finish();
}

void ResultsToolRun::failedToStart() {
    m_result.failure = QStringLiteral("导入程序 %1 无法启动：%2")
                           .arg(QDir::toNativeSeparators(m_program), m_process->errorString());
    finish();
}

void ResultsToolRun::finish() {
    m_grace->stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
    m_running = false;
    emit finished();
}

} // namespace q7rk
