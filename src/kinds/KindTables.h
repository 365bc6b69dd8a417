#pragma once

#include "kinds/TestKindDescription.h"

namespace q7rk::kinds {

// One per kind, each in its own file.
const TestKindDescription& tv();
const TestKindDescription& leakage();
const TestKindDescription& electrolyte();

} // namespace q7rk::kinds
