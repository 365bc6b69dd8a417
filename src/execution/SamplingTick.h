#pragma once

#include "execution/MeasurementTables.h"
#include "settings/ChannelModel.h"
#include "settings/SampleStore.h"

namespace q7rk {

class CurvePlotter;
class PanelModel;

// The once-a-second sampling step of a run: turns the latest raw counts of every channel of
// the running group into one calibrated sample, stores exactly what the live readouts show,
// keeps the peak, extends the curves and looks for electrolyte sparks (sudden voltage
// drops). Judging the test is the evaluation's business, not this one's.
class SamplingTick {
public:
    SamplingTick(ChannelModel& channels, PanelModel& panel, SampleStore& store, RunStates& states,
                 CurvePlotter& plotter, MeasurementTables tables = {});

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
    void trackPeak(int k, int n, float shownVolts);
    bool looksForSparks(int k, int n) const;
    void detectSpark(int k, int n);

    ChannelModel& m_channels;
    PanelModel& m_panel;
    SampleStore& m_store;
    RunStates& m_states;
    CurvePlotter& m_plotter;
    MeasurementTables m_tables;
};

} // namespace q7rk
