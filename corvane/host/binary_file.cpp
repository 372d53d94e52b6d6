#include "corvane/host/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <system_error>
#include <utility>

#include "corvane/host/exceptions.h"

namespace corvane {

TBinaryFile::TBinaryFile(TBinaryFile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      unnamed_(std::exchange(other.unnamed_, false)) {}

TBinaryFile& TBinaryFile::operator=(TBinaryFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
    unnamed_ = std::exchange(other.unnamed_, false);
  }
  return *this;
}

TBinaryFile::~TBinaryFile() {
  if (fd_ >= 0) ::close(fd_);
}

void TBinaryFile::Fail(const char* what, int err) const {
  std::string msg = std::string(what) + " '" + path_ + "'";
  if (err != 0) {
    msg += ": ";
    // strerror may share one buffer among threads; the category's text does not.
    msg += std::generic_category().message(err);
  }
  throw EInOutError(msg, err);
}

void TBinaryFile::Assign(std::string path) {
  if (fd_ >= 0) Fail("Cannot rebind an open file", 0);
  path_ = std::move(path);
}

void TBinaryFile::Reset() {
  if (fd_ >= 0) Fail("File already open", 0);
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("Cannot open", errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    Fail("Cannot open", err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    Fail("Not a regular file", S_ISDIR(st.st_mode) ? EISDIR : 0);
  }
  fd_ = fd;
}

void TBinaryFile::Rewrite() {
  if (fd_ >= 0) Fail("File already open", 0);
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail("Cannot create", errno);
  fd_ = fd;
}

void TBinaryFile::CreateTemporary(const std::string& directory) {
  if (fd_ >= 0) Fail("File already open", 0);
  // Six random characters from mkostemp: short enough that a name near the
  // system's limit still has room beside it in the directory.
  std::string name = directory;
  if (name.empty() || name.back() != '/') name += '/';
  name += kTemporaryPrefix;
  name += "XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    path_ = directory;
    Fail("Cannot create a file in", errno);
  }
  path_ = std::move(name);
  fd_ = fd;
  unnamed_ = false;
}

namespace {

// Six characters for a temporary name, from the system's random source
// (mkostemp's own alphabet).
std::string RandomSuffix() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::array<std::uint8_t, 6> bytes{};
  if (::getentropy(bytes.data(), bytes.size()) != 0) {
    // Uniqueness is checked by the exclusive link anyway; this only varies it.
    std::uint64_t x = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull ^
                      static_cast<std::uint64_t>(std::time(nullptr));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(x >>= 7);
  }
  std::string out;
  for (const std::uint8_t b : bytes) out += kAlphabet[b % (sizeof kAlphabet - 1)];
  return out;
}

}  // namespace

bool TBinaryFile::CreateUnnamedTemporary(const std::string& directory) {
  if (fd_ >= 0) Fail("File already open", 0);
#ifdef O_TMPFILE
  // Naming the file later goes through /proc; without it the file could
  // never be given a name, so it is not made unnamed in the first place.
  if (::access("/proc/self/fd", X_OK) == 0) {
    const std::string dir = directory.empty() ? std::string(".") : directory;
    const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
      path_ = dir;
      fd_ = fd;
      unnamed_ = true;
      return true;
    }
    // File systems without the feature say so in several ways; anything else
    // (a missing directory, no permission) the named file reports as well.
  }
#endif
  CreateTemporary(directory);
  return false;
}

void TBinaryFile::LinkTemporary() {
  if (fd_ < 0 || !unnamed_) Fail("No unnamed file to link in", 0);
  const std::string proc = "/proc/self/fd/" + std::to_string(fd_);
  std::string dir = path_;
  if (dir.empty() || dir.back() != '/') dir += '/';
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = dir + kTemporaryPrefix + RandomSuffix();
    if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      path_ = std::move(name);
      unnamed_ = false;
      return;
    }
    if (errno != EEXIST) Fail("Cannot name a new file in", errno);
  }
  Fail("Cannot name a new file in", EEXIST);
}

void TBinaryFile::Close() {
  if (fd_ < 0) return;
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) Fail("Cannot close", errno);
}

std::int64_t TBinaryFile::Size() const {
  if (fd_ < 0) Fail("File not open", 0);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) Fail("Cannot get the size of", errno);
  return st.st_size;
}

