#pragma once

#include "settings/ChannelModel.h"

#include <vector>

namespace q7rk {

// The samples of the running (or last) test: volts to 0.1 V and milliamperes to 0.001 mA,
// six channels by samples 0..6000, sample 1 taken one second after the start. Allocated
// once at full size; nothing grows during a test. The sampling tick writes it; the
// evaluation, the charts, the cursor readout, saving and printing read it.
class SampleStore {
public:
    static constexpr int MaxSample = 6000;

    SampleStore() : m_voltage(std::size_t(ChannelCount) * (MaxSample + 1)),
                    m_current(std::size_t(ChannelCount) * (MaxSample + 1)) {}

    float voltage(int channel, int n) const { return m_voltage[at(channel, n)]; }
    float current(int channel, int n) const { return m_current[at(channel, n)]; }
    void set(int channel, int n, float volts, float milliamperes) {
        m_voltage[at(channel, n)] = volts;
        m_current[at(channel, n)] = milliamperes;
    }
    void clear(int channel) {
        for (int n = 0; n <= MaxSample; ++n)
            set(channel, n, 0, 0);
    }

private:
    // The channel index varies fastest, as the samples of one second sit together.
    static std::size_t at(int channel, int n) { return std::size_t(n) * ChannelCount + channel; }

    std::vector<float> m_voltage;
    std::vector<float> m_current;
};

// What the sampling tick and the evaluation keep per channel during a run.
struct ChannelRunState {
    float peakVoltage = 0;   // highest shown voltage since the new-test reset (point B)
    float peakIndex = 0;     // sample index of the peak
    int sparkCount = 0;      // sparks detected, 0..3
    bool sparkSeen = false;  // set at every spark
    // TV test: point A reached; electrolyte test: first spark recorded.
    bool firstSparkSeen = false;
    // Electrolyte test: voltage at the first spark, then the lowest voltage after it.
    float firstSparkVoltage = 0;
    bool evaluated = false; // the end-of-test evaluation is done
    int deadline = 0;       // sample index after which the channel's test ends
};

using RunStates = PerChannel<ChannelRunState>;

} // namespace q7rk
