#include "settings/SampleStore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace q7rk {

namespace {

using Range = SampleStore::Range;
constexpr int FanBits = 3; // a block holds 8 of the level below
constexpr int Fan = 1 << FanBits;
constexpr float Infinity = std::numeric_limits<float>::infinity();
constexpr Range Empty{Infinity, -Infinity}; // any sample narrows it

Range rangeOf(float value) {
    if (std::isnan(value)) return {-Infinity, Infinity};
    return {value, value};
}

void widen(Range& r, const Range& by) {
    r.low = std::min(r.low, by.low);
    r.high = std::max(r.high, by.high);
}

} // namespace

SampleStore::SampleStore(int lastSample) : m_last(std::max(lastSample, 0)), m_levels(1) {
    while ((std::size_t(m_last) >> (FanBits * m_levels)) > 0)
        ++m_levels;
    for (auto& samples : m_samples)
        samples.assign(std::size_t(ChannelCount) * (m_last + 1), 0.0f);
    m_blocks.resize(std::size_t(Quantities * ChannelCount * m_levels));
    for (int q = 0; q < Quantities; ++q)
        for (int k = 0; k < ChannelCount; ++k)
            for (int level = 1; level <= m_levels; ++level)
                blocks(q, k, level).assign((std::size_t(m_last) >> (FanBits * level)) + 1, Empty);
    for (int k = 0; k < ChannelCount; ++k)
        clear(k);
}

SampleStore::Range SampleStore::block(int quantity, int channel, int level, int b) const {
    if (level == 0) return rangeOf(m_samples[quantity][at(channel, b)]);
    return blocks(quantity, channel, level)[std::size_t(b)];
}

void SampleStore::refresh(int channel, int level, int b) const {
    const int first = b << FanBits;
    const int end = std::min(first + Fan, (m_last >> (FanBits * (level - 1))) + 1);
    for (int q = 0; q < Quantities; ++q) {
        Range r = Empty;
        for (int child = first; child < end; ++child)
            widen(r, block(q, channel, level - 1, child));
        blocks(q, channel, level)[std::size_t(b)] = r;
    }
}

void SampleStore::set(int channel, int n, float volts, float milliamperes) {
    m_samples[0][at(channel, n)] = volts;
    m_samples[1][at(channel, n)] = milliamperes;
    m_stale[channel].first = std::min(m_stale[channel].first, n);
    m_stale[channel].second = std::max(m_stale[channel].second, n);
}

void SampleStore::clear(int channel) {
    for (int n = 0; n <= m_last; ++n) {
        m_samples[0][at(channel, n)] = 0;
        m_samples[1][at(channel, n)] = 0;
    }
    m_stale[channel] = {0, m_last};
}

void SampleStore::bringUpToDate(int channel) const {
    auto& [first, last] = m_stale[channel];
    for (int level = 1; first <= last && level <= m_levels; ++level)
        for (int b = first >> (FanBits * level); b <= last >> (FanBits * level); ++b)
            refresh(channel, level, b);
    first = m_last + 1;
    last = -1;
}

SampleStore::Range SampleStore::range(int quantity, int channel, int first, int last) const {
    bringUpToDate(channel);
    Range r = Empty;
    int low = std::max(first, 0);
    int high = std::min(last, m_last) + 1; // past the end
    // The samples up to the first and from the last whole block, then the blocks, the
    // loose ends of each level first.
    const float* samples = m_samples[quantity].data() + channel;
    const auto sample = [&](int n) { widen(r, rangeOf(samples[std::size_t(n) * ChannelCount])); };
    if (high - low < 2 * Fan) { // a short run: no block would be whole
        for (int n = low; n < high; ++n)
            sample(n);
        return r;
    }
    while ((low & (Fan - 1)) != 0)
        sample(low++);
    while ((high & (Fan - 1)) != 0)
        sample(--high);
    low >>= FanBits;
    high >>= FanBits;
    for (int level = 1; low < high; ++level) {
        const Range* ranges = blocks(quantity, channel, level).data();
        const bool top = level == m_levels;
        while (low < high && (top || (low & (Fan - 1)) != 0))
            widen(r, ranges[low++]);
        while (low < high && (high & (Fan - 1)) != 0)
            widen(r, ranges[--high]);
        low >>= FanBits;
        high >>= FanBits;
    }
    return r;
}

} // namespace q7rk
