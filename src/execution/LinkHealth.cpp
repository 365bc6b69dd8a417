#include "execution/LinkHealth.h"

#include "execution/RunController.h"
#include "link/ActiveLink.h"
#include "link/InstrumentLink.h"
#include "shell/ShellModel.h"

#include <algorithm>

namespace q7rk {

LinkHealth::LinkHealth(ShellModel& shell, const ActiveLink& links, const RunController& run,
                       const Timing& timing, QObject* parent)
    : QObject(parent), m_shell(shell), m_links(links), m_run(run), m_serial(links.serialLink()),
      m_ethernet(links.ethernetLink()), m_windowMs(60LL * timing.tickMs) {
    m_clock.start();
    m_expiry.setSingleShot(true);
    connect(&m_expiry, &QTimer::timeout, this, &LinkHealth::refresh);
    for (InstrumentLink* link : {&m_serial, &m_ethernet}) {
        connect(link, &InstrumentLink::replyLost, this,
                [this, link] { note(*link, &Counts::lost); });
        connect(link, &InstrumentLink::replyRejected, this,
                [this, link] { note(*link, &Counts::rejected); });
    }
    connect(&run, &RunController::runStarted, this, &LinkHealth::runStarted);
    connect(&run, &RunController::runEnded, this, &LinkHealth::runEnded);
}

LinkHealth::Counts& LinkHealth::countsOf(const InstrumentLink& link) {
    return &link == &m_serial ? m_serialCounts : m_ethernetCounts;
}

const LinkHealth::Counts& LinkHealth::countsOf(const InstrumentLink& link) const {
    return &link == &m_serial ? m_serialCounts : m_ethernetCounts;
}

int LinkHealth::lost(const InstrumentLink& link) const {
    return int(countsOf(link).lost.size());
}

int LinkHealth::rejected(const InstrumentLink& link) const {
    return int(countsOf(link).rejected.size());
}

QString LinkHealth::statusText(const QString& linkName, int lost, int rejected) {
    if (lost == 0 && rejected == 0) return linkName + QStringLiteral("通讯正常");
    QStringList parts;
    if (lost > 0) parts << QStringLiteral("丢失%1次").arg(lost);
    if (rejected > 0) parts << QStringLiteral("错误%1次").arg(rejected);
    return linkName + QStringLiteral("通讯：近1分钟") + parts.join(QStringLiteral("、"));
}

void LinkHealth::note(InstrumentLink& link, QList<qint64> Counts::*list) {
    (countsOf(link).*list).append(m_clock.elapsed());
    refresh();
}

// Drops the reports older than the minute and sets the timer for the next to go.
void LinkHealth::forgetOld() {
    const qint64 now = m_clock.elapsed();
    qint64 next = -1;
    for (Counts* counts : {&m_serialCounts, &m_ethernetCounts}) {
        for (QList<qint64>* times : {&counts->lost, &counts->rejected}) {
            while (!times->isEmpty() && times->first() <= now - m_windowMs)
                times->removeFirst();
            if (!times->isEmpty())
                next = next < 0 ? times->first() : std::min(next, times->first());
        }
    }
    if (next < 0)
        m_expiry.stop();
    else
        m_expiry.start(int(std::max<qint64>(1, next + m_windowMs - now)));
}

void LinkHealth::refresh() {
    forgetOld();
    if (!m_run.isRunning()) return;
    const InstrumentLink& link = m_links.current();
    const int lostCount = lost(link);
    const int rejectedCount = rejected(link);
    // Nothing to say while the link's own text stands and nothing went wrong.
    if (lostCount == 0 && rejectedCount == 0 && m_shown.isEmpty()) return;
    // The link said something since (lost, closed): its word stands.
    if (!m_shown.isEmpty() && m_shell.statusText(ShellModel::LinkPanel) != m_shown) {
        m_shown.clear();
        return;
    }
    const QString text = statusText(link.statusName(), lostCount, rejectedCount);
    m_shell.setStatusText(ShellModel::LinkPanel, text);
    m_shown = lostCount == 0 && rejectedCount == 0 ? QString() : text;
}

// Panel 7 speaks of the link that carries the run from its first second, whatever stood there.
void LinkHealth::runStarted() {
    const InstrumentLink& link = m_links.current();
    m_shown.clear();
    if (link.isReady())
        m_shell.setStatusText(ShellModel::LinkPanel, statusText(link.statusName(), 0, 0));
    refresh();
}

void LinkHealth::runEnded() {
    if (m_shown.isEmpty()) return;
    const InstrumentLink& link = m_links.current();
    if (m_shell.statusText(ShellModel::LinkPanel) == m_shown && link.isReady())
        m_shell.setStatusText(ShellModel::LinkPanel, statusText(link.statusName(), 0, 0));
    m_shown.clear();
}

} // namespace q7rk
