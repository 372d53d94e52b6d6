// Writing under the output folder: every file goes to a temporary name in its
// folder first and takes its final name only when whole, and never over a
// file already there (a clash takes the next free " (n)" name instead).
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "corvane/rescue/safe_name.h"

namespace corvane::rescue {

class OutputFolder {
 public:
  explicit OutputFolder(std::filesystem::path root) : root_(std::move(root)) {}
  const std::filesystem::path& Root() const noexcept { return root_; }

  // Writes `bytes` as folder/stem+extension (folder relative to the root,
  // created when missing), the name claimed in `names`; gives the path
  // written, relative to the root. Raises std::system_error (the disk is
  // full, ...) having left nothing behind.
  std::string Write(std::string_view folder, std::string_view stem, std::string_view extension,
                    std::span<const std::uint8_t> bytes, NameSet& names);
  std::string Write(std::string_view folder, std::string_view stem, std::string_view extension,
                    std::string_view text, NameSet& names) {
    return Write(folder, stem, extension,
                 std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                               text.size()),
                 names);
  }
  // Creates folder/stem (a folder of its own), claimed in `names`.
  std::string MakeFolder(std::string_view folder, std::string_view stem, NameSet& names);

  // Keeps the text of a written file that the run joins with others later
  // (contacts.vcf, memos.txt, tables.sqlite), so that it need not be read
  // back from the disk; beyond a budget of memory nothing more is kept and
  // the join reads the file. Any thread.
  void Remember(const std::string& path, std::string text);
  // The text written at `path`: the kept one (given up) or read from the
  // disk. False when neither can be had.
  bool Recall(const std::string& path, std::string& text);

 private:
  static constexpr std::size_t kKeepBudget = 16u << 20;
  std::filesystem::path root_;
  std::mutex mutex_;
  std::map<std::string, std::string> kept_;
  std::size_t keptBytes_ = 0;
};

// The whole of a file into `bytes` (a std::string or a byte vector); false
// with errno's value in `err`.
template <class Buffer>
bool ReadWholeFile(const std::filesystem::path& path, Buffer& bytes, int& err);

// A file written piece by piece under a temporary name; removed unless
// committed.
class PendingFile {
 public:
  // Raises std::system_error.
  explicit PendingFile(const std::filesystem::path& folder);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  void Append(std::span<const std::uint8_t> bytes);
  void Append(std::string_view text) {
    Append(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                         text.size()));
  }
  // Gives the file its name: stem+extension, or the next free one of `names`
  // when a file of that name exists. Returns the name taken.
  std::string Commit(std::string_view stem, std::string_view extension, NameSet& names);
  // The open file, for writers that take one.
  int Descriptor() const noexcept { return fd_; }

 private:
  std::filesystem::path folder_, temp_;
  int fd_ = -1;
};

// A folder filled under a temporary name; removed with its contents unless
// committed.
class PendingFolder {
 public:
  // Raises std::system_error.
  explicit PendingFolder(const std::filesystem::path& parent);
  ~PendingFolder();
  PendingFolder(const PendingFolder&) = delete;
  PendingFolder& operator=(const PendingFolder&) = delete;

  const std::filesystem::path& Path() const noexcept { return temp_; }
  // Gives the folder its name, as PendingFile::Commit does.
  std::string Commit(std::string_view stem, NameSet& names);

 private:
  std::filesystem::path parent_, temp_;
};

}  // namespace corvane::rescue
