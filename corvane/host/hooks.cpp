#include "corvane/host/hooks.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace corvane {
namespace {

// Hooks are installed by one thread while others may be raising through them;
// a caller runs its own copy, taken under the lock, outside it.
std::mutex& HookLock() {
  static std::mutex lock;
  return lock;
}
ErrorBoxHook& ErrorBox() {
  static ErrorBoxHook hook;
  return hook;
}
ExceptionHandlerHook& Handler() {
  static ExceptionHandlerHook hook;
  return hook;
}

template <class Hook>
Hook Exchange(Hook& slot, Hook hook) {
  const std::lock_guard<std::mutex> guard(HookLock());
  return std::exchange(slot, std::move(hook));
}

template <class Hook>
Hook CopyOf(const Hook& slot) {
  const std::lock_guard<std::mutex> guard(HookLock());
  return slot;
}

}  // namespace

ErrorBoxHook SetErrorBoxHook(ErrorBoxHook hook) {
  return Exchange(ErrorBox(), std::move(hook));
}

ExceptionHandlerHook SetExceptionHandlerHook(ExceptionHandlerHook hook) {
  return Exchange(Handler(), std::move(hook));
}

void ShowErrorBox(const std::string& message) noexcept {
  try {
    if (const ErrorBoxHook hook = CopyOf(ErrorBox())) {
      hook(message);
      return;
    }
  } catch (...) {
  }
  std::fprintf(stderr, "%s\n", message.c_str());
}

void HandleException(std::exception_ptr error) noexcept {
  if (!error) return;
  try {
    if (const ExceptionHandlerHook hook = CopyOf(Handler())) {
      hook(error);
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
