#pragma once

#include "kinds/ChannelTest.h"
#include "kinds/TestKindDescription.h"
#include "settings/ChannelModel.h"
#include "settings/SampleStore.h"

#include <QString>

namespace q7rk {

class RunEvents;
class SettingsStore;

// The evaluation of one channel between sampling ticks: the characteristic points of its
// test kind, the end of its test, its results and its verdict, all into the channel's typed
// test. The run controller calls `evaluate` for the channels it watches after every tick;
// what it finds is told as run events.
class Evaluator {
public:
    Evaluator(ChannelModel& channels, SampleStore& store, ChannelTests& tests, RunEvents& events,
              const SettingsStore& settings);

    // One look at channel k with n = sampleIndex (the newest sample is n - 1). Channels
    // outside the running group are left alone. True when the channel's test ended now.
    bool evaluate(int k);

    // The result of an electrolyte test that held at its set voltage for the flash delay
    // without a spark.
    static QString noSparkText();

private:
    bool evaluateTv(int k, int n);
    bool evaluateLeakage(int k, int n);
    bool evaluateElectrolyte(int k, int n);
    // Marks the channel evaluated and stopped, sets its verdict and tells it.
    void endChannel(int k, int n);
    void trackHold(int k, int n);
    double shownVoltage(int k) const;

    ChannelModel& m_channels;
    SampleStore& m_store;
    ChannelTests& m_tests;
    RunEvents& m_events;
    const SettingsStore& m_settings;
};

} // namespace q7rk
