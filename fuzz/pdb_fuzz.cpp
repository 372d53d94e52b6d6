// libFuzzer target: any byte string is a file to open. The manager opens files
// by name, so each input goes to a scratch file (on /dev/shm when there is one,
// where a write costs a few microseconds). A file the library opens is walked
// (every record, the cursor both ways, every category) and rewritten; a file
// it refuses must be refused with one of its own exceptions. Anything else -
// a crash, a sanitizer report, another exception, a broken invariant - is a
// finding.
//
// Engines: when corvane/engines/fuzz_split.h exists it declares
//   void corvane::FuzzSplitRecords(const std::string& directory,
//                                  const std::string& pdb_filename);
// which opens the file through each engine in turn and splits every record,
// catching corvane::Exception per engine itself so that one engine's refusal
// does not hide the others. This target then calls it for every input.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "corvane/host/exceptions.h"
#include "fuzz/pdb_walk.h"
#include "fuzz/scratch.h"

#if __has_include("corvane/engines/fuzz_split.h")
#include "corvane/engines/fuzz_split.h"
#define CORVANE_FUZZ_ENGINE_SPLITS 1
#endif

namespace {

const std::string& ScratchPath() {
  static const corvane::fuzz::ScratchDir scratch("corvane-fuzz");
  return scratch.path();
}

void WriteInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0) std::abort();
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& dir = ScratchPath();
  WriteInput(dir + "/input.pdb", data, size);
  try {
    const corvane::fuzz::WalkResult walked = corvane::fuzz::WalkDatabase(dir, "input.pdb");
    corvane::fuzz::RewriteAndCompare(walked, dir, "rewritten.pdb");
  } catch (const corvane::Exception&) {
    // Refused cleanly.
  }
#ifdef CORVANE_FUZZ_ENGINE_SPLITS
  corvane::FuzzSplitRecords(dir, "input.pdb");
#endif
  return 0;
}
