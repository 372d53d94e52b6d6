// libFuzzer target: any byte string is a file to open. The manager opens files
// by name, so each input goes to a scratch file (on /dev/shm when there is one,
// where a write costs a few microseconds). A file the library opens is walked
// (every record, the cursor both ways, every category) and rewritten; a file
// it refuses must be refused with one of its own exceptions. Anything else -
// a crash, a sanitizer report, another exception, a broken invariant - is a
// finding.
//
// Every input then goes through each engine in turn (FuzzSplitRecords), which
// splits every record and catches each engine's refusal itself, so that one
// engine's refusal does not hide the others.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "corvane/host/exceptions.h"
#include "fuzz/engine_split.h"
#include "fuzz/pdb_walk.h"
#include "fuzz/scratch.h"

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
  corvane::FuzzSplitRecords(dir, "input.pdb");
  return 0;
}
