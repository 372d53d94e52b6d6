// The host's process-wide state under threads: the format settings that
// readers hold while another thread republishes them, and the hooks that one
// thread replaces while others call them. The thread-sanitizer build reports
// any access here that is not ordered.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "corvane/host/datetime.h"
#include "corvane/host/hooks.h"
#include "corvane/host/locale.h"

namespace corvane {
namespace {

TEST(SharedState, ReadersKeepAConsistentSetWhileSettingsChange) {
  const FormatSettings saved = DefaultFormatSettings();
  FormatSettings dots = saved;
  dots.ShortDateFormat = "dd.mm.yyyy";
  dots.DateSeparator = '.';
  FormatSettings slashes = saved;
  slashes.ShortDateFormat = "mm/dd/yyyy";
  slashes.DateSeparator = '/';
  const TDateTime day = EncodeDate(2024, 2, 29);
  SetDefaultFormatSettings(dots);

  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::atomic<int> reads{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i) {
    readers.emplace_back([&] {
      while (!done.load(std::memory_order_relaxed)) {
        // Either set whole, never the format of one with the separator of the other.
        const std::string text = DateToStr(day);
        if (text != "29.02.2024" && text != "02/29/2024") torn.fetch_add(1);
        reads.fetch_add(1);
      }
    });
  }
  for (int i = 0; i < 2000 || reads.load() < 2000; ++i) {
    SetDefaultFormatSettings(i % 2 ? dots : slashes);
    std::this_thread::yield();
  }
  done = true;
  for (std::thread& r : readers) r.join();
  EXPECT_EQ(torn.load(), 0);
  SetDefaultFormatSettings(saved);
}

TEST(SharedState, HooksCanBeReplacedWhileOtherThreadsCallThem) {
  std::atomic<int> shown{0};
  const auto install = [&shown] {
    SetErrorBoxHook([&shown](const std::string&) { shown.fetch_add(1); });
    SetExceptionHandlerHook([&shown](std::exception_ptr) { shown.fetch_add(1); });
  };
  install();
  std::atomic<bool> done{false};
  std::vector<std::thread> callers;
  for (int i = 0; i < 2; ++i) {
    callers.emplace_back([&] {
      while (!done.load(std::memory_order_relaxed)) {
        ShowErrorBox("message");
        HandleException(std::make_exception_ptr(std::runtime_error("error")));
      }
    });
  }
  // Until the callers have run through the hooks a while, however busy the machine.
  for (int i = 0; i < 500 || shown.load() < 200; ++i) {
    install();
    std::this_thread::yield();
  }
  done = true;
  for (std::thread& c : callers) c.join();
  SetErrorBoxHook(nullptr);
  SetExceptionHandlerHook(nullptr);
}

// The language is the calling thread's: one thread's override never reaches another.
TEST(SharedState, TheLanguageOverrideBelongsToItsThread) {
  const ScopedThreadLanguage here("pt_BR");
  std::string there;
  std::thread other([&there] {
    const ScopedThreadLanguage own("en_GB");
    there = ThreadLanguageName();
  });
  other.join();
  EXPECT_EQ(there, "en_GB");
  EXPECT_EQ(ThreadLanguageName(), "pt_BR");
}

}  // namespace
}  // namespace corvane
