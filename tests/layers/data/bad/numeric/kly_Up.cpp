// A numeric source that uses the device model above it.
#include <cmath>
#include <pagmo/algorithm.hpp>
#include "numeric/kly_SpecialFunctions.h"
#include "klystron/model/kly_Klystron.h"
#include "klystron/core/kly_Errors.h"
