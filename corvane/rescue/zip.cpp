#include "corvane/rescue/zip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <numeric>

#include "corvane/foundation/byte_order.h"
#include "corvane/host/charset.h"
#include "corvane/rescue/convert.h"
#include "corvane/rescue/sha256.h"

namespace corvane::rescue {

namespace {

constexpr std::uint32_t kLocalSig = 0x04034b50;
constexpr std::uint32_t kCentralSig = 0x02014b50;
constexpr std::uint32_t kEndSig = 0x06054b50;
constexpr std::uint32_t kZip64LocatorSig = 0x07064b50;
constexpr std::size_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22, kLocatorSize = 20;
// The end record and the longest comment it may carry.
constexpr std::uint64_t kEndSearch = kEndSize + 0xFFFF;
constexpr std::size_t kChunk = 1 << 16;
// Deflate cannot expand its input more than this (a 258-byte match per bit).
constexpr std::uint64_t kMaxDeflateRatio = 1032;

std::uint16_t Le16(const std::uint8_t* p) noexcept {
  return SwapWord(LoadU16(p));
}
std::uint32_t Le32(const std::uint8_t* p) noexcept {
  return SwapCardinal(LoadU32(p));
}

class Fd {
 public:
  explicit Fd(int fd) noexcept : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

// Fills `buf` from `at`: 0, errno, or -1 when the file ends first.
int ReadAt(int fd, std::uint64_t at, std::span<std::uint8_t> buf) {
  while (!buf.empty()) {
    const ssize_t n = ::pread(fd, buf.data(), buf.size(), static_cast<off_t>(at));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return -1;
    buf = buf.subspan(static_cast<std::size_t>(n));
    at += static_cast<std::uint64_t>(n);
  }
  return 0;
}

std::string ReadDetail(int err) {
  return err < 0 ? std::string("the archive ends early") : std::strerror(err);
}

std::string Hex(std::uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

std::string N(std::uint64_t v) {
  return std::to_string(v);
}

FileError Failure(std::string words, std::string detail) {
  return FileError{std::move(words), std::move(detail)};
}

// Code page 437's upper half: the names of archives made without the UTF-8
// flag by the desktop programs of the handhelds' time.
constexpr std::array<char16_t, 128> kCp437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = Utf8SequenceLength(s.substr(i));
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// A stored name as text to show: UTF-8 when flagged or well-formed, code
// page 437 otherwise; control characters (NUL among them) and broken
// sequences show as U+FFFD, so that nothing of a name can act on a terminal
// or a page.
std::string ShownName(std::string_view name, bool utf8) {
  std::string out;
  const bool as_utf8 = utf8 || ValidUtf8(name);
  for (std::size_t i = 0; i < name.size();) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte < 0x20 || byte == 0x7F) {
      AppendUtf8(out, U'\uFFFD');
      ++i;
    } else if (byte < 0x80) {
      out += static_cast<char>(byte);
      ++i;
    } else if (!as_utf8) {
      AppendUtf8(out, kCp437[byte - 0x80]);
      ++i;
    } else if (const std::size_t n = Utf8SequenceLength(name.substr(i)); n > 0) {
      const char32_t c = DecodeUtf8Sequence(name.substr(i), n);
      if (c >= 0x80 && c < 0xA0) {
        AppendUtf8(out, U'\uFFFD');
      } else {
        out.append(name.substr(i, n));
      }
      i += n;
    } else {
      AppendUtf8(out, U'\uFFFD');
      ++i;
    }
  }
  return out.empty() ? std::string("(no name)") : out;
}

std::string MethodName(std::uint16_t method) {
  switch (method) {
    case 1:
      return "shrink";
    case 6:
      return "implode";
    case 9:
      return "deflate64";
    case 12:
      return "bzip2";
    case 14:
      return "LZMA";
    case 93:
      return "Zstandard";
    case 95:
      return "xz";
    case 98:
      return "PPMd";
    case 99:
      return "AES encryption";
    default:
      return "method " + N(method);
  }
}

// Why a member cannot be taken out, from its directory entry alone.
std::string EntryProblem(const ZipMember& m, std::uint16_t disk, std::uint64_t data_end,
                         std::string& detail) {
  if ((m.flags & 0x0001) != 0 || (m.flags & 0x0040) != 0 || m.method == 99) {
    detail = "encrypted member (flags " + Hex(m.flags) + ", method " + N(m.method) + ")";
    return "This file is protected by a password inside its zip archive: unpack the archive with "
           "its password first, then rescue the files.";
  }
  if (m.packed == 0xFFFFFFFF || m.size == 0xFFFFFFFF || m.offset == 0xFFFFFFFF || disk == 0xFFFF) {
    detail = "ZIP64 sizes or offset";
    return "This file needs the ZIP64 form of zip archives (for files over 4 GB), which the rescue "
           "does not read: unpack the archive with another program first.";
  }
  if (m.method != 0 && m.method != 8) {
    detail = "compression method " + N(m.method) + " (" + MethodName(m.method) + ")";
    return "This file is compressed inside its zip archive by a method the rescue does not read (" +
           MethodName(m.method) + "): unpack the archive with another program first.";
  }
  if (disk != 0) {
    detail = "member on disk " + N(disk);
    return "This file lies in another part of a zip archive split into several files: join the "
           "parts first.";
  }
  if (m.offset + kLocalSize + m.packed > data_end) {
    detail = "member at offset " + N(m.offset) + " with " + N(m.packed) +
             " packed bytes, past the data's end at " + N(data_end);
    return "This file's place in its zip archive lies outside the archive's data: the archive is "
           "damaged.";
  }
  return {};
}

ZipListing Refused(ZipListing z, std::string words, std::string detail) {
  z.members.clear();
  z.problem = std::move(words);
  z.detail = std::move(detail);
  return z;
}

// Entries whose bytes overlap another's (or the directory) are what archives
// built to exhaust memory use: one compressed stream unpacked many times.
// Sets each member's limit; false with the detail when two overlap.
bool PlaceMembers(std::vector<ZipMember>& members, std::uint64_t data_end, std::string& detail) {
  std::vector<std::size_t> order(members.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return members[a].offset < members[b].offset;
  });
  for (std::size_t k = 0; k < order.size(); ++k) {
    ZipMember& m = members[order[k]];
    m.limit = std::min(k + 1 < order.size() ? members[order[k + 1]].offset : data_end, data_end);
    if (!m.problem.empty()) continue;  // its sizes mean nothing; it is never read
    if (m.offset + kLocalSize + m.name.size() + m.packed > m.limit) {
      detail = "entry " + N(order[k]) + " at offset " + N(m.offset) + " (" + N(m.packed) +
               " packed bytes) overlaps what follows at " + N(m.limit);
      return false;
    }
  }
  return true;
}

}  // namespace

