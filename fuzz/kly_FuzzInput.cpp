#include "fuzz/kly_FuzzInput.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

kly_FuzzInput::kly_FuzzInput() {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir != nullptr ? dir : "/tmp") + "/kly-fuzz-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) throw std::runtime_error("cannot create a scratch file for fuzz inputs");
  close(fd);
  path_ = pattern;
}

kly_FuzzInput::~kly_FuzzInput() { std::remove(path_.c_str()); }

const std::string& kly_FuzzInput::write(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path_.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path_;
}
