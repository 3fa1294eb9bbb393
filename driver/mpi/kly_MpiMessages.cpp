#include "driver/mpi/kly_MpiMessages.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <stdexcept>
#include <thread>

#include "driver/mpi/kly_MpiSession.h"

namespace kly_mpi {

void Backoff::pause() {
  const auto now = std::chrono::steady_clock::now();
  if (!started_) {
    started_ = true;
    start_ = now;
  }
  if (std::chrono::duration<double>(now - start_).count() < kSpinSeconds) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(sleep_));
  sleep_ = std::min(kly_MpiSession::kMaxPause, 2 * sleep_);
}

void send(MPI_Comm comm, int to, int tag, std::string_view text) {
  if (text.size() > static_cast<std::size_t>(INT_MAX))
    throw std::length_error("a message of " + std::to_string(text.size()) + " bytes is too long to send");
  MPI_Send(text.data(), static_cast<int>(text.size()), MPI_CHAR, to, tag, comm);
}

void Outgoing::send(MPI_Comm comm, int to, int tag, std::string text) {
  if (text.size() > static_cast<std::size_t>(INT_MAX))
    throw std::length_error("a message of " + std::to_string(text.size()) + " bytes is too long to send");
  auto m = std::make_unique<Message>();
  m->text = std::move(text);
  MPI_Isend(m->text.data(), static_cast<int>(m->text.size()), MPI_CHAR, to, tag, comm, &m->request);
  messages_.push_back(std::move(m));
  collect();
}

void Outgoing::collect() {
  std::erase_if(messages_, [](const std::unique_ptr<Message>& m) {
    int flag = 0;
    MPI_Test(&m->request, &flag, MPI_STATUS_IGNORE);
    return flag != 0;
  });
}

void Outgoing::finish() {
  for (const std::unique_ptr<Message>& m : messages_) wait(m->request);
  messages_.clear();
}

std::string receive(MPI_Comm comm, int from, int tag, int* source) {
  MPI_Status status;
  int flag = 0;
  Backoff backoff;
  for (;;) {
    MPI_Iprobe(from, tag, comm, &flag, &status);
    if (flag) break;
    backoff.pause();
  }
  int count = 0;
  MPI_Get_count(&status, MPI_CHAR, &count);
  std::string text(static_cast<std::size_t>(count), '\0');
  MPI_Recv(text.data(), count, MPI_CHAR, status.MPI_SOURCE, tag, comm, MPI_STATUS_IGNORE);
  if (source) *source = status.MPI_SOURCE;
  return text;
}

void wait(MPI_Request& request) {
  Backoff backoff;
  for (int flag = 0;;) {
    MPI_Test(&request, &flag, MPI_STATUS_IGNORE);
    if (flag) return;
    backoff.pause();
  }
}

std::string workHeader(int want, bool final, const std::string& error) {
  return std::to_string(want) + (final ? " 1 " : " 0 ") + std::to_string(error.size()) + "\n" + error;
}

WorkHeader readWorkHeader(std::string_view message) {
  WorkHeader h;
  const char* p = message.data();
  const char* end = p + message.size();
  const auto number = [&](auto& x, char after) {
    auto r = std::from_chars(p, end, x);
    if (r.ec != std::errc() || r.ptr == end || *r.ptr != after)
      throw std::invalid_argument("a work message without its header");
    p = r.ptr + 1;
  };
  int final = 0;
  number(h.want, ' ');
  number(final, ' ');
  std::size_t length = 0;
  number(length, '\n');
  if (static_cast<std::size_t>(end - p) < length) throw std::invalid_argument("a work message cut short");
  h.final = final != 0;
  h.error.assign(p, length);
  h.body = static_cast<std::size_t>(p - message.data()) + length;
  return h;
}

}  // namespace kly_mpi
