#include "LinkTracing.h"

#include "execution/RunController.h"
#include "link/ActiveLink.h"
#include "link/InstrumentLink.h"
#include "link/LinkLog.h"
#include "link/LinkTrace.h"
#include "shell/ShellModel.h"

#include <QDateTime>
#include <QDir>

namespace q7rk {

LinkTracing::LinkTracing(InstrumentLink& serial, InstrumentLink& ethernet, const ActiveLink& active,
                         RunController& run, ShellModel& shell, QString program, QObject* parent)
    : QObject(parent), m_serial(serial), m_ethernet(ethernet), m_active(active), m_run(run),
      m_shell(shell), m_program(std::move(program)) {
    connect(&run, &RunController::runStarted, this, &LinkTracing::onRunStarted);
    connect(&run, &RunController::ticked, this, &LinkTracing::onTicked);
    connect(&run, &RunController::runEnded, this, &LinkTracing::onRunEnded);
    // The second result frame is the last the instrument hears of a run.
    connect(&run, &RunController::resultsSent, this, &LinkTracing::endRunTrace);
}

LinkTracing::~LinkTracing() = default;

bool LinkTracing::traceSession(const QString& path, QString* error) {
    std::shared_ptr<LinkTrace> trace = LinkTrace::create(path, m_program, error);
    if (!trace) return false;
    m_session = std::move(trace);
    qCInfo(linkLog).noquote() << "link trace of the session:" << m_session->path();
    attach();
    return true;
}

void LinkTracing::setNextRunTraced(bool traced) {
    m_nextRunArmed = traced;
    m_shell.setMenuChecked(Command::TraceNextRun, traced);
}

void LinkTracing::onRunStarted() {
    endRunTrace(); // a run whose results never went out (the link was lost)
    if (m_nextRunArmed) {
        setNextRunTraced(false);
        const QString folder = QDir::current().filePath(QStringLiteral("logs"));
        const QString path = QDir(folder).filePath(
            QStringLiteral("link-%1.trace")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
        QString error = QStringLiteral("无法创建文件夹");
        if (QDir().mkpath(folder)) m_runTrace = LinkTrace::create(path, m_program, &error);
        if (m_runTrace) {
            m_lastRunTrace = path;
            qCInfo(linkLog).noquote() << "link trace of this run:" << path;
            m_runTrace->note(QStringLiteral("link %1").arg(m_active.current().endpoint()));
        } else {
            qCWarning(linkLog).noquote() << "link trace" << path << "not written:" << error;
            m_shell.setStatusText(ShellModel::SavePanel,
                                  QStringLiteral("通讯记录无法写入：%1").arg(error));
        }
        attach();
    }
    note(QStringLiteral("run started"));
}

void LinkTracing::onTicked(int samplesTaken) {
    if (const auto trace = carried()) trace->sampleTaken(samplesTaken);
}

void LinkTracing::onRunEnded() {
    note(QStringLiteral("run ended: ") +
         QLatin1String(RunController::endReasonName(m_run.endReason())));
}

void LinkTracing::endRunTrace() {
    if (!m_runTrace) return;
    const QString stopped = m_runTrace->stopReason();
    m_runTrace.reset();
    attach();
    m_shell.setStatusText(ShellModel::SavePanel,
                          stopped.isEmpty()
                              ? QStringLiteral("通讯记录已写入 %1").arg(m_lastRunTrace)
                              : QStringLiteral("通讯记录未写完：%1").arg(stopped));
}

// The links carry one trace: the session's, which copies into the run's while one lasts.
std::shared_ptr<LinkTrace> LinkTracing::carried() const {
    return m_session ? m_session : m_runTrace;
}

void LinkTracing::attach() {
    if (m_session) m_session->copyInto(m_runTrace);
    m_serial.setTrace(carried());
    m_ethernet.setTrace(carried());
}

void LinkTracing::note(const QString& text) {
    if (const auto trace = carried()) trace->note(text);
}

} // namespace q7rk
