// The library's own failures: a code that counts the checks of one operation
// from 1 upward, and a message from the catalogue in the caller's language.
#pragma once

#include <cstdint>
#include <string>

#include "corvane/host/exceptions.h"

namespace corvane {

class EPDBException : public Exception {
 public:
  EPDBException(int code, const std::string& message) : Exception(message), code_(code) {}
  int ErrorCode() const noexcept { return code_; }

 private:
  int code_;
};

// Raises EPDBException with `code` and the catalogue text of `message_id`.
[[noreturn]] void RaisePDB(int code, int message_id);

}  // namespace corvane
