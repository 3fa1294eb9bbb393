// MPI in the engine.
#include <mpi.h>
#include "klystron/driver/kly_PointExecutor.h"
