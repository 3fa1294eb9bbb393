#include "driver/mpi/kly_MpiSession.h"

#include <sys/prctl.h>

#include <cstdlib>
#include <stdexcept>

#include "driver/mpi/kly_MpiMessages.h"

bool kly_MpiSession::launched() {
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"})
    if (std::getenv(name)) return true;
  return false;
}

kly_MpiSession::kly_MpiSession(int& argc, char**& argv) {
  int provided = 0;
  if (MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS)
    throw std::runtime_error("MPI could not be started");
  if (provided < MPI_THREAD_FUNNELED) {
    MPI_Finalize();
    throw std::runtime_error("this MPI cannot run calls from the main thread while other threads compute");
  }
  // The polls' short sleeps as asked, not the 50 us later Linux allows itself
  // by default (the threads this one starts inherit it; they do not sleep).
  ::prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
  MPI_Comm_dup(MPI_COMM_WORLD, &comm_);
  MPI_Comm_rank(comm_, &rank_);
  MPI_Comm_size(comm_, &size_);
}

void kly_MpiSession::release() {
  if (rank_ != 0 || released_) return;
  released_ = true;
  for (int r = 1; r < size_; ++r) kly_mpi::send(comm_, r, kly_mpi::kControl, "end");
}

kly_MpiSession::~kly_MpiSession() {
  release();
  // Every rank here before MPI ends, without a core kept busy while rank 0
  // writes its files.
  MPI_Request request;
  MPI_Ibarrier(comm_, &request);
  kly_mpi::wait(request);
  MPI_Comm_free(&comm_);
  MPI_Finalize();
}