bool ZipSignature(std::span<const std::uint8_t> head) noexcept {
  if (head.size() < 4) return false;
  const std::uint32_t sig = Le32(head.data());
  return sig == kLocalSig || sig == kEndSig;
}

std::uint64_t MemberCap(std::uint64_t archive_size) noexcept {
  constexpr std::uint64_t kAllowance = 50ull << 20;
  return std::min<std::uint64_t>(archive_size, std::uint64_t{1} << 40) * 10 + kAllowance;
}

ZipListing ReadZipListing(int fd, std::uint64_t size) {
  ZipListing z;
  z.size = size;
  if (size < kEndSize)
    return Refused(std::move(z),
                   "This zip archive is too short to be whole: nothing in it could be taken out.",
                   "an archive of " + N(size) + " bytes holds no end record");
  const std::uint64_t tail_at = size - std::min(size, kEndSearch);
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(size - tail_at));
  if (const int err = ReadAt(fd, tail_at, tail); err != 0)
    return Refused(std::move(z), "The zip archive could not be read from the disk.",
                   ReadDetail(err));

  // The last end record whose comment fits in what follows it.
  std::optional<std::size_t> end;
  for (std::size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    if (Le32(&tail[at]) != kEndSig) continue;
    if (at + kEndSize + Le16(&tail[at + 20]) <= tail.size()) {
      end = at;
      break;
    }
  }
  if (!end)
    return Refused(std::move(z),
                   "This zip archive is cut short or damaged: its table of contents, kept at its "
                   "end, is missing, so nothing in it could be taken out.",
                   "no end of central directory record in the last " + N(tail.size()) + " bytes");
  const std::uint8_t* e = &tail[*end];
  const std::uint64_t end_at = tail_at + *end;
  const std::uint16_t disk = Le16(e + 4), cd_disk = Le16(e + 6);
  const std::uint16_t disk_entries = Le16(e + 8), entries = Le16(e + 10);
  const std::uint32_t cd_size = Le32(e + 12), cd_offset = Le32(e + 16);
  const bool locator = *end >= kLocatorSize && Le32(&tail[*end - kLocatorSize]) == kZip64LocatorSig;
  if (locator || cd_size == 0xFFFFFFFF || cd_offset == 0xFFFFFFFF)
    return Refused(
        std::move(z),
        "This zip archive is in the ZIP64 form (for archives over 4 GB or with very many "
        "files), which the rescue does not open: unpack it with another program, then "
        "rescue the files.",
        "ZIP64 end of central directory");
  if (disk != 0 || cd_disk != 0 || disk_entries != entries)
    return Refused(std::move(z),
                   "This zip archive is one part of an archive split into several files: join the "
                   "parts first, then rescue the whole.",
                   "disk " + N(disk) + ", directory on disk " + N(cd_disk));
  if (std::uint64_t{cd_offset} + cd_size > end_at)
    return Refused(std::move(z),
                   "This zip archive's table of contents points outside the archive: the archive "
                   "is damaged.",
                   "central directory at offset " + N(cd_offset) + ", " + N(cd_size) +
                       " bytes, past the end record at " + N(end_at));
  if (std::uint64_t{entries} * kCentralSize > cd_size)
    return Refused(std::move(z),
                   "This zip archive's table of contents claims more files than it can hold: the "
                   "archive is damaged.",
                   N(entries) + " entries in a central directory of " + N(cd_size) + " bytes");

  std::vector<std::uint8_t> cd(cd_size);
  if (const int err = ReadAt(fd, cd_offset, cd); err != 0)
    return Refused(std::move(z), "The zip archive could not be read from the disk.",
                   ReadDetail(err));
  std::size_t at = 0;
  for (std::uint32_t i = 0; i < entries; ++i) {
    const auto damaged = [&](const std::string& what) {
      return Refused(std::move(z),
                     "This zip archive's table of contents is damaged: nothing in it could be "
                     "taken out safely.",
                     "central directory entry " + N(i) + ": " + what);
    };
    if (at + kCentralSize > cd.size()) return damaged("past the directory's end");
    const std::uint8_t* c = &cd[at];
    if (Le32(c) != kCentralSig) return damaged("no entry signature at " + N(cd_offset + at));
    const std::size_t name_len = Le16(c + 28), extra_len = Le16(c + 30), comment_len = Le16(c + 32);
    if (at + kCentralSize + name_len + extra_len + comment_len > cd.size())
      return damaged("its name or extra fields run past the directory's end");
    ZipMember m;
    m.flags = Le16(c + 8);
    m.method = Le16(c + 10);
    m.crc = Le32(c + 16);
    m.packed = Le32(c + 20);
    m.size = Le32(c + 24);
    m.offset = Le32(c + 42);
    m.name.assign(reinterpret_cast<const char*>(c + kCentralSize), name_len);
    m.shown = ShownName(m.name, (m.flags & 0x0800) != 0);
    m.folder = !m.name.empty() && m.name.back() == '/';
    m.problem = EntryProblem(m, Le16(c + 34), cd_offset, m.detail);
    z.members.push_back(std::move(m));
    at += kCentralSize + name_len + extra_len + comment_len;
  }
  if (std::string detail; !PlaceMembers(z.members, cd_offset, detail))
    return Refused(std::move(z),
                   "This zip archive's table of contents lists files that overlap each other, as "
                   "archives built to exhaust memory do: it was not opened.",
                   detail);
  return z;
}

