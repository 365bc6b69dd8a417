#pragma once

#include "kinds/Box.h"

#include <QString>

namespace q7rk {

// The text a box shows before anything is loaded into it: the form's own texts, which
// channels 4-6 keep after start-up.
QString designText(int channel, Box box);

} // namespace q7rk
