// libFuzzer target: any byte string is a database to open, straight from
// memory. A database the library opens is walked (every record, the cursor
// both ways, every category), rewritten into memory and read back; one it
// refuses must be refused with one of its own exceptions. Anything else - a
// crash, a sanitizer report, another exception, a broken invariant - is a
// finding.
//
// Engines: when corvane/engines/fuzz_split.h exists it declares
//   void corvane::FuzzSplitRecords(std::span<const std::uint8_t> bytes);
// which opens the bytes through each engine in turn and splits every record,
// catching corvane::Exception per engine itself so that one engine's refusal
// does not hide the others. This target then calls it for every input.
#include <cstdint>
#include <span>

#include "corvane/host/exceptions.h"
#include "corvane/host/locale.h"
#include "fuzz/pdb_walk.h"

#if __has_include("corvane/engines/fuzz_split.h")
#include "corvane/engines/fuzz_split.h"
#define CORVANE_FUZZ_ENGINE_SPLITS 1
#endif

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
#ifdef CORVANE_FUZZ_ENGINE_SPLITS
  corvane::FuzzSplitRecords(bytes);
#endif
  return 0;
}
