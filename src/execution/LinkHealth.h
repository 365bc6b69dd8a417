#pragma once

#include "settings/Timing.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

namespace q7rk {

class InstrumentLink;
class ActiveLink;
class RunController;
class ShellModel;

// How the link that carries a run is doing: the replies each link lost and rejected over
// the last minute (of test time: 60 sampling ticks), from the links' own reports. From the
// start of a run panel 7 speaks of that link, whatever stood there before; when replies
// were lost or rejected it says so ("以太网通讯：近1分钟丢失3次、错误1次") instead of a
// 通讯正常 that only meant the connection stands; once the minute is clean again, and at the
// end of the run, it goes back to 通讯正常 unless the link has said something else since.
class LinkHealth : public QObject {
    Q_OBJECT
public:
    LinkHealth(ShellModel& shell, const ActiveLink& links, const RunController& run,
               const Timing& timing, QObject* parent = nullptr);

    int lost(const InstrumentLink& link) const;
    int rejected(const InstrumentLink& link) const;

    // "通讯正常", or what went wrong within the minute, after the link's name.
    static QString statusText(const QString& linkName, int lost, int rejected);

private:
    struct Counts {
        QList<qint64> lost; // ms on m_clock, oldest first
        QList<qint64> rejected;
    };
    Counts& countsOf(const InstrumentLink& link);
    const Counts& countsOf(const InstrumentLink& link) const;
    void note(InstrumentLink& link, QList<qint64> Counts::*list);
    void forgetOld();
    void refresh();
    void runStarted();
    void runEnded();

    ShellModel& m_shell;
    const ActiveLink& m_links;
    const RunController& m_run;
    InstrumentLink& m_serial;
    InstrumentLink& m_ethernet;
    qint64 m_windowMs;
    QElapsedTimer m_clock;
    QTimer m_expiry; // fires when the oldest report leaves the minute
    Counts m_serialCounts;
    Counts m_ethernetCounts;
    QString m_shown; // the text this put into panel 7, while it stands there
};

} // namespace q7rk
