#pragma once

#include <QtGlobal>
#include <array>

namespace q7rk {

// Channels are 1..6 on screen and 0..5 in every array. Group 0 is channels 1-3, group 1
// channels 4-6.
constexpr int ChannelCount = 6;
constexpr int GroupCount = 2;
constexpr int ChannelsPerGroup = 3;

constexpr int groupOf(int channel) {
    return channel < ChannelsPerGroup ? 0 : 1;
}
constexpr int firstOfGroup(int group) {
    return group * ChannelsPerGroup;
}

// What each kind is (boxes, stored fields, report, texts, rules) lives in src/kinds.
enum class TestKind { Tv, Leakage, Electrolyte };

template <typename T> using PerChannel = std::array<T, ChannelCount>;

// The program-wide state that the link, the sampling tick, the evaluation, the charts and
// the panel all read and write. The main window owns the one instance and hands it down by
// reference; everything runs on the user-interface thread, so it needs no locking.
struct ChannelModel {
    qint16 firstChannel = 0; // index range of the running group
    qint16 lastChannel = 2;

    // Set by the test-kind switch; a fresh channel runs a TV test.
    PerChannel<TestKind> kinds{TestKind::Tv, TestKind::Tv, TestKind::Tv,
                               TestKind::Tv, TestKind::Tv, TestKind::Tv};

    qint16 sampleIndex = 1; // index of the sample being taken, 1 at the start of a run

    PerChannel<float> rawVoltage{}; // last codes received from the instrument
    PerChannel<float> rawCurrent{};

    PerChannel<float> voltageAdjust{1, 1, 1, 1, 1, 1}; // measured-voltage correction
    PerChannel<float> currentAdjust{1, 1, 1, 1, 1, 1}; // measured-current correction
    PerChannel<float> KV{1, 1, 1, 1, 1, 1};            // voltage set-value correction
    PerChannel<float> KI{1, 1, 1, 1, 1, 1};            // current set-value correction
    PerChannel<float> timeScale{1, 1, 1, 1, 1, 1};     // time axis of chart TV(k)
    float groupTimeScale = 1;                          // time axis of the TV16 charts

    // Curve colours as stored: 24-bit numbers with red in the low byte.
    PerChannel<quint32> voltageColour{255, 255, 255, 255, 255, 255};
    PerChannel<quint32> currentColour{16711680, 16711680, 16711680, 16711680, 16711680, 16711680};

    bool showCurrentCurve = false;

    TestKind kind(int channel) const { return kinds[channel]; }
    void setKind(int channel, TestKind k) { kinds[channel] = k; }
};

} // namespace q7rk
