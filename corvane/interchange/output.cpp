#include "corvane/interchange/output.h"

namespace corvane::cli {

void Output::Flush() {
  if (file_ == nullptr) return;  // kept in memory
  if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
    failed_ = true;
  }
  buffer_.clear();
}

bool Output::Finish() {
  Flush();
  if (file_ == nullptr) return true;
  if (std::fflush(file_) != 0 || std::ferror(file_)) failed_ = true;
  return !failed_;
}

void AppendHex(std::string& out, std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const std::size_t at = out.size();
  out.resize(at + 2 * bytes.size());
  char* p = out.data() + at;
  for (std::uint8_t b : bytes) {
    *p++ = kDigits[b >> 4];
    *p++ = kDigits[b & 0x0F];
  }
}

}  // namespace corvane::cli
