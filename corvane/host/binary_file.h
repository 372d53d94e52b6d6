// An untyped binary file in 1-byte units, read and written through the
// operating system. Every failure raises EInOutError naming the path.
#pragma once

#include <cstdint>
#include <span>
#include <string>

struct iovec;

namespace corvane {

class TBinaryFile {
 public:
  TBinaryFile() = default;
  explicit TBinaryFile(std::string path) : path_(std::move(path)) {}
  TBinaryFile(const TBinaryFile&) = delete;
  TBinaryFile& operator=(const TBinaryFile&) = delete;
  TBinaryFile(TBinaryFile&& other) noexcept;
  TBinaryFile& operator=(TBinaryFile&& other) noexcept;
  ~TBinaryFile();  // closes quietly

  void Assign(std::string path);  // binds a path; the file must be closed
  const std::string& Path() const noexcept { return path_; }
  void Reset();    // opens the bound file for reading
  void Rewrite();  // creates (or truncates) the bound file for writing
  // Creates a new file of a short unpredictable name in `directory`, exclusively
  // (no existing file is ever opened), mode 0600, and binds its path.
  void CreateTemporary(const std::string& directory);
  // Creates a file in `directory` that has no name at all, where the system
  // offers one (Linux's O_TMPFILE), so that a process killed while writing it
  // leaves nothing behind; otherwise as CreateTemporary. Path() is then
  // `directory` until LinkTemporary names the file. Returns whether the file
  // is unnamed.
  bool CreateUnnamedTemporary(const std::string& directory);
  // Gives an unnamed file a short unpredictable name in the directory it was
  // created in, and binds that path. Raises EInOutError.
  void LinkTemporary();
  bool IsUnnamed() const noexcept { return unnamed_; }
  int Descriptor() const noexcept { return fd_; }  // -1 when closed
  void Close();  // raises when the system reports a failure (e.g. a full disk)
  bool IsOpen() const noexcept { return fd_ >= 0; }

  std::int64_t Size() const;
  std::int64_t Position() const;
  void Seek(std::int64_t pos);
  // Reads exactly out.size() bytes; fewer bytes left in the file is a failure.
  void BlockRead(std::span<std::uint8_t> out);
  // Reads up to out.size() bytes; returns how many were read.
  std::size_t Read(std::span<std::uint8_t> out);
  void BlockWrite(std::span<const std::uint8_t> data);
  // Writes the pieces one after another, as BlockWrite would write each, in
  // as few system calls as the system allows (empty pieces are skipped).
  // The pieces are read only while it runs.
  void GatherWrite(std::span<const std::span<const std::uint8_t>> pieces);
  void Sync();  // flushes the file's data to the device

 private:
  [[noreturn]] void Fail(const char* what, int err) const;
  // Writes every byte the vectors hold; they are advanced past a short write.
  void WriteVector(std::span<struct iovec> iov);
  std::string path_;
  int fd_ = -1;
  bool unnamed_ = false;
};

// The prefix of the names CreateTemporary and LinkTemporary give; six
// characters of [A-Za-z0-9] follow it.
inline constexpr char kTemporaryPrefix[] = ".cv";

// Reads a whole file into memory; raises EInOutError.
std::string ReadFileBytes(const std::string& path);

}  // namespace corvane
