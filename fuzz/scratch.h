// A directory for the files a fuzz target, a benchmark or a test writes while
// it runs, removed with its contents when its owner goes. By default it sits
// on /dev/shm when that is writable, where writing a file costs memory copies
// and no disk.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace corvane::fuzz {

class ScratchDir {
 public:
  // Makes <base>/<prefix>-XXXXXX, with /dev/shm or the system's temporary
  // directory as the base. Raises std::runtime_error when it cannot: a program
  // without it has nothing to measure, fuzz or test.
  explicit ScratchDir(const std::string& prefix) : ScratchDir(prefix, MemoryOrTemp()) {}
  ScratchDir(const std::string& prefix, const std::string& base) {
    std::string tmpl = base + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed in " + base);
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
  static std::string MemoryOrTemp() {
    std::error_code ec;
    const std::string shm = "/dev/shm";
    if (std::filesystem::is_directory(shm, ec) && ::access(shm.c_str(), W_OK) == 0) return shm;
    return std::filesystem::temp_directory_path().string();
  }

  std::string path_;
};

}  // namespace corvane::fuzz