std::int64_t TBinaryFile::Position() const {
  if (fd_ < 0) Fail("File not open", 0);
  const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  if (pos < 0) Fail("Cannot tell the position in", errno);
  return pos;
}

void TBinaryFile::Seek(std::int64_t pos) {
  if (fd_ < 0) Fail("File not open", 0);
  if (pos < 0 || ::lseek(fd_, pos, SEEK_SET) < 0) Fail("Cannot seek in", pos < 0 ? EINVAL : errno);
}

std::size_t TBinaryFile::Read(std::span<std::uint8_t> out) {
  if (fd_ < 0) Fail("File not open", 0);
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::read(fd_, out.data() + done, out.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot read", errno);
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void TBinaryFile::BlockRead(std::span<std::uint8_t> out) {
  if (Read(out) != out.size()) Fail("Read past the end of", 0);
}

void TBinaryFile::BlockWrite(std::span<const std::uint8_t> data) {
  if (fd_ < 0) Fail("File not open", 0);
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write", errno);
    }
    done += static_cast<std::size_t>(n);
  }
}

namespace {

#ifdef IOV_MAX
constexpr std::size_t kMaxIov = IOV_MAX;
#else
constexpr std::size_t kMaxIov = 1024;  // what POSIX systems commonly allow
#endif

// Pieces shorter than this are copied into one staging block and written
// with their neighbours: the system copies many small segments of a gathered
// write slower than one long one (a record is typically some 100 bytes).
constexpr std::size_t kCopyBelow = 4096;
constexpr std::size_t kStagingSize = 64 * 1024;

}  // namespace

void TBinaryFile::WriteVector(std::span<iovec> iov) {
  std::size_t first = 0;
  while (first < iov.size()) {
    const ssize_t n = ::writev(fd_, iov.data() + first, static_cast<int>(iov.size() - first));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write", errno);
    }
    if (n == 0) Fail("Cannot write", EIO);  // no progress: never loop on it
    // A short write (a signal, a file size limit) resumes where it stopped.
    auto done = static_cast<std::size_t>(n);
    while (first < iov.size() && done >= iov[first].iov_len) {
      done -= iov[first].iov_len;
      ++first;
    }
    if (done > 0) {
      iov[first].iov_base = static_cast<std::uint8_t*>(iov[first].iov_base) + done;
      iov[first].iov_len -= done;
    }
  }
}

void TBinaryFile::GatherWrite(std::span<const std::span<const std::uint8_t>> pieces) {
  if (fd_ < 0) Fail("File not open", 0);
  std::array<iovec, kMaxIov> iov;
  std::size_t count = 0;
  const auto staging = std::make_unique_for_overwrite<std::uint8_t[]>(kStagingSize);
  std::size_t staged = 0;
  const auto flush = [&] {
    WriteVector(std::span<iovec>(iov.data(), count));
    count = 0;
    staged = 0;
  };
  for (const std::span<const std::uint8_t> piece : pieces) {
    if (piece.empty()) continue;
    if (count == kMaxIov || (piece.size() < kCopyBelow && staged + piece.size() > kStagingSize)) {
      flush();
    }
    if (piece.size() >= kCopyBelow) {
      // writev only reads through it: the system's structure has no const form.
      iov[count++] = iovec{const_cast<std::uint8_t*>(piece.data()), piece.size()};
      continue;
    }
    std::uint8_t* to = staging.get() + staged;
    std::memcpy(to, piece.data(), piece.size());
    staged += piece.size();
    if (count > 0 &&
        static_cast<std::uint8_t*>(iov[count - 1].iov_base) + iov[count - 1].iov_len == to) {
      iov[count - 1].iov_len += piece.size();  // follows the staged bytes before it
    } else {
      iov[count++] = iovec{to, piece.size()};
    }
  }
  if (count > 0) flush();
}

void TBinaryFile::Sync() {
  if (fd_ < 0) Fail("File not open", 0);
  if (::fsync(fd_) != 0) Fail("Cannot flush", errno);
}

std::string ReadFileBytes(const std::string& path) {
  TBinaryFile f(path);
  f.Reset();
  const std::int64_t size = f.Size();
  std::string out(static_cast<std::size_t>(size), '\0');
  std::span<std::uint8_t> span(reinterpret_cast<std::uint8_t*>(out.data()), out.size());
  f.BlockRead(span);
  f.Close();
  return out;
}

}  // namespace corvane