std::shared_ptr<const ZipListing> ListZip(const std::filesystem::path& path) {
  const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return nullptr;
  std::array<std::uint8_t, 4> head{};
  if (ReadAt(fd.get(), 0, head) != 0 || !ZipSignature(head)) return nullptr;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return nullptr;
  return std::make_shared<const ZipListing>(
      ReadZipListing(fd.get(), static_cast<std::uint64_t>(st.st_size)));
}

std::optional<FileError> ExtractMember(int fd, const ZipListing& zip, std::size_t index,
                                       Bytes* bytes) {
  if (index >= zip.members.size())
    return Failure("This file is not in its zip archive.", "no entry " + N(index));
  const ZipMember& m = zip.members[index];
  if (!m.problem.empty()) return Failure(m.problem, m.detail);
  const std::string damaged =
      "This file's entry in its zip archive is damaged: it could not be taken out.";
  std::array<std::uint8_t, kLocalSize> local{};
  if (const int err = ReadAt(fd, m.offset, local); err != 0)
    return Failure("This file could not be read from its zip archive.", ReadDetail(err));
  if (Le32(local.data()) != kLocalSig)
    return Failure(damaged, "no local header at offset " + N(m.offset));
  const std::uint64_t data_at = m.offset + kLocalSize + Le16(&local[26]) + Le16(&local[28]);
  if (data_at + m.packed > m.limit)
    return Failure(damaged, "its data (" + N(m.packed) + " bytes from offset " + N(data_at) +
                                ") runs past its place, which ends at " + N(m.limit));
  const std::uint64_t cap = MemberCap(zip.size);
  if (m.size > cap)
    return Failure("This file would be larger unpacked (" + N(m.size) +
                       " bytes) than the rescue takes out of an archive of this size (" + N(cap) +
                       " bytes at most).",
                   "declared size " + N(m.size) + " over the cap of " + N(cap));
  if (m.method == 0 && m.packed != m.size)
    return Failure(damaged,
                   "a stored member of " + N(m.packed) + " bytes declared as " + N(m.size));
  if (bytes != nullptr) {
    bytes->clear();
    const std::uint64_t most = m.method == 0 ? m.size : m.packed * kMaxDeflateRatio + kChunk;
    bytes->reserve(static_cast<std::size_t>(std::min(m.size, most)));
  }

  uLong crc = ::crc32(0, nullptr, 0);
  std::uint64_t produced = 0;
  const auto take = [&](const std::uint8_t* p, std::size_t n) -> bool {
    if (n > m.size - produced) return false;
    produced += n;
    crc = ::crc32(crc, p, static_cast<uInt>(n));
    if (bytes != nullptr) bytes->insert(bytes->end(), p, p + n);
    return true;
  };
  std::vector<std::uint8_t> in(kChunk), out(m.method == 0 ? 0 : kChunk);
  std::uint64_t left = m.packed, at = data_at;
  z_stream zs{};
  bool ended = m.method == 0;
  if (m.method == 8 && ::inflateInit2(&zs, -MAX_WBITS) != Z_OK)
    return Failure("This file could not be unpacked from its zip archive.", "inflateInit2 failed");
  struct InflateEnd {
    z_stream& zs;
    bool on;
    ~InflateEnd() {
      if (on) ::inflateEnd(&zs);
    }
  } guard{zs, m.method == 8};
  const std::string more = "This file unpacks to more than its zip archive says it holds (" +
                           N(m.size) +
                           " bytes): the archive is damaged or built to exhaust memory, and the "
                           "file was not taken out.";
  while (left > 0 && !(m.method == 8 && ended)) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
    if (const int err = ReadAt(fd, at, std::span(in).first(n)); err != 0)
      return Failure("This file could not be read from its zip archive.", ReadDetail(err));
    at += n;
    left -= n;
    if (m.method == 0) {
      take(in.data(), n);
      continue;
    }
    zs.next_in = in.data();
    zs.avail_in = static_cast<uInt>(n);
    while (zs.avail_in > 0 || zs.avail_out == 0) {
      zs.next_out = out.data();
      zs.avail_out = static_cast<uInt>(out.size());
      const int rc = ::inflate(&zs, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
        return Failure(
            "This file's compressed data in its zip archive is damaged.",
            std::string("inflate: ") + (zs.msg != nullptr ? zs.msg : std::to_string(rc)));
      if (!take(out.data(), out.size() - zs.avail_out))
        return Failure(more, "inflated past the declared " + N(m.size) + " bytes");
      if (rc == Z_STREAM_END) {
        ended = true;
        break;
      }
      if (rc == Z_BUF_ERROR) break;  // needs more input
    }
  }
  if (!ended)
    return Failure(
        "This file's compressed data in its zip archive ends early: the archive is cut "
        "short or damaged.",
        "deflate stream without its end");
  if (produced != m.size)
    return Failure("This file unpacks to fewer bytes than its zip archive says (" + N(produced) +
                       " of " + N(m.size) + "): the archive is damaged.",
                   "size " + N(produced) + " where " + N(m.size) + " was declared");
  if (crc != m.crc)
    return Failure(
        "This file's check sum in its zip archive does not match its contents: the file "
        "is damaged.",
        "CRC-32 " + Hex(crc) + " where the archive says " + Hex(m.crc));
  return std::nullopt;
}

