// What the writers share with the command that runs them: the buffered
// output they append to, the error for an option value they cannot take, and
// hexadecimal for bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <string>

namespace corvane::cli {

// Bad command line or option value (an unknown --encoding or --timezone):
// the command reports it with a hint to --help, exit code 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Standard output, written in large blocks; or, made without a file, a text
// kept whole in Buffer() for the caller to take.
class Output {
 public:
  explicit Output(std::FILE* file) : file_(file) {}
  Output() = default;
  std::string& Buffer() noexcept { return buffer_; }
  void FlushIfLarge() {
    if (buffer_.size() >= kFlushAt) Flush();
  }
  void Flush();
  // Flushes; false when anything failed to reach the file.
  bool Finish();

 private:
  static constexpr std::size_t kFlushAt = 1 << 16;
  std::FILE* file_ = nullptr;
  std::string buffer_;
  bool failed_ = false;
};

// Lower-case hexadecimal of the bytes.
void AppendHex(std::string& out, std::span<const std::uint8_t> bytes);

}  // namespace corvane::cli
