// A scratch directory removed with its contents at the end of a test, and
// small file helpers shared by the test programs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/scratch.h"

namespace corvane::test {

// In the system's temporary directory, as the files a user's program writes.
class TempDir : public fuzz::ScratchDir {
 public:
  TempDir() : ScratchDir("corvane-test", std::filesystem::temp_directory_path().string()) {}

  std::string File(const std::string& name) const { return path() + "/" + name; }
};

inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Builds big-endian byte sequences in tests.
class ByteWriter {
 public:
  ByteWriter& U8(std::uint8_t v) {
    bytes.push_back(v);
    return *this;
  }
  ByteWriter& U16(std::uint16_t v) { return U8(v >> 8).U8(v & 0xFF); }
  ByteWriter& U32(std::uint32_t v) { return U16(v >> 16).U16(v & 0xFFFF); }
  ByteWriter& Str(const std::string& s, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) U8(i < s.size() ? static_cast<std::uint8_t>(s[i]) : 0);
    return *this;
  }
  ByteWriter& Raw(const std::vector<std::uint8_t>& v) {
    bytes.insert(bytes.end(), v.begin(), v.end());
    return *this;
  }
  std::vector<std::uint8_t> bytes;
};

// A PDB header with the given offsets and record count; dates fixed.
inline ByteWriter PdbHeader(const std::string& name, std::uint16_t count, std::uint32_t app = 0,
                            std::uint32_t sort = 0, std::uint16_t attributes = 0) {
  ByteWriter w;
  w.Str(name, 32).U16(attributes).U16(1).U32(0xB0000000).U32(0xB0000000).U32(0).U32(7);
  w.U32(app).U32(sort).Str("DATA", 4).Str("test", 4).U32(0).U32(0).U16(count);
  return w;
}

}  // namespace corvane::test
