#pragma once

// The program's side of the exchange, written out again from the description of the poll
// and of the sampling tick, so the simulator is checked against an independent version.

#include <QByteArray>

#include <algorithm>
#include <cmath>

namespace q7rk::test {

struct Line {
    double gain, offset;
};

// Factory tables of channels 1-3; channels 4-6 are the identity.
inline const Line kVoltHigh[3] = {
    {0.85297722, -15.358326}, {0.85340381, -15.085247}, {0.85406053, -14.142601}};
inline const Line kVoltLow[3] = {
    {0.85886133, -15.513678}, {0.85911703, -14.336717}, {0.84436345, -13.351695}};
inline const Line kCurrHigh[3] = {
    {0.88775212, -0.17170709}, {0.86982906, -0.15952945}, {0.85345602, -0.21292926}};
inline const Line kCurrLow[3] = {
    {0.83822060, -0.14757649}, {0.86004233, -0.15882246}, {0.87202805, -0.17834946}};
inline const Line kSetVolt[3] = {
    {0.88435107, 6.4250584}, {0.85964948, 7.0877619}, {0.86148161, 5.0896392}};
inline const Line kSetCurr[3] = {
    {1.0337397, -0.15256187}, {1.0681385, -0.15453003}, {1.053529, -0.12115453}};

inline Line pick(const Line (&table)[3], int k) {
    return k < 3 ? table[k] : Line{1.0, 0.0};
}

struct Shown {
    double volts, milliamps;
};

// What the sampling tick shows for one reply: scale, the range line chosen on the raw value,
// series-resistor drop with the calibrated current, clamp, rounding to the display format.
inline Shown programView(int k, int voltageCode, int currentCode) {
    double i = currentCode / 5000.0;
    const Line ci = i >= 1 ? pick(kCurrHigh, k) : pick(kCurrLow, k);
    i = i * ci.gain + ci.offset;
    double v = voltageCode / 50.0;
    const Line cv = v >= 100 ? pick(kVoltHigh, k) : pick(kVoltLow, k);
    v = v * cv.gain + cv.offset - i * 0.1;
    return {std::round(std::max(v, 0.0) * 10) / 10, std::round(std::max(i, 0.0) * 1000) / 1000};
}

inline int setVoltageCode(int k, double user) {
    const Line l = pick(kSetVolt, k);
    return int(std::clamp(std::round((user * l.gain + l.offset) * 60), 0.0, 65000.0));
}

inline int setCurrentCode(int k, double ma) {
    const Line l = pick(kSetCurr, k);
    return int(std::clamp(std::round((ma * l.gain + l.offset) * 5000), 0.0, 65000.0));
}

inline void putField(QByteArray& f, int at, int value) {
    f[at] = char(value >> 8);
    f[at + 1] = char(value & 0xFF);
}

inline QByteArray commandFrame(int code) {
    QByteArray f(107, '\0');
    const char head[] = {0x77, 0x20, 0x11, 0x06, 0x07, 0x05};
    std::copy(head, head + 6, f.begin());
    f[6] = char(code);
    f[7] = 1;
    f[104] = 0x0F;
    f[105] = char(0xF0);
    f[106] = char(0x86);
    return f;
}

struct ChannelSet {
    bool on = false;
    double volts = 0.0; // user value (a TV test sends 1.25 × the formation voltage)
    double milliamps = 0.0;
};

inline const ChannelSet kTv200{true, 250.0, 2.0}; // formation voltage 200 V, 2 mA

inline QByteArray pollFrame(int sampleIndex, const ChannelSet (&sets)[6]) {
    QByteArray f = commandFrame(7);
    for (int k = 0; k < 6; ++k) {
        const int b = 8 + 16 * k;
        f[b] = char(sets[k].on ? 3 : 0);
        putField(f, b + 6, sampleIndex);
        putField(f, b + 8, sets[k].on ? setVoltageCode(k, sets[k].volts) : 0);
        putField(f, b + 10, sets[k].on ? setCurrentCode(k, sets[k].milliamps) : 0);
    }
    return f;
}

} // namespace q7rk::test
