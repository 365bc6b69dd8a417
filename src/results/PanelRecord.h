#pragma once

#include "kinds/TestKindDescription.h"
#include "params/Box.h"
#include "results/StoredTest.h"

#include <QList>

namespace q7rk {

class PanelModel;
class SampleStore;

// The boxes a save needs filled that are blank, in panel order: TV the number and the
// operator, leakage the test voltage and time, electrolyte the number.
QList<Box> missingRequiredBoxes(const PanelModel& panel, int channel);

// What a save stores for channel k: the parameter and result boxes of its kind, the test
// number, the boiling and position marks and samples 1..samplesTaken of its run.
StoredTest recordOfChannel(const PanelModel& panel, const SampleStore& samples, int channel,
                           int samplesTaken);

// Writes a stored test back into the boxes of channel k, as the stored-test display does:
// the kind's fields into their boxes, the whole test number into the number box, the
// boiling marks into the group's options. The kind switch and the curve are the caller's.
void showStoredTest(PanelModel& panel, int channel, const StoredTest& test);

} // namespace q7rk
