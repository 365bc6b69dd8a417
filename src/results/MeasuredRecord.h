#pragma once

#include "kinds/ChannelTest.h"
#include "results/StoredTest.h"

namespace q7rk {

class SampleStore;

// What a run measured of channel k as it is stored: the numbers of the kind's fields (the set
// values taken at the start, the results as the channel shows them), the verdict, the number
// of samples and samples 1..samplesTaken. The operator's texts (number, operator, date, the
// boiling and position marks) are left blank: they are the boxes' at the save.
StoredTest measuredRecord(const ChannelTest& test, const SampleStore& samples, int channel,
                          int samplesTaken);

} // namespace q7rk
