// The library's own failures: a code that counts the checks of one operation
// from 1 upward, and a message from the catalogue in the caller's language.
// A failure that concerns a file also carries the file's path and, when the
// system refused it, the system's reason; the message stays the catalogue's.
#pragma once

#include <cstdint>
#include <string>

#include "corvane/host/exceptions.h"

namespace corvane {

class EPDBException : public Exception {
 public:
  EPDBException(int code, const std::string& message) : Exception(message), code_(code) {}
  // The failure `cause` told with another message (the place it was met
  // put before it, say): its code, message id, path and reason stay.
  EPDBException(const std::string& message, const EPDBException& cause)
      : Exception(message),
        code_(cause.code_),
        message_id_(cause.message_id_),
        path_(cause.path_),
        system_error_(cause.system_error_),
        reason_(cause.reason_) {}
  int ErrorCode() const noexcept { return code_; }

  // The catalogue id of the message (English id); 0 when raised with a text of its own.
  int MessageId() const noexcept { return message_id_; }
  // The file the failure concerns (a display name for a database opened from
  // memory); empty when it concerns none.
  const std::string& Path() const noexcept { return path_; }
  // errno of the system's refusal, or 0 when the system did not refuse anything.
  int SystemError() const noexcept { return system_error_; }
  // The system's reason in words ("Permission denied"), empty when there is none.
  const std::string& Reason() const noexcept { return reason_; }

  EPDBException& WithMessageId(int id) noexcept {
    message_id_ = id;
    return *this;
  }
  EPDBException& WithPath(std::string path) {
    path_ = std::move(path);
    return *this;
  }
  // Sets SystemError and Reason from an errno value (nothing for 0).
  EPDBException& WithSystemError(int errno_value);
  // A reason in words where the system gave none (or says less than this).
  EPDBException& WithReason(std::string reason) {
    reason_ = std::move(reason);
    return *this;
  }

 private:
  int code_;
  int message_id_ = 0;
  std::string path_;
  int system_error_ = 0;
  std::string reason_;
};

// Raises EPDBException with `code` and the catalogue text of `message_id`.
[[noreturn]] void RaisePDB(int code, int message_id);
// The same, naming the file concerned and the system's errno (0 for none).
[[noreturn]] void RaisePDB(int code, int message_id, const std::string& path, int errno_value = 0);
// The same with a reason in words of the library's own (where in the file the
// fault lies, say), when the system refused nothing.
[[noreturn]] void RaisePDBBecause(int code, int message_id, const std::string& path,
                                  std::string reason);

}  // namespace corvane
