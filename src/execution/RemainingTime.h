#pragma once

#include "kinds/ChannelTest.h"
#include "settings/ChannelModel.h"

#include <QString>

namespace q7rk {

// What is left of channel k's test, as the operator reads it beside the curve after a
// sampling tick: "剩余45秒" once the end is known (TV: after point A; leakage: always;
// electrolyte: after the first spark, or while it holds at its set voltage), "等待A点" / "等待火花"
// before, and nothing when the channel does not run. The end is the evaluation's own: the first
// tick after which the sample index passes the deadline, one test second per tick.
QString remainingTimeText(int k, const ChannelModel& channels, const ChannelTest& test);

} // namespace q7rk
