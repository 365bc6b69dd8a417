#pragma once

#include <QObject>

namespace q7rk {

// What a run tells about each channel's test as it happens. The sampling tick, the evaluation
// and the run controller emit; the panel, the charts and the status bar listen (the station
// wires them), so execution never reaches into a view. Every signal is delivered at once, in
// the order the run produced it.
class RunEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // Channel k's test begins with the run (its start texts).
    void channelStarted(int channel);
    // Sample n of channel k is in the sample store.
    void sampleTaken(int channel, int n);
    // The channel's peak moved to the newest sample.
    void peakMoved(int channel);
    // A spark (1..3) was seen at sample n.
    void sparkSeen(int channel, int n, int sparkNumber);
    // The evaluation looks at channel k with n samples taken (the curves scroll when full).
    void channelWatched(int channel, int n);
    // TV: the voltage passed Vr; the rise time is sample n - 1.
    void pointAReached(int channel, int n);
    // Channel k's test was judged at sample n: its verdict and results are in its test.
    void judged(int channel, int n);
    // The run ended before channel k's test was judged.
    void interrupted(int channel);
};

} // namespace q7rk
