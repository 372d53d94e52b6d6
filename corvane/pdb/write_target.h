// Where a database written to a path lands, and what is refused on the way:
// the rules every writer of a file (the managers, the command's conversions)
// shares, so that a symbolic link or a special file is treated alike by all.
#pragma once

#include <sys/stat.h>

#include <string>

namespace corvane::pdb {

struct WriteTarget {
  std::string path;  // the file to replace: every symbolic link followed
  bool exists = false;
  struct stat st {};  // of `path`, when it exists
};

struct TargetRefusal {
  int system_error = 0;  // errno, when the system refused
  std::string reason;    // in words; the system's text for system_error
  bool refused() const noexcept { return !reason.empty(); }
};

// Follows `path` through symbolic links to the file a write must replace,
// which may not exist yet. Refused: a directory, a device, a FIFO or a
// socket (a write would replace it by a regular file), a file this process
// may not write, a chain of links that does not end, and a link the
// kernel's protected-symlinks rule would not follow (one in a world-writable
// sticky folder, owned neither by the folder's owner nor by this process).
TargetRefusal ResolveWriteTarget(const std::string& path, WriteTarget& target);

// Removes, from `directory`, the temporary files (and the scratch folders of
// earlier versions) that writers of this library name, once they are more
// than a day old, belong to this process's user and no live process holds
// them open: what a writer killed mid-write left behind. Never raises.
void RemoveStaleTemporaries(const std::string& directory) noexcept;

// The folder a path lies in: "." for a bare name, "/" for one in the root.
std::string DirectoryOf(const std::string& path);

// Makes the new file open as `fd`, which is to replace `target`, readable by
// exactly whom the old one was (its owner, group and permissions), or by whom
// a new file would be (0666 less the umask). Failures leave mkstemp's 0600,
// which exposes nothing. Never raises.
void GiveAccessOf(int fd, const WriteTarget& target) noexcept;

// Puts a folder's entries on the device, after a rename, so that the new name
// itself survives a power cut. Never raises (some file systems refuse it).
void SyncDirectory(const std::string& directory) noexcept;

}  // namespace corvane::pdb
