// A directory for the files a fuzz target or a benchmark writes while it runs,
// removed with its contents when the program ends. It sits on /dev/shm when
// that is writable, where writing a file costs memory copies and no disk.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace corvane::fuzz {

class ScratchDir {
 public:
  // Makes <base>/<prefix>-XXXXXX.
  explicit ScratchDir(const std::string& prefix) {
    std::error_code ec;
    std::string base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ec) || ::access(base.c_str(), W_OK) != 0) {
      base = std::filesystem::temp_directory_path().string();
    }
    std::string tmpl = base + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    // Without it the program has nothing to measure or fuzz, and no caller to tell.
    if (::mkdtemp(buf.data()) == nullptr) std::abort();
    path_ = buf.data();
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace corvane::fuzz
