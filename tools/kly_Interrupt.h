#pragma once

#include <string>

// Ctrl-C (SIGINT) and SIGTERM while a run is on. The first signal asks the
// run to stop after its current pass, so that the passes done are written;
// the second ends the program at once with exit status 130. Each writes its
// message to standard error. The handlers do nothing but set a lock-free
// atomic flag, write(2) and _exit(2), all safe in a signal handler.
class kly_Interrupt {
public:
  static constexpr int kExitStatus = 130;  // 128 + SIGINT, what shells report for Ctrl-C

  // Installs the handlers; the destructor restores the ones before. One
  // object at a time.
  kly_Interrupt(std::string firstMessage, std::string secondMessage);
  // Handlers that end the program at the first signal, with this message:
  // for a process of an MPI job, whose launcher kills every process soon
  // after it signals them (a Ctrl-C, a process that died, the end of the
  // batch job's time).
  explicit kly_Interrupt(std::string message);
  ~kly_Interrupt();
  kly_Interrupt(const kly_Interrupt&) = delete;
  kly_Interrupt& operator=(const kly_Interrupt&) = delete;

  // A first signal has come (since the handlers were installed).
  static bool requested();

private:
  kly_Interrupt(std::string firstMessage, std::string secondMessage, bool atOnce);

  std::string first_;
  std::string second_;
};
