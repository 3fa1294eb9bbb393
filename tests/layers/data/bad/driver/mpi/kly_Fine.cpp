// The MPI layer may include MPI and the public driver headers.
#include <mpi.h>
#include "klystron/driver/kly_PointExecutor.h"
#include "driver/mpi/kly_MpiSession.h"
