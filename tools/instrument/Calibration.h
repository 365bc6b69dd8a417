#pragma once

#include <QtGlobal>

namespace q7rk::instrument {

// One straight line of a calibration table: calibrated = raw × gain + offset.
struct LinearPair {
    double gain = 1.0;
    double offset = 0.0;
};

// The program's measurement calibration of one channel: a low and a high range line for the
// voltage (split at 100 V uncalibrated) and for the current (split at 1 mA uncalibrated).
struct MeasureCalibration {
    LinearPair voltHigh;
    LinearPair voltLow;
    LinearPair currHigh;
    LinearPair currLow;
};

// The program's set-value calibration of one channel.
struct SetCalibration {
    LinearPair voltage;
    LinearPair current;
};

// The factory tables the program uses; channels 4-6 (index 3..5) are the identity.
MeasureCalibration factoryMeasureCalibration(int channel);
SetCalibration factorySetCalibration(int channel);

// The user values (volts, mA) the program encoded into a poll's set-value fields, assuming
// correction factors of 1. Never negative.
double decodeSetVoltage(const SetCalibration& cal, int code);
double decodeSetCurrent(const SetCalibration& cal, int code);

struct ReadingCodes {
    quint16 voltage = 0;
    quint16 current = 0;
};

// The reply codes that make the program, after its calibration and series-resistor
// correction, show `volts` and `milliamps`. Values the calibration cannot reach (below its
// zero, in the gap between two ranges, beyond the code range) give the nearest reachable one.
ReadingCodes encodeReading(const MeasureCalibration& cal, double volts, double milliamps);

// The program's forward conversion, before rounding and clamping; used to pick codes.
double calibratedVoltage(const MeasureCalibration& cal, int voltageCode, int currentCode);
double calibratedCurrent(const MeasureCalibration& cal, int currentCode);

} // namespace q7rk::instrument
