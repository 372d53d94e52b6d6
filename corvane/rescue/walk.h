// The files under the rescue's inputs. Symbolic links are followed, each
// folder and file entered once (by device and inode): a link back to a folder
// above it, or a second way to one already seen, is noted and passed by. A
// zip archive is an input, and so is each of its members, after it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvane::rescue {

struct ZipListing;

struct FoundFile {
  std::string input;            // the argument joined with the path below it
  std::filesystem::path path;   // to open
  bool folder = false;          // a folder that could not be read
  std::string problem;          // why it could not be read or listed; empty when fine
  // A zip archive (by its content): its directory as the walk read it. With
  // `member` set, this input is that member of the archive at `path`.
  std::shared_ptr<const ZipListing> zip = nullptr;
  std::optional<std::size_t> member = std::nullopt;
};

struct WalkResult {
  std::vector<FoundFile> files;  // sorted by `input`
  std::vector<std::string> notes;
};

WalkResult Walk(const std::vector<std::string>& inputs);

}  // namespace corvane::rescue
