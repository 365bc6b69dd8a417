#include "execution/RemainingTime.h"

#include "execution/Evaluator.h"
#include "params/PanelModel.h"

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

QString remainingTimeText(int k, const ChannelModel& channels, const ChannelRunState& run,
                          const PanelModel& panel) {
    if (k < channels.firstChannel || k > channels.lastChannel || channels.channelStopped[k])
        return {};
    const auto seconds = [&panel, k](Box box) { return wholeSeconds(panel.number(k, box)); };
    int deadline = 0;
    switch (channels.kind(k)) {
    case TestKind::Tv:
        if (!run.firstSparkSeen) return QStringLiteral("等待A点");
        deadline = seconds(Box::RiseTime) + seconds(Box::DelayTime);
        break;
    case TestKind::Leakage:
        deadline = seconds(Box::LeakageTestTime);
        break;
    case TestKind::Electrolyte:
        if (!run.sparkSeen) return QStringLiteral("等待火花");
        deadline = seconds(Box::SparkTime1) + seconds(Box::SparkDelay);
        break;
    }
    // The test ends at the tick that takes the index past the deadline.
    return secondsText(std::max(0, deadline + 1 - channels.sampleIndex));
}

} // namespace q7rk
