// The host layer's exception family. Every error the library raises derives
// from corvane::Exception, which is a std::runtime_error, so a caller may catch
// the whole family at once or one kind precisely.
#pragma once

#include <stdexcept>
#include <string>

namespace corvane {

class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value could not be converted (tagged values, dates, numbers in text).
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// The operating system refused a file operation; errno_value is errno at the
// time of the failure (0 when the failure was not the system's, e.g. a short read).
class EInOutError : public Exception {
 public:
  explicit EInOutError(const std::string& msg, int errno_value = 0)
      : Exception(msg), error_code_(errno_value) {}
  int ErrorCode() const noexcept { return error_code_; }

 private:
  int error_code_;
};

// An index outside a list or collection.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// A value or object used as a kind it is not (e.g. a field read through the wrong class).
// Assign between unrelated classes raises EConvertError, as the host always did.
class EInvalidCast : public Exception {
 public:
  using Exception::Exception;
};

// The dataset framework's own errors.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace corvane
