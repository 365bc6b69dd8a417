#include "Calibration.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace q7rk::instrument {

namespace {

constexpr int kMaxCode = 65535;
constexpr double kVoltScale = 50.0;      // voltage code per volt
constexpr double kCurrentScale = 5000.0; // current code per mA
constexpr double kVoltSplit = 100.0;     // V, uncalibrated
constexpr double kCurrentSplit = 1.0;    // mA, uncalibrated
constexpr double kSeriesOhmsK = 0.1;     // V dropped per mA on the series resistor
constexpr double kSetVoltScale = 60.0;
constexpr double kSetCurrentScale = 5000.0;

const std::array<MeasureCalibration, 3> kMeasure{{
    {{0.85297722, -15.358326},
     {0.85886133, -15.513678},
     {0.88775212, -0.17170709},
     {0.83822060, -0.14757649}},
    {{0.85340381, -15.085247},
     {0.85911703, -14.336717},
     {0.86982906, -0.15952945},
     {0.86004233, -0.15882246}},
    {{0.85406053, -14.142601},
     {0.84436345, -13.351695},
     {0.85345602, -0.21292926},
     {0.87202805, -0.17834946}},
}};

const std::array<SetCalibration, 3> kSet{{
    {{0.88435107, 6.4250584}, {1.0337397, -0.15256187}},
    {{0.85964948, 7.0877619}, {1.0681385, -0.15453003}},
    {{0.86148161, 5.0896392}, {1.053529, -0.12115453}},
}};

// One quantity as the program converts it: code / scale, then the line of the range that
// the uncalibrated value falls in.
struct Quantity {
    double scale;
    double split;
    LinearPair low;
    LinearPair high;

    int firstHighCode() const { return int(std::ceil(split * scale)); }

    double forward(int code) const {
        const double x = code / scale;
        const LinearPair& p = x >= split ? high : low;
        return x * p.gain + p.offset;
    }

    int codeOnLine(double target, const LinearPair& p, int lo, int hi) const {
        const double code = std::round((target - p.offset) / p.gain * scale);
        return int(std::clamp(code, double(lo), double(hi)));
    }

    // The best code of each range, then the one that lands nearer the target: this also
    // settles the overlap and the gap between the two ranges.
    int inverse(double target) const {
        const int a = codeOnLine(target, low, 0, firstHighCode() - 1);
        const int b = codeOnLine(target, high, firstHighCode(), kMaxCode);
        return std::abs(forward(a) - target) <= std::abs(forward(b) - target) ? a : b;
    }
};

Quantity voltageOf(const MeasureCalibration& cal) {
    return {kVoltScale, kVoltSplit, cal.voltLow, cal.voltHigh};
}

Quantity currentOf(const MeasureCalibration& cal) {
    return {kCurrentScale, kCurrentSplit, cal.currLow, cal.currHigh};
}

double invertLine(const LinearPair& p, double value) {
    return std::max(0.0, (value - p.offset) / p.gain);
}

} // namespace

MeasureCalibration factoryMeasureCalibration(int channel) {
    if (channel >= 0 && channel < int(kMeasure.size())) return kMeasure[std::size_t(channel)];
    return {};
}

SetCalibration factorySetCalibration(int channel) {
    if (channel >= 0 && channel < int(kSet.size())) return kSet[std::size_t(channel)];
    return {};
}

double decodeSetVoltage(const SetCalibration& cal, int code) {
    return invertLine(cal.voltage, code / kSetVoltScale);
}

double decodeSetCurrent(const SetCalibration& cal, int code) {
    return invertLine(cal.current, code / kSetCurrentScale);
}

double calibratedCurrent(const MeasureCalibration& cal, int currentCode) {
    return currentOf(cal).forward(currentCode);
}

double calibratedVoltage(const MeasureCalibration& cal, int voltageCode, int currentCode) {
    return voltageOf(cal).forward(voltageCode) - calibratedCurrent(cal, currentCode) * kSeriesOhmsK;
}

ReadingCodes encodeReading(const MeasureCalibration& cal, double volts, double milliamps) {
    const int current = currentOf(cal).inverse(std::max(0.0, milliamps));
    // The program takes the series-resistor drop off afterwards, using the current it
    // calibrated from our code, so the voltage code must carry that drop.
    const double beforeDrop = std::max(0.0, volts) + calibratedCurrent(cal, current) * kSeriesOhmsK;
    const int voltage = voltageOf(cal).inverse(beforeDrop);
    return {quint16(voltage), quint16(current)};
}

} // namespace q7rk::instrument
