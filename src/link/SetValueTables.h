#pragma once

#include "settings/ChannelModel.h"

namespace q7rk {

// The factory calibration of the set values sent to the instrument: the user's voltage and
// current are corrected by gain and offset before they are scaled to codes. Channels 4-6
// have no factory trim.
struct SetValueTables {
    PerChannel<double> setVoltageGain{0.88435107, 0.85964948, 0.86148161, 1.0, 1.0, 1.0};
    PerChannel<double> setVoltageOffset{6.4250584, 7.0877619, 5.0896392, 0.0, 0.0, 0.0};
    PerChannel<double> setCurrentGain{1.0337397, 1.0681385, 1.053529, 1.0, 1.0, 1.0};
    PerChannel<double> setCurrentOffset{-0.15256187, -0.15453003, -0.12115453, 0.0, 0.0, 0.0};
};

} // namespace q7rk
