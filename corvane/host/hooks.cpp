#include "corvane/host/hooks.h"

#include <cstdio>
#include <utility>

namespace corvane {
namespace {

ErrorBoxHook& ErrorBox() {
  static ErrorBoxHook hook;
  return hook;
}
ExceptionHandlerHook& Handler() {
  static ExceptionHandlerHook hook;
  return hook;
}

}  // namespace

ErrorBoxHook SetErrorBoxHook(ErrorBoxHook hook) { return std::exchange(ErrorBox(), std::move(hook)); }

ExceptionHandlerHook SetExceptionHandlerHook(ExceptionHandlerHook hook) {
  return std::exchange(Handler(), std::move(hook));
}

void ShowErrorBox(const std::string& message) noexcept {
  try {
    if (ErrorBox()) {
      ErrorBox()(message);
      return;
    }
  } catch (...) {
  }
  std::fprintf(stderr, "%s\n", message.c_str());
}

void HandleException(std::exception_ptr error) noexcept {
  if (!error) return;
  try {
    if (Handler()) {
      Handler()(error);
      return;
    }
  } catch (...) {
  }
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "unknown error\n");
  }
}

}  // namespace corvane
