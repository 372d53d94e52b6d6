// libFuzzer target: any byte string is a database to open, straight from
// memory. A database the library opens is walked (every record, the cursor
// both ways, every category), rewritten into memory and read back; one it
// refuses must be refused with one of its own exceptions. Anything else - a
// crash, a sanitizer report, another exception, a broken invariant - is a
// finding.
//
// Every input then goes through each engine in turn (FuzzSplitRecords), which
// splits every record and catches each engine's refusal itself, so that one
// engine's refusal does not hide the others.
#include <cstdint>
#include <span>

#include "corvane/host/exceptions.h"
#include "corvane/host/locale.h"
#include "fuzz/engine_split.h"
#include "fuzz/pdb_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Messages in one fixed language: no environment lookup per refusal.
  static const bool language_fixed = [] {
    corvane::SetThreadLanguageOverride("en");
    return true;
  }();
  (void)language_fixed;
  const std::span<const std::uint8_t> bytes(data, size);
  try {
    const corvane::fuzz::WalkResult walked = corvane::fuzz::WalkDatabase(bytes);
    corvane::fuzz::RewriteAndCompareInMemory(walked);
  } catch (const corvane::Exception&) {
    // Refused cleanly.
  }
  corvane::FuzzSplitRecords(bytes);
  return 0;
}
