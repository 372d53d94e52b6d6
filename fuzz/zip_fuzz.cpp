// libFuzzer target: any byte string as a zip archive, read as the rescue
// reads one. Listing and taking out never raise and never crash; a member
// taken out has exactly its declared size, within the cap the archive's size
// sets, and the CRC-32 its entry declares; names shown are UTF-8 without
// control characters; every member's place lies inside the archive.
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "corvane/host/charset.h"
#include "corvane/rescue/zip.h"

namespace {

using namespace corvane::rescue;

// The archive is read through a descriptor, as a file on disk is.
int ArchiveFd() {
  static const int fd = ::memfd_create("zip-fuzz", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  return fd;
}

void CheckShown(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = corvane::Utf8SequenceLength(s.substr(i));
    if (n == 0) std::abort();
    if (n == 1 && (static_cast<unsigned char>(s[i]) < 0x20 || s[i] == 0x7F)) std::abort();
    i += n;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = ArchiveFd();
  if (::ftruncate(fd, 0) != 0) std::abort();
  for (std::size_t at = 0; at < size;) {
    const ssize_t n = ::pwrite(fd, data + at, size - at, static_cast<off_t>(at));
    if (n <= 0) std::abort();
    at += static_cast<std::size_t>(n);
  }
  const ZipListing zip = ReadZipListing(fd, size);
  if (zip.size != size) std::abort();
  if (!zip.problem.empty() && !zip.members.empty()) std::abort();
  corvane::Bytes bytes;
  for (std::size_t i = 0; i < zip.members.size(); ++i) {
    const ZipMember& m = zip.members[i];
    CheckShown(m.shown);
    if (m.limit > size) std::abort();
    const std::optional<FileError> checked = ExtractMember(fd, zip, i, nullptr);
    const std::optional<FileError> failed = ExtractMember(fd, zip, i, &bytes);
    if (checked.has_value() != failed.has_value()) std::abort();
    if (failed) {
      if (failed->message.empty()) std::abort();
      continue;
    }
    if (!m.problem.empty()) std::abort();
    if (bytes.size() != m.size || bytes.size() > MemberCap(size)) std::abort();
    if (crc32(0, bytes.data(), static_cast<uInt>(bytes.size())) != m.crc) std::abort();
  }
  return 0;
}
