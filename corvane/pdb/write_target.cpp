#include "corvane/pdb/write_target.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "corvane/host/binary_file.h"

namespace corvane::pdb {

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

// The process's umask, read without changing it (umask(2) would, for a moment,
// for every thread).
mode_t CurrentUmask() {
  if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f) != nullptr) {
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(f);
    if (found) return static_cast<mode_t>(mask);
  }
  return 022;
}

TargetRefusal SystemRefusal(int err) {
  return TargetRefusal{err, std::generic_category().message(err)};
}

// What the kernel's fs.protected_symlinks would say of following the link
// `link` (whose lstat is `st`): a link in a sticky world-writable folder is
// followed only when its owner is the folder's owner or the follower.
bool LinkMayBeFollowed(const std::string& link, const struct stat& st) {
  struct stat dir {};
  if (::stat(DirectoryOf(link).c_str(), &dir) != 0) return true;  // lstat found it: unlikely
  const bool shared = (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
  return !shared || st.st_uid == dir.st_uid || st.st_uid == ::geteuid();
}

const char* SpecialKind(mode_t mode) {
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  if (S_ISFIFO(mode)) return "it is a FIFO, not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  return "it is not a regular file";
}

bool IsOwnTemporaryName(std::string_view name, std::string_view prefix) {
  if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) return false;
  for (const char c : name.substr(prefix.size())) {
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum) return false;
  }
  return true;
}

using FileId = std::pair<dev_t, ino_t>;

// Every file some process this one may look at holds open.
std::set<FileId> FilesHeldOpen() {
  std::set<FileId> held;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return held;
  while (const dirent* p = ::readdir(proc)) {
    if (p->d_name[0] < '0' || p->d_name[0] > '9') continue;
    const std::string fds = std::string("/proc/") + p->d_name + "/fd";
    DIR* d = ::opendir(fds.c_str());
    if (d == nullptr) continue;
    while (const dirent* f = ::readdir(d)) {
      if (f->d_name[0] == '.') continue;
      struct stat st {};
      if (::stat((fds + "/" + f->d_name).c_str(), &st) == 0) held.emplace(st.st_dev, st.st_ino);
    }
    ::closedir(d);
  }
  ::closedir(proc);
  return held;
}

constexpr std::time_t kStaleAfter = 24 * 60 * 60;
constexpr std::string_view kScratchPrefix = ".corvane-convert-";

}  // namespace

TargetRefusal ResolveWriteTarget(const std::string& path, WriteTarget& target) {
  std::string p = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) {
      if (errno != ENOENT) return SystemRefusal(errno);
      target.path = p;
      target.exists = false;
      return {};
    }
    if (!S_ISLNK(st.st_mode)) {
      target.path = p;
      target.exists = true;
      target.st = st;
      if (S_ISDIR(st.st_mode)) return SystemRefusal(EISDIR);
      if (!S_ISREG(st.st_mode)) return TargetRefusal{0, SpecialKind(st.st_mode)};
      // Renaming over it would succeed where writing it may not: the owner
      // made it read-only, so it is not replaced.
      if (::faccessat(AT_FDCWD, p.c_str(), W_OK, AT_EACCESS) != 0) return SystemRefusal(errno);
      return {};
    }
    if (!LinkMayBeFollowed(p, st)) {
      return TargetRefusal{EACCES,
                           "the symbolic link '" + p +
                               "' lies in a shared sticky folder and belongs to another user"};
    }
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
    const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
    if (n < 0) return SystemRefusal(errno);
    if (static_cast<std::size_t>(n) >= link.size() && st.st_size > 0 && n != st.st_size) {
      return SystemRefusal(ENAMETOOLONG);  // the link changed while it was read
    }
    link.resize(static_cast<std::size_t>(n));
    p = link.starts_with('/') ? link : DirectoryOf(p) + "/" + link;
  }
  return SystemRefusal(ELOOP);
}

void RemoveStaleTemporaries(const std::string& directory) noexcept {
  try {
    const std::string dir = directory.empty() ? std::string(".") : directory;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return;
    const int dfd = ::dirfd(d);
    const std::time_t now = std::time(nullptr);
    const uid_t me = ::geteuid();
    std::vector<std::pair<std::string, struct stat>> files, folders;
    while (const dirent* e = ::readdir(d)) {
      const std::string_view name = e->d_name;
      const bool file = IsOwnTemporaryName(name, kTemporaryPrefix);
      const bool folder = IsOwnTemporaryName(name, kScratchPrefix);
      if (!file && !folder) continue;
      struct stat st {};
      if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (st.st_uid != me || now - st.st_mtime <= kStaleAfter) continue;
      if (file && S_ISREG(st.st_mode)) files.emplace_back(std::string(name), st);
      if (folder && S_ISDIR(st.st_mode)) folders.emplace_back(std::string(name), st);
    }
    if (files.empty() && folders.empty()) {
      ::closedir(d);
      return;
    }
    const std::set<FileId> held = FilesHeldOpen();
    const auto is_held = [&](const struct stat& st) {
      return held.count(FileId(st.st_dev, st.st_ino)) > 0;
    };
    for (const auto& [name, st] : files) {
      if (!is_held(st)) ::unlinkat(dfd, name.c_str(), 0);
    }
    // An earlier version's scratch folder held the converted file and nothing
    // else of anyone's: it goes when all it holds is stale, regular and free.
    for (const auto& [name, st] : folders) {
      const int sub = ::openat(dfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0) continue;
      DIR* s = ::fdopendir(sub);
      if (s == nullptr) {
        ::close(sub);
        continue;
      }
      std::vector<std::string> inside;
      bool removable = true;
      while (const dirent* e = ::readdir(s)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat fst {};
        if (::fstatat(sub, e->d_name, &fst, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(fst.st_mode) ||
            fst.st_uid != me || now - fst.st_mtime <= kStaleAfter || is_held(fst)) {
          removable = false;
          break;
        }
        inside.emplace_back(e->d_name);
      }
      if (removable) {
        for (const std::string& f : inside) ::unlinkat(sub, f.c_str(), 0);
      }
      ::closedir(s);
      if (removable) ::unlinkat(dfd, name.c_str(), AT_REMOVEDIR);
    }
    ::closedir(d);
  } catch (...) {
    // Tidying is a courtesy: no write fails for it.
  }
}

void GiveAccessOf(int fd, const WriteTarget& target) noexcept {
  if (target.exists) {
    if (::fchown(fd, target.st.st_uid, target.st.st_gid) != 0) {
      [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), target.st.st_gid);
    }
    ::fchmod(fd, target.st.st_mode & 07777);
  } else {
    ::fchmod(fd, 0666 & ~CurrentUmask());
  }
}

void SyncDirectory(const std::string& directory) noexcept {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace corvane::pdb
