// Replaceable user-interface hooks. The defaults write one line to standard
// error; a program with its own user interface installs its own.
//
// The hooks are process-wide. They may be replaced from any thread while
// others call them; a hook runs on the thread that reports the error, so one
// shared by threads must be safe to call from several at once.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace corvane {

// A modal error box with one OK button.
using ErrorBoxHook = std::function<void(const std::string& message)>;
// The application's handler for an error that must not escape (e.g. from a destructor).
using ExceptionHandlerHook = std::function<void(std::exception_ptr error)>;

// Each setter returns the hook it replaces; an empty function restores the default.
ErrorBoxHook SetErrorBoxHook(ErrorBoxHook hook);
ExceptionHandlerHook SetExceptionHandlerHook(ExceptionHandlerHook hook);

void ShowErrorBox(const std::string& message) noexcept;
// Hands the current exception (call from a catch block) or the given one to the handler.
void HandleException(std::exception_ptr error = std::current_exception()) noexcept;

}  // namespace corvane
