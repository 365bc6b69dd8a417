#pragma once

#include "kinds/Box.h"
#include "settings/ChannelModel.h"

#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace q7rk {

// One quantiser for what a run measures: a sample is kept exactly as its readout shows it
// (0.1 V, 0.001 mA), so what is stored, judged, sent and printed is what the operator saw.
namespace quantised {
// The value the readout's text "123.4" stands for (as a double, as it reads back).
double volts(float value);
double milliamperes(float value);
// A peak or an index as its seven-digit readout shows it.
double single(float value);
} // namespace quantised

// A spark of an electrolyte test: the sample after the fall, and the one before it.
struct Spark {
    int index = 0;
    float volts = 0;
    float voltsBefore = 0;
};

// What the instrument hears of a channel in the poll and the result frame. It is taken from
// the channel when its run starts (a channel outside the group, or running another kind,
// tells what it showed then) and follows what the run measures and judges.
struct Reported {
    enum class Code { Pending, Pass, Fail };
    Code code = Code::Pending; // the TV verdict
    double tvValue = 0;
    std::optional<double> riseTime;
    // The second of the peak for TV and leakage, the second spark's voltage for the
    // electrolyte test (the readout beside Label50 is what the instrument always heard).
    double peakField = 0;
    // The newest sample (empty where the channel showed no number).
    std::optional<double> liveVoltage;
    std::optional<double> liveCurrent;
};

// Samples 1 and 2 are the instrument settling: the peak and the sparks are looked for from
// the third on.
constexpr int FirstJudgedSample = 3;

// The test of one channel as a run works with it: the kind and the set values read once at
// the start, then what the run measured, as numbers. The sampling tick and the evaluation
// fill it; the poll, the result frame, the panel and the charts read it.
struct ChannelTest {
    TestKind kind = TestKind::Tv;
    // The numbers the operator typed, taken at the start: set values, limits and times.
    // Blank or unreadable boxes are empty.
    std::array<std::optional<double>, BoxCount> setValues{};
    // The group runs the electrolyte test: sparks are looked for.
    bool looksForSparks = false;

    float peakVoltage = 0;  // highest shown voltage since the new-test reset (point B)
    float peakIndex = 0;    // sample index of the peak
    int sparkCount = 0;     // sparks detected, 0..3
    bool sparkSeen = false; // set at every spark
    // TV test: point A reached; electrolyte test: first spark recorded.
    bool firstSparkSeen = false;
    int riseTime = 0; // TV: the index of the sample that passed Vr (0: not yet)
    // Electrolyte test: voltage at the first spark, then the lowest voltage after it.
    float firstSparkVoltage = 0;
    std::array<Spark, 3> sparks{};
    // Electrolyte test before any spark: the first sample of the present stretch at the set
    // voltage (0: not there now). Held for the flash delay, the test ends without a spark.
    int heldSince = 0;
    bool evaluated = false; // the end-of-test evaluation is done
    // Not sampling: outside the run, judged, stopped, or no run yet. Only the run's own parts
    // set it; the poll, the remaining time and what the operator sees read it.
    bool stopped = true;
    int deadline = 0; // sample index after which the channel's test ends
    // Set when judged: the newest sample's values and the verdict.
    double tvValue = 0;
    double leakageCurrent = 0;
    bool failed = false;
    Reported reported;

    // A box as a number: a result as the run measured it and the channel shows it, anything
    // else as it was typed at the start (empty when blank or no number).
    std::optional<double> value(Box box) const;
    // The same as the rules of the kinds read it: a blank counts as 0.
    double number(Box box) const { return value(box).value_or(0); }
    // The set value of `box` as typed at the start, empty when it was no number.
    std::optional<double> setValue(Box box) const { return setValues[std::size_t(boxIndex(box))]; }

    // Box `box` showed `text` when the run started: a set value, or what the instrument is
    // told of the channel.
    void takeShown(Box box, const QString& text);

    // The new-test reset: nothing measured yet.
    void clearMeasurements();
};

using ChannelTests = PerChannel<ChannelTest>;

// How many samples a test of `kind` runs, from the numbers of its length boxes (a blank one
// counts as 0).
int testLength(TestKind kind, const std::function<double(Box)>& number);
int testLength(const ChannelTest& test);

} // namespace q7rk
