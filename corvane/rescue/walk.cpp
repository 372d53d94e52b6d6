#include "corvane/rescue/walk.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "corvane/rescue/zip.h"

namespace corvane::rescue {

namespace fs = std::filesystem;

namespace {

using FileId = std::pair<dev_t, ino_t>;

std::string Joined(const std::string& base, const std::string& below) {
  if (base.empty() || base.back() == '/') return base + below;
  return base + "/" + below;
}

class Walker {
 public:
  WalkResult result;

  void Input(const std::string& arg) {
    struct stat st {};
    if (::stat(arg.c_str(), &st) != 0) {
      const int err = errno;
      result.files.push_back({arg, fs::path(arg), false, std::strerror(err)});
      return;
    }
    if (S_ISDIR(st.st_mode)) {
      Folder(arg, fs::path(arg), st);
    } else {
      File(arg, fs::path(arg), st);
    }
  }

 private:
  void File(const std::string& shown, const fs::path& path, const struct stat& st) {
    if (!S_ISREG(st.st_mode)) {
      result.notes.push_back(shown + ": passed by (not a regular file)");
      return;
    }
    if (!files_.insert({st.st_dev, st.st_ino}).second) {
      result.notes.push_back(shown + ": passed by (the same file as one already read)");
      return;
    }
    FoundFile found{shown, path, false, {}};
    found.zip = ListZip(path);
    result.files.push_back(found);
    AddZipMembers(found, result.files);
  }

  void Folder(const std::string& shown, const fs::path& path, const struct stat& st) {
    if (!folders_.insert({st.st_dev, st.st_ino}).second) {
      result.notes.push_back(shown + ": passed by (a folder already read; a link loops back)");
      return;
    }
    std::error_code ec;
    fs::directory_iterator it(path, ec);
    if (ec) {
      result.files.push_back({shown, path, true, ec.message()});
      return;
    }
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
      names.push_back(it->path().filename().string());
    }
    if (ec) result.files.push_back({shown, path, true, ec.message()});
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      const fs::path child = path / name;
      struct stat cs {};
      if (::stat(child.c_str(), &cs) != 0) {
        const int err = errno;
        // A dangling link or a file that went away while listing.
        result.files.push_back({Joined(shown, name), child, false, std::strerror(err)});
        continue;
      }
      if (S_ISDIR(cs.st_mode)) {
        Folder(Joined(shown, name), child, cs);
      } else {
        File(Joined(shown, name), child, cs);
      }
    }
  }

  std::set<FileId> folders_, files_;
};

}  // namespace

WalkResult Walk(const std::vector<std::string>& inputs) {
  Walker w;
  for (const std::string& in : inputs) w.Input(in);
  std::stable_sort(w.result.files.begin(), w.result.files.end(),
                   [](const FoundFile& a, const FoundFile& b) { return a.input < b.input; });
  return std::move(w.result);
}

}  // namespace corvane::rescue
