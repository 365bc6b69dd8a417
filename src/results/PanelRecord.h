#pragma once

#include "kinds/TestKindDescription.h"
#include "kinds/Box.h"
#include "results/StoredTest.h"

#include <QList>

namespace q7rk {

class PanelModel;

// The operator's texts of channel k as they stand now go into `record`, what its run
// measured: the test number, the text and date fields of its kind (operator, date) and, where
// the kind keeps them, the group's boiling marks and the position marks.
void takeOperatorTexts(StoredTest& record, const PanelModel& panel, int channel);

// The boxes a save needs filled that are blank, in panel order: TV the number and the
// operator, leakage the test voltage and time, electrolyte the number. A text is the box's
// now; a set value is the one `record` was measured with.
QList<Box> missingRequiredBoxes(const PanelModel& panel, const StoredTest& record, int channel);

// Writes a stored test back into the boxes of channel k, as the stored-test display does:
// the kind's fields into their boxes, the whole test number into the number box, the
// boiling marks into the group's options. The kind switch and the curve are the caller's.
void showStoredTest(PanelModel& panel, int channel, const StoredTest& test);

} // namespace q7rk
