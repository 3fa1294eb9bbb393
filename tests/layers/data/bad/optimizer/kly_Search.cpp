// The optimiser may use pagmo, and the driver through its public headers.
#include <pagmo/problem.hpp>
#include "klystron/driver/kly_PointExecutor.h"
#include "tools/kly_TubeFile.h"
