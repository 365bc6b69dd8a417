#pragma once

#include <QString>

// With Q7RK_KEEP_RECORDS=DIR (an absolute path) in the environment, a test case keeps what its
// runs produced in DIR/<test program>/<test function>[@<data row>]/: the simulator's frame
// logs (frames-1.log, … in the order the simulators started) and the SQLite files of the
// folders it names (result files, outbox, recovery journal, plant database), so that
// scripts/compare-records can set two builds side by side. Unset, nothing is kept.
namespace q7rk::testing::records {

bool kept();
// The current test case's folder, emptied the first time it is asked for; empty when records
// are not kept.
QString caseFolder();
// A name for the next item of the current case: `label`, then `label`-2, -3, …
QString nextName(const QString& label);
// Copies the SQLite files of `folder` (*.db and a journal or WAL beside one) into
// caseFolder()/nextName(label)/.
void keepFolder(const QString& folder, const QString& label);

} // namespace q7rk::testing::records
