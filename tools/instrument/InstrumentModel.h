#pragma once

#include <QList>

#include <array>

namespace q7rk::instrument {

// What is on one channel's terminals, as the command line describes it.
struct ChannelConfig {
    double rate = 1.25;       // V/s per mA of set current while the current source leads
    double slow = 1.0;        // factor on the rise rate (a sluggish sample)
    double leakFloor = 0.02;  // mA the current settles to once the voltage holds
    double leakTau = 10.0;    // s, time constant of that decay
    double maxVoltage = 0.0;  // V the sample can never exceed; 0 = no such limit
    double foilVoltage = 0.0; // V the foil saturates at; 0 = derived from the set voltage
    double sparkDrop = 30.0;  // V lost at each spark
    QList<double> sparks;     // spark voltages in the order they happen (electrolyte)
    bool electrolyte = false; // an electrolyte cell: climbs to the set voltage, sparks or not
};

struct Reading {
    double volts = 0.0;
    double milliamps = 0.0;
};

// One channel: a constant-current source charging a formed foil (or an electrolyte cell).
// The voltage rises at a rate proportional to the set current until the sample saturates,
// approaches that level without overshoot, and the current then decays to the leakage floor.
class ChannelModel {
public:
    explicit ChannelModel(const ChannelConfig& config = {}) : config_(config) {}

    void setDrive(bool on, double setVolts, double setMilliamps);
    void advance(double seconds);
    void reset();
    Reading reading() const { return {volts_, milliamps_}; }
    double ceiling() const;

private:
    void step(double dt);
    void discharge(double dt);
    void checkSpark();

    ChannelConfig config_;
    bool on_ = false;
    double setVolts_ = 0.0;
    double setMilliamps_ = 0.0;
    double volts_ = 0.0;
    double milliamps_ = 0.0;
    double holdSeconds_ = 0.0;
    qsizetype nextSpark_ = 0;
};

class InstrumentModel {
public:
    explicit InstrumentModel(const std::array<ChannelConfig, 6>& configs);

    ChannelModel& channel(int k) { return channels_.at(std::size_t(k)); }
    const ChannelModel& channel(int k) const { return channels_.at(std::size_t(k)); }
    void advance(double seconds);
    void reset();

private:
    std::array<ChannelModel, 6> channels_;
};

} // namespace q7rk::instrument
