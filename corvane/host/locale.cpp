#include "corvane/host/locale.h"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <langinfo.h>
#include <locale.h>
#include <mutex>

namespace corvane {
namespace {
thread_local std::optional<std::string> g_language_override;

const char* ThreadLocaleMessagesName(locale_t loc) {
#ifdef _NL_LOCALE_NAME
  return nl_langinfo_l(_NL_LOCALE_NAME(LC_MESSAGES), loc);
#else
  (void)loc;
  return nullptr;
#endif
}
}  // namespace

std::string ThreadLanguageName() {
  if (g_language_override) return *g_language_override;
  // The thread's own locale when the program set one (uselocale), else the global one.
  if (const locale_t loc = uselocale(static_cast<locale_t>(0));
      loc != static_cast<locale_t>(0) && loc != LC_GLOBAL_LOCALE) {
    if (const char* name = ThreadLocaleMessagesName(loc); name && *name) {
      const std::string n(name);
      if (n != "C" && n != "POSIX") return n;
    }
  }
  if (const char* name = std::setlocale(LC_MESSAGES, nullptr); name && *name) {
    const std::string n(name);
    if (n != "C" && n != "POSIX") return n;
  }
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const char* v = std::getenv(var); v && *v) return v;
  }
  return {};
}

void SetThreadLanguageOverride(std::optional<std::string> name) {
  g_language_override = std::move(name);
}

ScopedThreadLanguage::ScopedThreadLanguage(std::string name) : previous_(g_language_override) {
  g_language_override = std::move(name);
}

ScopedThreadLanguage::~ScopedThreadLanguage() { g_language_override = std::move(previous_); }

int StandardTimeZoneBiasMinutes() {
  // tzset rewrites `timezone` on every call; managers in several threads ask
  // for the bias at once, so each asks and reads under one lock.
  static std::mutex lock;
  const std::lock_guard<std::mutex> guard(lock);
  tzset();
  // `timezone` is seconds west of UTC for standard time (daylight saving excluded).
  return static_cast<int>(timezone / 60);
}

}  // namespace corvane
