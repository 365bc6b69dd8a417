#include "execution/RemainingTime.h"

#include "kinds/TestKindDescription.h"

#include <algorithm>

namespace q7rk {

namespace {

QString secondsText(int seconds) {
    if (seconds < 60) return QStringLiteral("剩余%1秒").arg(seconds);
    return QStringLiteral("剩余%1分%2秒")
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString remainingTimeText(int k, const ChannelModel& channels, const ChannelTest& run) {
    if (k < channels.firstChannel || k > channels.lastChannel || run.stopped) return {};
    const TestKindDescription& kind = description(run.kind);
    // TV marks point A in firstSparkSeen, the electrolyte test its first spark in sparkSeen.
    bool endKnown = true;
    int deadline = testLength(run);
    switch (kind.kind) {
    case TestKind::Tv:
        endKnown = run.firstSparkSeen;
        break;
    case TestKind::Leakage:
        break;
    case TestKind::Electrolyte:
        // Holding at the set voltage without a spark, it ends after the flash delay.
        endKnown = run.sparkSeen || run.heldSince > 0;
        if (!run.sparkSeen) deadline = run.deadline;
        break;
    }
    if (!endKnown) return QString::fromUtf8(kind.waitingText);
    // The test ends at the tick that takes the index past the deadline.
    return secondsText(std::max(0, deadline + 1 - channels.sampleIndex));
}

} // namespace q7rk
