#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The readers take file names, so each fuzz input is written to one scratch
// file per process and read back from there.
class kly_FuzzInput {
public:
  kly_FuzzInput();
  ~kly_FuzzInput();
  kly_FuzzInput(const kly_FuzzInput&) = delete;
  kly_FuzzInput& operator=(const kly_FuzzInput&) = delete;

  // Replaces the scratch file's content and returns its name.
  const std::string& write(const std::uint8_t* data, std::size_t size);

private:
  std::string path_;
};
