#pragma once

#include "core/numbers.h"

namespace vantorel {

// The decimal and digit-grouping separators of the user's own number format.
NumberLocale UserNumberLocale();

}  // namespace vantorel
