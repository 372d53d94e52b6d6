// Zip archives among the rescue's inputs. An archive is read through its
// central directory, and each member is taken out on its own by reading the
// archive at the member's place, so that no archive is ever held in memory
// whole, however large.
//
// Every byte of an archive is untrusted: the end record is looked for only in
// the archive's last 65,557 bytes; offsets, lengths and counts are checked
// against the archive's size; a directory whose entries overlap is refused; a
// member never grows past the size the directory declares nor past a cap set
// by the archive's own size (see MemberCap); every member's CRC-32 is checked.
// Methods read: stored (0) and deflate (8). Encrypted members, other methods
// and ZIP64 are reported in words. Member names are bytes of the file: they are
// only shown, never used as paths.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "corvane/foundation/types.h"
#include "corvane/rescue/out_files.h"
#include "corvane/rescue/rescue.h"
#include "corvane/rescue/walk.h"

namespace corvane::rescue {

struct ZipMember {
  std::string name;   // as stored
  std::string shown;  // UTF-8 without control characters, for the report
  std::uint16_t flags = 0, method = 0;
  std::uint32_t crc = 0;
  std::uint64_t packed = 0, size = 0;  // as the directory declares them
  std::uint64_t offset = 0;            // of its local header
  std::uint64_t limit = 0;             // where the next entry (or the directory) starts
  bool folder = false;                 // a name ending in "/"
  // Why it cannot be taken out, as the directory alone shows (encrypted,
  // another method, ZIP64, a place outside the archive); empty when none.
  std::string problem, detail;
};

struct ZipListing {
  std::uint64_t size = 0;          // of the archive when listed
  std::vector<ZipMember> members;  // in the directory's order, folders too
  // Why nothing of the archive can be read, in words, and the detail; empty
  // when its directory was read.
  std::string problem, detail;
};

// Whether the bytes begin as a zip archive does: a member's local header or,
// for an archive without members, the end record.
bool ZipSignature(std::span<const std::uint8_t> head) noexcept;

// The directory of the archive open as `fd`, `size` bytes long. Never raises
// for any content; a read failure of the descriptor is a problem too.
ZipListing ReadZipListing(int fd, std::uint64_t size);

// The file at `path` listed when its content begins as a zip archive's;
// nullptr when it does not or cannot be opened (it is then read as any file,
// and a failure reported there).
std::shared_ptr<const ZipListing> ListZip(const std::filesystem::path& path);

// The largest member taken out of an archive of `archive_size` bytes: ten
// times the archive plus 50 MB, the memory a rescue allows for one input.
std::uint64_t MemberCap(std::uint64_t archive_size) noexcept;

// Takes member `index` of the archive open as `fd` out into `bytes` (when
// not null; otherwise only checks it), its CRC-32 and size checked. The
// failure in words with its detail when it cannot be taken out. Never raises
// for any content.
std::optional<FileError> ExtractMember(int fd, const ZipListing& zip, std::size_t index,
                                       Bytes* bytes);

// The walk's part: a zip archive found at `archive` (its `zip` set) adds
// one input per member that is no folder, shown as ARCHIVE/member/name.
void AddZipMembers(const FoundFile& archive, std::vector<FoundFile>& files);

// The rescue's part for a member: its bytes, or the failure in words.
std::optional<FileError> ReadZipMember(const FoundFile& member, Bytes& bytes);

// The rescue's part for the archive itself: its size, SHA-256 and original
// copy (streamed, never held whole), every member checked as it would be
// taken out, one warning per member that cannot be.
void RescueZipArchive(const FoundFile& archive, const std::string& original_name, OutputFolder& out,
                      FileReport& r);

// A member that is itself a zip archive is not opened: it is listed as one
// (its kind kZip), with a note.
void NoteNestedZip(std::span<const std::uint8_t> bytes, FileReport& r);

}  // namespace corvane::rescue
