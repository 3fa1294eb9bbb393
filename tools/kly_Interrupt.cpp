#include "tools/kly_Interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

namespace {

// Signals seen, and the messages; the handler reads nothing else.
std::atomic<int> gSignals{0};
std::atomic<const char*> gFirst{nullptr};
std::atomic<std::size_t> gFirstLength{0};
std::atomic<const char*> gSecond{nullptr};
std::atomic<std::size_t> gSecondLength{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<const char*>::is_always_lock_free &&
              std::atomic<std::size_t>::is_always_lock_free);

struct sigaction gPreviousInt;
struct sigaction gPreviousTerm;
std::atomic<bool> gInstalled{false};
std::atomic<bool> gAtOnce{false};

void say(const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(STDERR_FILENO, text, length);
    if (n <= 0) return;
    text += n;
    length -= static_cast<std::size_t>(n);
  }
}

extern "C" void onSignal(int) {
  if (gSignals.fetch_add(1) == 0 && !gAtOnce.load()) {
    say(gFirst.load(), gFirstLength.load());
  } else {
    say(gSecond.load(), gSecondLength.load());
    ::_exit(kly_Interrupt::kExitStatus);
  }
}

}  // namespace

kly_Interrupt::kly_Interrupt(std::string firstMessage, std::string secondMessage)
    : kly_Interrupt(std::move(firstMessage), std::move(secondMessage), false) {}

kly_Interrupt::kly_Interrupt(std::string message) : kly_Interrupt(std::string(), std::move(message), true) {}

kly_Interrupt::kly_Interrupt(std::string firstMessage, std::string secondMessage, bool atOnce)
    : first_(std::move(firstMessage)), second_(std::move(secondMessage)) {
  if (gInstalled.exchange(true)) throw std::logic_error("kly_Interrupt: the handlers are installed already");
  gSignals = 0;
  gAtOnce = atOnce;
  gFirst = first_.c_str();
  gFirstLength = first_.size();
  gSecond = second_.c_str();
  gSecondLength = second_.size();
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // reads and writes in progress go on
  ::sigaction(SIGINT, &action, &gPreviousInt);
  ::sigaction(SIGTERM, &action, &gPreviousTerm);
}

kly_Interrupt::~kly_Interrupt() {
  ::sigaction(SIGINT, &gPreviousInt, nullptr);
  ::sigaction(SIGTERM, &gPreviousTerm, nullptr);
  gAtOnce = false;
  gInstalled = false;
}

bool kly_Interrupt::requested() { return gSignals.load() > 0; }
