#pragma once

#include "execution/MeasurementTables.h"
#include "kinds/ChannelTest.h"
#include "settings/ChannelModel.h"
#include "settings/SampleStore.h"

namespace q7rk {

class RunEvents;

// The once-a-second sampling step of a run: turns the latest raw counts of every channel of
// the running group into one calibrated sample, stores it as its readout shows it, keeps the
// peak and looks for electrolyte sparks (sudden voltage drops). Judging the test is the
// evaluation's business, showing it the listeners' of the run's events.
class SamplingTick {
public:
    SamplingTick(ChannelModel& channels, SampleStore& store, ChannelTests& tests, RunEvents& events,
                 MeasurementTables tables = {});

    // One tick: sample n = sampleIndex of channels firstChannel..lastChannel, then n + 1.
    // A full store (n past SampleStore::MaxSample) stops the running channels instead; the
    // index then stays at MaxSample + 1.
    void run();

    const MeasurementTables& tables() const { return m_tables; }

private:
    struct Reading {
        float volts;
        float milliamperes;
    };
    Reading convert(int k) const;
    void sampleChannel(int k, int n);
    bool trackPeak(int k, int n, float shownVolts);
    bool looksForSparks(int k, int n) const;
    void detectSpark(int k, int n);

    ChannelModel& m_channels;
    SampleStore& m_store;
    ChannelTests& m_tests;
    RunEvents& m_events;
    MeasurementTables m_tables;
};

} // namespace q7rk
