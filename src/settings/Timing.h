#pragma once

namespace q7rk {

// Every interval the program waits on. The program uses these values; tests and the demo
// shrink them all by one factor and nothing else changes.
struct Timing {
    int pollMs = 250;              // poll of the instrument during a run
    int tickMs = 1000;             // sampling tick
    int replyTimeoutMs = 500;      // serial reply time-out
    int resultGapMs = 500;         // gap between the two result frames at the end of a run
    int searchPauseMs = 200;       // pause between two ports of the serial search
    int connectTimeoutMs = 5000;   // a TCP connection to the instrument must stand by then
    int handshakeTimeoutMs = 3000; // and the instrument must answer the handshake by then
    int silenceMs = 3000;          // no poll reply this long in an Ethernet run: it is gone

    // All intervals divided by `factor` (at least 1 ms each).
    Timing scaled(double factor) const {
        auto s = [factor](int ms) {
            const int v = int(ms / factor + 0.5);
            return v < 1 ? 1 : v;
        };
        return Timing{s(pollMs),        s(tickMs),           s(replyTimeoutMs),     s(resultGapMs),
                      s(searchPauseMs), s(connectTimeoutMs), s(handshakeTimeoutMs), s(silenceMs)};
    }
};

} // namespace q7rk