void AddZipMembers(const FoundFile& archive, std::vector<FoundFile>& files) {
  if (!archive.zip) return;
  const std::vector<ZipMember>& members = archive.zip->members;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i].folder) continue;
    FoundFile f;
    // Shown after the archive's own path, as if it were a folder: a folder
    // and a file of one name cannot sit side by side, so no path on disk
    // reads the same.
    f.input = archive.input + "/" + members[i].shown;
    f.path = archive.path;
    f.zip = archive.zip;
    f.member = i;
    files.push_back(std::move(f));
  }
}

std::optional<FileError> ReadZipMember(const FoundFile& member, Bytes& bytes) {
  const Fd fd(::open(member.path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    const int err = errno;
    return Failure("The zip archive holding this file could not be opened.", std::strerror(err));
  }
  return ExtractMember(fd.get(), *member.zip, member.member.value_or(member.zip->members.size()),
                       &bytes);
}

void RescueZipArchive(const FoundFile& archive, const std::string& original_name, OutputFolder& out,
                      FileReport& r) {
  r.detection.kind = Kind::kZip;
  const Fd fd(::open(archive.path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
    const int err = errno;
    r.status = Status::kUnreadable;
    r.error = Failure("The zip archive could not be read from the disk.", std::strerror(err));
    return;
  }
  r.size = static_cast<std::uint64_t>(st.st_size);

  // The copy and its digest from one reading, so that both are of the same bytes.
  try {
    PendingFile copy(out.Root() / "originals");
    Sha256 sha;
    std::vector<std::uint8_t> buf(kChunk);
    for (std::uint64_t at = 0;;) {
      const ssize_t n = ::pread(fd.get(), buf.data(), buf.size(), static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        const int err = errno;
        r.status = Status::kUnreadable;
        r.error = Failure("The zip archive could not be read from the disk.", std::strerror(err));
        return;
      }
      if (n == 0) break;
      const std::span<const std::uint8_t> got(buf.data(), static_cast<std::size_t>(n));
      sha.Update(got);
      copy.Append(got);
      at += static_cast<std::uint64_t>(n);
    }
    r.sha256 = sha.FinishHex();
    NameSet names;  // the name is unique already; a clash is a file left by an earlier run
    const std::filesystem::path original(original_name);
    r.original =
        "originals/" + copy.Commit(original.stem().string(), original.extension().string(), names);
  } catch (const std::exception& e) {
    r.status = Status::kFailed;
    r.error = Failure(PlainReason(e.what()), e.what());
    return;
  }

  const ZipListing& zip = *archive.zip;
  if (!zip.problem.empty()) {
    r.status = Status::kFailed;
    r.error = Failure(zip.problem, zip.detail);
    return;
  }
  std::optional<FileError> first;
  for (std::size_t i = 0; i < zip.members.size(); ++i) {
    const ZipMember& m = zip.members[i];
    if (m.folder) continue;
    ++r.records;
    if (r.preview.size() < 5) r.preview.push_back(m.shown);
    if (std::optional<FileError> e = ExtractMember(fd.get(), zip, i, nullptr)) {
      r.warnings.push_back({std::nullopt, m.shown + ": " + e->message + " (" + e->detail + ")"});
      if (!first) first = std::move(e);
    } else {
      ++r.rescued;
    }
  }
  if (r.records == 0)
    r.warnings.push_back({std::nullopt, "This zip archive holds no files.", false});
  if (r.rescued == r.records) {
    r.status = Status::kRescued;
  } else if (r.rescued > 0) {
    r.status = Status::kPartial;
  } else {
    r.status = Status::kFailed;
    r.error = Failure("No file could be taken out of this zip archive.", first->message);
  }
}

void NoteNestedZip(std::span<const std::uint8_t> bytes, FileReport& r) {
  if (r.detection.kind != Kind::kNotPalm || !ZipSignature(bytes)) return;
  r.detection.kind = Kind::kZip;
  r.warnings.push_back({std::nullopt,
                        "A zip archive inside another is not opened: take it out and rescue it "
                        "on its own.",
                        false});
}

}  // namespace corvane::rescue
