#pragma once

#include "settings/ChannelModel.h"

#include <utility>
#include <vector>

namespace q7rk {

// The samples of the running (or last) test: volts to 0.1 V and milliamperes to 0.001 mA,
// six channels by samples 0..6000, sample 1 taken one second after the start. Allocated
// once at full size; nothing grows during a test. The sampling tick writes it; the
// evaluation, the charts, the cursor readout, saving and printing read it.
//
// The charts redraw thousands of samples into a few hundred pixel columns, so the store
// also keeps the lowest and highest value of every block of 8, 64, 512 ... samples: the
// range of any run of samples then costs a few dozen reads however long the test, from
// tables small enough to stay in the processor's cache.
class SampleStore {
public:
    static constexpr int MaxSample = 6000;

    // Lowest and highest value of a run of samples. A sample that is not a number widens
    // the range to the infinities: whoever maps the range then looks at its samples one by
    // one.
    struct Range {
        float low;
        float high;
    };

    // Samples 0..lastSample; the program's store holds MaxSample, benchmarks more.
    explicit SampleStore(int lastSample = MaxSample);

    int lastSample() const { return m_last; }
    float voltage(int channel, int n) const { return m_samples[0][at(channel, n)]; }
    float current(int channel, int n) const { return m_samples[1][at(channel, n)]; }
    void set(int channel, int n, float volts, float milliamperes);
    void clear(int channel);
    // Samples first..last (inclusive, within 0..lastSample) of a channel.
    Range voltageRange(int channel, int first, int last) const {
        return range(0, channel, first, last);
    }
    Range currentRange(int channel, int first, int last) const {
        return range(1, channel, first, last);
    }

private:
    // Quantity 0 is the voltage, 1 the current.
    static constexpr int Quantities = 2;

    // The channel index varies fastest, as the samples of one second sit together.
    static std::size_t at(int channel, int n) { return std::size_t(n) * ChannelCount + channel; }
    Range range(int quantity, int channel, int first, int last) const;
    // Block b of `level` (level 0: the sample itself).
    Range block(int quantity, int channel, int level, int b) const;
    std::vector<Range>& blocks(int quantity, int channel, int level) const {
        return m_blocks[std::size_t((quantity * ChannelCount + channel) * m_levels + level - 1)];
    }
    // Block b of `level`, again from the level below.
    void refresh(int channel, int level, int b) const;
    // The blocks over the samples written since the last reading, again from the samples:
    // a stored test's thousands of writes cost one pass, a live tick a few blocks.
    void bringUpToDate(int channel) const;

    int m_last;
    int m_levels; // levels of blocks above the samples; the top one is a single block
    std::vector<float> m_samples[Quantities];
    // Kept up to date when read (on the thread that draws, as all reading of ranges).
    mutable std::vector<std::vector<Range>> m_blocks;
    mutable PerChannel<std::pair<int, int>> m_stale; // samples written since, first..last
};

} // namespace q7rk
