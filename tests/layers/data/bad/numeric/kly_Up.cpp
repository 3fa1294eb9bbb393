// A numeric source that uses the device model above it.
#include <cmath>
#include "numeric/kly_SpecialFunctions.h"
#include "klystron/model/kly_Klystron.h"
#include "klystron/core/kly_Errors.h"
