#pragma once

#include <mpi.h>

#include <string>

// The processes of one MPI job, for the drivers that spread tube points over
// them: MPI started on construction (the main thread alone calls MPI; worker
// threads do not) and ended on destruction. Rank 0 coordinates: it reads and
// checks the inputs, hands out the points (kly_MpiExecutor) and writes every
// file; the other ranks evaluate what they are handed (kly_MpiWorker) until
// rank 0's session ends.
//
// Waits are polls with a growing pause (at most kMaxPause), not MPI's
// blocking calls, which keep a core busy for as long as they wait: a rank
// waiting for work, or for rank 0 to write its files, leaves its cores to the
// points.
class kly_MpiSession {
public:
  static constexpr double kMaxPause = 200e-6;  // longest pause between two polls [s]

  // Whether this process was started by an MPI launcher (mpirun, mpiexec,
  // srun): the environment variables that Open MPI, PMIx and PMI set.
  static bool launched();

  // Starts MPI; throws std::runtime_error when it cannot, or when it cannot
  // give calls from the main thread while others run.
  kly_MpiSession(int& argc, char**& argv);
  // Rank 0 tells every other rank to end its serve(); then all wait for each
  // other and MPI ends.
  ~kly_MpiSession();
  kly_MpiSession(const kly_MpiSession&) = delete;
  kly_MpiSession& operator=(const kly_MpiSession&) = delete;

  int rank() const { return rank_; }
  int size() const { return size_; }
  bool coordinator() const { return rank_ == 0; }
  // The communicator of the drivers' messages (a duplicate of the world's).
  MPI_Comm comm() const { return comm_; }

  // Rank 0: the other ranks leave kly_MpiWorker::serve (the destructor does
  // it when no one has).
  void release();

private:
  int rank_ = 0;
  int size_ = 1;
  MPI_Comm comm_ = MPI_COMM_NULL;
  bool released_ = false;
};
