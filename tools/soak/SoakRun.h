#pragma once

#include "ProcessUsage.h"
#include "settings/Timing.h"
#include "shell/ScriptedPrompter.h"
#include "station/Station.h"

#include <QObject>
#include <QTimer>

namespace q7rk {

// Weeks of a station's work in one process: TV groups of channels 1-3 one after another on
// one station, over an instrument at tcp:HOST:PORT, each saved (Yes) into the result files and
// each piece uploaded (Yes) to the plant, with test numbers of their own per group. The usage
// watch notes memory, open files and database connections after every group.
class SoakRun : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString settings; // used as it is: the delay times it holds set a group's length
        QString link;     // tcp:HOST:PORT
        int groups = 200;
        Timing timing;
        QString prefix = QStringLiteral("E"); // test numbers PREFIX<group><A|B|C>
        int every = 20;                       // figures printed every so many groups
        int warmUp = 10;                      // groups before the figures are held to anything
        // The kept plant connection's SQLite page cache fills to its 2 MB as the plant
        // database grows, 12-18 kB a group of a short curve in a short run (RSS moves by whole
        // pages), and then stays: flat from about group 160 in a 240-group run. More than
        // twice that is more than a cache.
        double rssBoundKbPerGroup = 32;
    };

    explicit SoakRun(const Options& options, QObject* parent = nullptr);

    // Connects, then runs the groups; finished follows.
    void begin();
    const Options& options() const { return m_options; }
    Station& station() { return m_station; }
    const UsageWatch& watch() const { return m_watch; }
    int groupsDone() const { return m_watch.groups(); }
    int piecesUploaded() const { return m_uploaded; }
    int piecesQueued() const { return m_queued; }

signals:
    // Empty when every group ran, was saved and had its pieces stored or queued; else what
    // went wrong first. Growth is not judged here (see watch()).
    void finished(const QString& problem);

private:
    void nextGroup();
    void groupOver();
    void finish(const QString& problem);

    Options m_options;
    ScriptedPrompter m_prompter;
    Station m_station;
    UsageWatch m_watch;
    QTimer m_linkDeadline;
    int m_group = 0;
    bool m_done = false;
    int m_uploaded = 0;
    int m_queued = 0;
};

} // namespace q7rk
