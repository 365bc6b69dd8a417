#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace q7rk::lastChance {

// The result frame of the run in progress, kept ready on the descriptor of the link that
// carries it, for the ends that unwind nothing: a library calling exit() (the window system's
// connection lost), or a station destroyed in the middle of a run. The instrument drives high
// voltage into the samples, so it hears the end of the test even then. One slot per process;
// the writes are plain system calls, safe in an exit handler.

// Keeps `frame` ready for `descriptor` (-1: nothing is armed) and registers the exit handler
// the first time. The file behind the descriptor is remembered: a descriptor closed and
// reused for something else meanwhile is never written to.
void arm(qintptr descriptor, const QByteArray& frame, int gapMs);
// The verdicts as they stand now (a channel judged, a stop).
void update(const QByteArray& frame);
// The run ended the ordinary way, or its link went away.
void disarm();
// Writes the frame twice, gapMs apart, on the descriptor, then disarms. Nothing when nothing
// is armed. Returns how many frames went out.
int fire();

} // namespace q7rk::lastChance
