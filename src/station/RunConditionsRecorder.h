#pragma once

#include "results/RunConditions.h"
#include "settings/ChannelModel.h"

#include <QObject>
#include <optional>

namespace q7rk {

class ActiveLink;
class InstrumentLink;
class RunController;

// Counts what the link that carries a run went through (polls sent, replies lost, frames
// rejected) from the run's start to its end, and keeps the link, the times and every
// channel's calibration factors at the end, for the save to store beside each test.
class RunConditionsRecorder : public QObject {
    Q_OBJECT
public:
    RunConditionsRecorder(const RunController& run, const ActiveLink& links,
                          const ChannelModel& channels, QObject* parent = nullptr);

    // The last run's conditions as channel k's test was measured; during the run, so far.
    RunConditions conditionsOf(int channel) const;
    // A test put back from the recovery journal keeps the conditions it was journalled with.
    void recovered(int channel, const std::optional<RunConditions>& conditions);

private:
    void started();
    void ended();
    // Channel k's calibration factors as they stand, as the settings keep them.
    RunConditions factorsNow(int k) const;
    // Only the reports of the link that carries the run, while it runs.
    void count(const InstrumentLink& link, qint64 RunConditions::*counter);

    const RunController& m_run;
    const ActiveLink& m_links;
    const ChannelModel& m_channels;
    RunConditions m_last;                // the counts, link, version and times
    PerChannel<RunConditions> m_factors; // the factors of each channel at the end
    PerChannel<std::optional<RunConditions>> m_recovered{};
};

} // namespace q7rk
