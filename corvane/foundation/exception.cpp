#include "corvane/foundation/exception.h"

#include <cstring>

#include "corvane/foundation/messages.h"

namespace corvane {

EPDBException& EPDBException::WithSystemError(int errno_value) {
  system_error_ = errno_value;
  reason_ = errno_value != 0 ? std::strerror(errno_value) : "";
  return *this;
}

void RaisePDB(int code, int message_id) {
  throw EPDBException(code, GetLocaleString(message_id)).WithMessageId(message_id);
}

void RaisePDB(int code, int message_id, const std::string& path, int errno_value) {
  EPDBException e(code, GetLocaleString(message_id));
  e.WithMessageId(message_id).WithPath(path).WithSystemError(errno_value);
  throw e;
}

void RaisePDBBecause(int code, int message_id, const std::string& path, std::string reason) {
  EPDBException e(code, GetLocaleString(message_id));
  e.WithMessageId(message_id).WithPath(path).WithReason(std::move(reason));
  throw e;
}

}  // namespace corvane
