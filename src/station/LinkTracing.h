#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace q7rk {

class ActiveLink;
class InstrumentLink;
class LinkTrace;
class RunController;
class ShellModel;

// Who writes a record of the link, and when. A trace asked for at the start (--trace FILE)
// follows both links for the whole session. 记录下次测试的通讯 traces the next run alone: the
// trace begins with the run and ends once its result frames are out, in
// logs/link-YYYYMMDD-HHmmss.trace of the working folder; the check box clears itself then and
// the status bar says where the file is. Each trace also gets the run's samples, start and end.
class LinkTracing : public QObject {
    Q_OBJECT
public:
    LinkTracing(InstrumentLink& serial, InstrumentLink& ethernet, const ActiveLink& active,
                RunController& run, ShellModel& shell, QString program, QObject* parent = nullptr);
    ~LinkTracing() override;

    // The whole session into `path`; false with the reason when the file cannot be written.
    bool traceSession(const QString& path, QString* error);
    // The check box: the next run is traced (or, unticked, not).
    void setNextRunTraced(bool traced);
    bool nextRunTraced() const { return m_nextRunArmed; }
    // The file of the last run traced; empty before one.
    const QString& lastRunTrace() const { return m_lastRunTrace; }

private:
    void onRunStarted();
    void onTicked(int samplesTaken);
    void onRunEnded();
    void endRunTrace();
    std::shared_ptr<LinkTrace> carried() const;
    void attach();
    void note(const QString& text);

    InstrumentLink& m_serial;
    InstrumentLink& m_ethernet;
    const ActiveLink& m_active;
    RunController& m_run;
    ShellModel& m_shell;
    QString m_program;
    std::shared_ptr<LinkTrace> m_session;
    std::shared_ptr<LinkTrace> m_runTrace;
    bool m_nextRunArmed = false;
    QString m_lastRunTrace;
};

} // namespace q7rk
