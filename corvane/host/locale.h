// The calling thread's language and the process's time zone. The override is
// per thread: setting it in one thread never changes another's language.
#pragma once

#include <optional>
#include <string>

namespace corvane {

// The name of the calling thread's language: the per-thread override when one
// is set, else the thread's LC_MESSAGES locale name, else the environment's
// LC_ALL, LC_MESSAGES, LANG (in that order); "" when none is known.
std::string ThreadLanguageName();
// Sets or clears (std::nullopt) the calling thread's override.
void SetThreadLanguageOverride(std::optional<std::string> name);

// RAII override for a scope (tests, programs that serve several languages).
class ScopedThreadLanguage {
 public:
  explicit ScopedThreadLanguage(std::string name);
  ~ScopedThreadLanguage();
  ScopedThreadLanguage(const ScopedThreadLanguage&) = delete;
  ScopedThreadLanguage& operator=(const ScopedThreadLanguage&) = delete;

 private:
  std::optional<std::string> previous_;
};

// Minutes to add to local standard time to get UTC (UTC minus local standard
// time), without any daylight-saving part; follows TZ.
int StandardTimeZoneBiasMinutes();

}  // namespace corvane
