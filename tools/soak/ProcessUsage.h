#pragma once

#include <QList>
#include <QString>

namespace q7rk {

// What this process holds now: resident memory (VmRSS), open file descriptors and open Qt
// SQL connections.
struct ProcessUsage {
    double rssKb = 0;
    int files = 0;
    int connections = 0;

    static ProcessUsage now();
};

// The usage after every group of a long run, printed every `every` groups. Caches, pools and
// the first result files settle during the warm-up; after it open files and connections may
// not grow at all, and resident memory only by its least-squares slope up to a bound.
class UsageWatch {
public:
    UsageWatch(QString part, int every, int warmUp, double rssBoundKbPerGroup);

    void note(int group);
    int groups() const { return int(m_seen.size()); }
    // Kilobytes a group over the groups from the end of the warm-up on; 0 before there are
    // two of them.
    double rssSlope() const;
    // Empty when nothing grew; else what did, and by how much.
    QString growth(bool checkMemory = true) const;

private:
    QString m_part;
    int m_every;
    int m_warmUp;
    double m_rssBound;
    QList<ProcessUsage> m_seen;
};

} // namespace q7rk
