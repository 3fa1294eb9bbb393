// Uses the MPI drivers: only the tools may.
#include "driver/mpi/kly_MpiExecutor.h"
