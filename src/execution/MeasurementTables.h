#pragma once

#include "settings/ChannelModel.h"

namespace q7rk {

// The factory calibration of the measured values: each reading is corrected by the gain and
// offset of its range (voltage from 100 V up, current from 1 mA up count as high). The
// values were trimmed on the bench at the factory; channels 4-6 have no factory trim.
struct MeasurementTables {
    PerChannel<float> voltGainHigh{0.85297722f, 0.85340381f, 0.85406053f, 1, 1, 1};
    PerChannel<float> voltOffsetHigh{-15.358326f, -15.085247f, -14.142601f, 0, 0, 0};
    PerChannel<float> voltGainLow{0.85886133f, 0.85911703f, 0.84436345f, 1, 1, 1};
    PerChannel<float> voltOffsetLow{-15.513678f, -14.336717f, -13.351695f, 0, 0, 0};
    PerChannel<float> currGainHigh{0.88775212f, 0.86982906f, 0.85345602f, 1, 1, 1};
    PerChannel<float> currOffsetHigh{-0.17170709f, -0.15952945f, -0.21292926f, 0, 0, 0};
    PerChannel<float> currGainLow{0.83822060f, 0.86004233f, 0.87202805f, 1, 1, 1};
    PerChannel<float> currOffsetLow{-0.14757649f, -0.15882246f, -0.17834946f, 0, 0, 0};
};

} // namespace q7rk
