#include "corvane/rescue/out_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <system_error>
#include <vector>

namespace corvane::rescue {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(int err, const std::string& what) {
  throw std::system_error(err, std::generic_category(), what);
}

std::atomic<unsigned long> temp_counter{0};

// Renames `from` to `to` unless `to` exists; false when it does.
bool RenameNoReplace(const fs::path& from, const fs::path& to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) return false;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) Fail(errno, to.string());
#endif
  // A file system without the no-replace rename: a hard link refuses an
  // existing name just as well.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) Fail(errno, to.string());
  // Neither: look first (another writer could slip in between, but this run
  // never writes one name from two threads).
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return false;
  if (::rename(from.c_str(), to.c_str()) != 0) Fail(errno, to.string());
  return true;
}

void MakeFolders(const fs::path& path) {
  std::error_code ec;
  fs::create_directories(path, ec);
  if (ec) throw std::system_error(ec, path.string());
}

std::string Relative(std::string_view folder, const std::string& name) {
  return folder.empty() ? name : std::string(folder) + "/" + name;
}

}  // namespace

PendingFile::PendingFile(const fs::path& folder) : folder_(folder) {
  // The folder is made when the first file in it finds it missing: most
  // files go to a folder that is there already.
  bool made = false;
  for (;;) {
    temp_ = folder / (".corvane-partial-" + std::to_string(::getpid()) + "-" +
                      std::to_string(temp_counter.fetch_add(1)));
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) return;
    if (errno == ENOENT && !made) {
      MakeFolders(folder);
      made = true;
      continue;
    }
    if (errno != EEXIST) Fail(errno, folder.string());
  }
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

void PendingFile::Append(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno, folder_.string());
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
}

std::string PendingFile::Commit(std::string_view stem, std::string_view extension,
                                NameSet& names) {
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail(errno, folder_.string());
  for (;;) {
    const std::string name = names.Claim(stem, extension);
    if (RenameNoReplace(temp_, folder_ / name)) {
      temp_.clear();
      return name;
    }
  }
}

PendingFolder::PendingFolder(const fs::path& parent) : parent_(parent) {
  MakeFolders(parent);
  for (;;) {
    temp_ = parent / (".corvane-partial-" + std::to_string(::getpid()) + "-" +
                      std::to_string(temp_counter.fetch_add(1)));
    if (::mkdir(temp_.c_str(), 0777) == 0) return;
    if (errno != EEXIST) Fail(errno, parent.string());
  }
}

PendingFolder::~PendingFolder() {
  if (temp_.empty()) return;
  std::error_code ec;
  fs::remove_all(temp_, ec);
}

std::string PendingFolder::Commit(std::string_view stem, NameSet& names) {
  for (;;) {
    const std::string name = names.Claim(stem, "");
    if (RenameNoReplace(temp_, parent_ / name)) {
      temp_.clear();
      return name;
    }
  }
}

std::string OutputFolder::Write(std::string_view folder, std::string_view stem,
                                std::string_view extension, std::span<const std::uint8_t> bytes,
                                NameSet& names) {
  PendingFile file(root_ / folder);
  file.Append(bytes);
  return Relative(folder, file.Commit(stem, extension, names));
}

std::string OutputFolder::MakeFolder(std::string_view folder, std::string_view stem,
                                     NameSet& names) {
  MakeFolders(root_ / folder);
  for (;;) {
    const std::string name = names.Claim(stem, "");
    const fs::path path = root_ / folder / name;
    if (::mkdir(path.c_str(), 0777) == 0) return Relative(folder, name);
    if (errno != EEXIST) Fail(errno, path.string());
  }
}

void OutputFolder::Remember(const std::string& path, std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (keptBytes_ + text.size() > kKeepBudget) return;
  keptBytes_ += text.size();
  kept_[path] = std::move(text);
}

bool OutputFolder::Recall(const std::string& path, std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto it = kept_.find(path); it != kept_.end()) {
      text = std::move(it->second);
      keptBytes_ -= text.size();
      kept_.erase(it);
      return true;
    }
  }
  int err = 0;
  return ReadWholeFile(root_ / path, text, err);
}

template <class Buffer>
bool ReadWholeFile(const fs::path& path, Buffer& bytes, int& err) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    err = errno;
    return false;
  }
  bytes.clear();
  struct stat st {};
  // The size is a hint only: the file may change while it is read, and a
  // sparse file claims more than it will give.
  if (::fstat(fd, &st) == 0 && st.st_size > 0)
    bytes.reserve(static_cast<std::size_t>(std::min<off_t>(st.st_size, off_t{1} << 28)));
  std::uint8_t buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buf, buf + n);
  }
  ::close(fd);
  return true;
}

template bool ReadWholeFile(const fs::path&, std::string&, int&);
template bool ReadWholeFile(const fs::path&, std::vector<std::uint8_t>&, int&);

}  // namespace corvane::rescue
