#include "ProcessUsage.h"

#include <QFile>
#include <QSqlDatabase>
#include <cstdio>

#include <dirent.h>

namespace q7rk {

ProcessUsage ProcessUsage::now() {
    ProcessUsage u;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:")) u.rssKb = line.mid(6).trimmed().split(' ')[0].toDouble();
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (const dirent* e = readdir(fds))
            u.files += e->d_name[0] != '.';
        closedir(fds);
        --u.files; // the listing's own
    }
    u.connections = int(QSqlDatabase::connectionNames().size());
    return u;
}

UsageWatch::UsageWatch(QString part, int every, int warmUp, double rssBoundKbPerGroup)
    : m_part(std::move(part)), m_every(every), m_warmUp(warmUp), m_rssBound(rssBoundKbPerGroup) {}

void UsageWatch::note(int group) {
    m_seen << ProcessUsage::now();
    const ProcessUsage& u = m_seen.last();
    if (m_every > 0 && group % m_every == 0) {
        std::printf("%s, group %d: VmRSS %.0f kB, %d open files, %d SQL connections\n",
                    qPrintable(m_part), group, u.rssKb, u.files, u.connections);
        std::fflush(stdout);
    }
}

double UsageWatch::rssSlope() const {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (qsizetype i = m_warmUp - 1; i < m_seen.size(); ++i, ++n) {
        const double x = double(i), y = m_seen[i].rssKb;
        sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    return n < 2 ? 0 : (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

QString UsageWatch::growth(bool checkMemory) const {
    if (m_seen.size() < m_warmUp) return {};
    const ProcessUsage& base = m_seen[m_warmUp - 1];
    for (qsizetype i = m_warmUp; i < m_seen.size(); ++i)
        if (m_seen[i].files > base.files || m_seen[i].connections > base.connections)
            return QStringLiteral("%1, group %2: %3 open files and %4 SQL connections, %5 and %6 "
                                  "after group %7")
                .arg(m_part)
                .arg(i + 1)
                .arg(m_seen[i].files)
                .arg(m_seen[i].connections)
                .arg(base.files)
                .arg(base.connections)
                .arg(m_warmUp);
    const double slope = rssSlope();
    std::printf("%s: VmRSS grows %.1f kB a group after the warm-up (bound %.0f)\n",
                qPrintable(m_part), slope, m_rssBound);
    std::fflush(stdout);
#if defined(__SANITIZE_ADDRESS__)
    checkMemory = false; // freed memory waits in the sanitizer's quarantine: RSS says nothing
#endif
    if (checkMemory && slope > m_rssBound)
        return QStringLiteral("%1: resident memory grows %2 kB a group")
            .arg(m_part)
            .arg(slope, 0, 'f', 1);
    return {};
}

} // namespace q7rk
