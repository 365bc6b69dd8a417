#include "settings/SampleStore.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace q7rk {

namespace {

using Extremes = SampleStore::Extremes;
constexpr float Infinity = std::numeric_limits<float>::infinity();
// Nothing yet: any sample narrows it.
constexpr Extremes Empty{Infinity, -Infinity, Infinity, -Infinity};

void widen(float value, float& low, float& high) {
    if (std::isnan(value)) {
        low = -Infinity;
        high = Infinity;
        return;
    }
    low = std::min(low, value);
    high = std::max(high, value);
}

Extremes leaf(float volts, float milliamperes) {
    Extremes e = Empty;
    widen(volts, e.lowVolts, e.highVolts);
    widen(milliamperes, e.lowMilliamps, e.highMilliamps);
    return e;
}

Extremes joined(const Extremes& a, const Extremes& b) {
    return {std::min(a.lowVolts, b.lowVolts), std::max(a.highVolts, b.highVolts),
            std::min(a.lowMilliamps, b.lowMilliamps), std::max(a.highMilliamps, b.highMilliamps)};
}

} // namespace

SampleStore::SampleStore(int lastSample)
    : m_last(std::max(lastSample, 0)), m_leaves(std::bit_ceil(std::size_t(m_last) + 1)),
      m_voltage(std::size_t(ChannelCount) * (m_last + 1)),
      m_current(std::size_t(ChannelCount) * (m_last + 1)),
      m_tree(std::size_t(ChannelCount) * 2 * m_leaves, Empty) {
    for (int k = 0; k < ChannelCount; ++k)
        clear(k);
}

void SampleStore::set(int channel, int n, float volts, float milliamperes) {
    m_voltage[at(channel, n)] = volts;
    m_current[at(channel, n)] = milliamperes;
    Extremes* t = tree(channel);
    std::size_t node = m_leaves + std::size_t(n);
    t[node] = leaf(volts, milliamperes);
    for (node /= 2; node > 0; node /= 2)
        t[node] = joined(t[2 * node], t[2 * node + 1]);
}

void SampleStore::clear(int channel) {
    Extremes* t = tree(channel);
    for (int n = 0; n <= m_last; ++n) {
        m_voltage[at(channel, n)] = 0;
        m_current[at(channel, n)] = 0;
        t[m_leaves + std::size_t(n)] = leaf(0, 0);
    }
    for (std::size_t node = m_leaves - 1; node > 0; --node)
        t[node] = joined(t[2 * node], t[2 * node + 1]);
}

SampleStore::Extremes SampleStore::extremes(int channel, int first, int last) const {
    const Extremes* t = tree(channel);
    Extremes e = Empty;
    // Bottom up: a node that sticks out of the range is replaced by its parent's neighbour.
    std::size_t low = m_leaves + std::size_t(std::max(first, 0));
    std::size_t high = m_leaves + std::size_t(std::min(last, m_last)) + 1;
    for (; low < high; low /= 2, high /= 2) {
        if (low & 1) e = joined(e, t[low++]);
        if (high & 1) e = joined(e, t[--high]);
    }
    return e;
}

} // namespace q7rk
