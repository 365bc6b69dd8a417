#include "InstrumentModel.h"

#include <algorithm>
#include <cmath>

namespace q7rk::instrument {

namespace {

constexpr double kStep = 0.02;               // s of model time per integration step
constexpr double kApproachTau = 8.0;         // s, final approach to the saturation voltage
constexpr double kDischargeTau = 0.5;        // s, an idle channel bleeds its charge
constexpr double kTvHeadroom = 1.25;         // a TV test sets 1.25 × the formation voltage
constexpr double kFoilAboveFormation = 1.02; // a good foil holds a little above it

} // namespace

void ChannelModel::setDrive(bool on, double setVolts, double setMilliamps) {
    on_ = on;
    setVolts_ = std::max(0.0, setVolts);
    setMilliamps_ = std::max(0.0, setMilliamps);
}

void ChannelModel::reset() {
    volts_ = 0.0;
    milliamps_ = 0.0;
    holdSeconds_ = 0.0;
    nextSpark_ = 0;
}

// An electrolyte cell has no formed layer to stop at: it climbs to the set voltage (flashing
// on the way). A foil stops near its formation voltage, which a TV test sets at 1/1.25 of
// the set voltage, unless the command line gives the foil's own value.
double ChannelModel::ceiling() const {
    double level = 0.0;
    if (config_.electrolyte)
        level = setVolts_;
    else if (config_.foilVoltage > 0.0)
        level = std::min(config_.foilVoltage, setVolts_);
    else
        level = setVolts_ / kTvHeadroom * kFoilAboveFormation;
    if (config_.maxVoltage > 0.0) level = std::min(level, config_.maxVoltage);
    return level;
}

void ChannelModel::advance(double seconds) {
    while (seconds > 0.0) {
        const double dt = std::min(seconds, kStep);
        step(dt);
        seconds -= dt;
    }
}

void ChannelModel::step(double dt) {
    if (!on_) {
        discharge(dt);
        return;
    }
    const double rise = config_.rate * config_.slow * setMilliamps_;
    const double approach = (ceiling() - volts_) / kApproachTau;
    if (approach > rise) {
        volts_ += rise * dt;
        holdSeconds_ = 0.0;
        milliamps_ = setMilliamps_;
    } else {
        volts_ += approach * dt;
        holdSeconds_ += dt;
        const double floor = std::min(config_.leakFloor, setMilliamps_);
        const double decay = std::exp(-holdSeconds_ / std::max(config_.leakTau, 1e-3));
        milliamps_ = floor + (setMilliamps_ - floor) * decay;
    }
    checkSpark();
}

void ChannelModel::discharge(double dt) {
    volts_ -= volts_ * std::min(1.0, dt / kDischargeTau);
    milliamps_ = 0.0;
    holdSeconds_ = 0.0;
    nextSpark_ = 0;
}

void ChannelModel::checkSpark() {
    if (nextSpark_ >= config_.sparks.size() || volts_ < config_.sparks.at(nextSpark_)) return;
    volts_ = std::max(0.0, volts_ - config_.sparkDrop);
    ++nextSpark_;
}

InstrumentModel::InstrumentModel(const std::array<ChannelConfig, 6>& configs)
    : channels_{ChannelModel(configs[0]), ChannelModel(configs[1]), ChannelModel(configs[2]),
                ChannelModel(configs[3]), ChannelModel(configs[4]), ChannelModel(configs[5])} {}

void InstrumentModel::advance(double seconds) {
    for (ChannelModel& c : channels_)
        c.advance(seconds);
}

void InstrumentModel::reset() {
    for (ChannelModel& c : channels_)
        c.reset();
}

} // namespace q7rk::instrument
