#pragma once

#include "settings/ChannelModel.h"

#include <vector>

namespace q7rk {

// The samples of the running (or last) test: volts to 0.1 V and milliamperes to 0.001 mA,
// six channels by samples 0..6000, sample 1 taken one second after the start. Allocated
// once at full size; nothing grows during a test. The sampling tick writes it; the
// evaluation, the charts, the cursor readout, saving and printing read it.
//
// The charts redraw thousands of samples into a few hundred pixel columns, so the store
// also keeps the lowest and highest values of every power-of-two run of samples: the
// extremes of any range then cost a few dozen reads however long the test.
class SampleStore {
public:
    static constexpr int MaxSample = 6000;

    // Lowest and highest voltage and current of a range of samples. A sample that is not a
    // number widens its range to the infinities: whoever maps the range then looks at its
    // samples one by one.
    struct Extremes {
        float lowVolts;
        float highVolts;
        float lowMilliamps;
        float highMilliamps;
    };

    // Samples 0..lastSample; the program's store holds MaxSample, benchmarks more.
    explicit SampleStore(int lastSample = MaxSample);

    int lastSample() const { return m_last; }
    float voltage(int channel, int n) const { return m_voltage[at(channel, n)]; }
    float current(int channel, int n) const { return m_current[at(channel, n)]; }
    void set(int channel, int n, float volts, float milliamperes);
    void clear(int channel);
    // Samples first..last (inclusive, within 0..lastSample) of a channel.
    Extremes extremes(int channel, int first, int last) const;

private:
    // The channel index varies fastest, as the samples of one second sit together.
    std::size_t at(int channel, int n) const { return std::size_t(n) * ChannelCount + channel; }
    // A binary tree over each channel's samples, leaves from m_leaves on; node i covers its
    // children 2i and 2i + 1.
    Extremes* tree(int channel) { return m_tree.data() + std::size_t(channel) * 2 * m_leaves; }
    const Extremes* tree(int channel) const {
        return m_tree.data() + std::size_t(channel) * 2 * m_leaves;
    }

    int m_last;
    std::size_t m_leaves;
    std::vector<float> m_voltage;
    std::vector<float> m_current;
    std::vector<Extremes> m_tree;
};

// What the sampling tick and the evaluation keep per channel during a run.
struct ChannelRunState {
    float peakVoltage = 0;  // highest shown voltage since the new-test reset (point B)
    float peakIndex = 0;    // sample index of the peak
    int sparkCount = 0;     // sparks detected, 0..3
    bool sparkSeen = false; // set at every spark
    // TV test: point A reached; electrolyte test: first spark recorded.
    bool firstSparkSeen = false;
    // Electrolyte test: voltage at the first spark, then the lowest voltage after it.
    float firstSparkVoltage = 0;
    bool evaluated = false; // the end-of-test evaluation is done
    int deadline = 0;       // sample index after which the channel's test ends
};

using RunStates = PerChannel<ChannelRunState>;

} // namespace q7rk
