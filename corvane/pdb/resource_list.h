// The resource list of a resource database (header attribute 0x0001, the
// .prc files of applications and shared libraries): the same 78-byte header
// as a record database, then 10-byte entries of a four-character type, a
// 16-bit ID and a 32-bit data offset. A resource measures up to the next
// one's offset, the last one up to the end of the file. Every number is
// checked against the file's size before it is used.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "corvane/pdb/file_format.h"

namespace corvane::pdb {

inline constexpr std::size_t kResourceEntrySize = 10;

struct Resource {
  std::string type;  // exactly four bytes, as stored
  std::uint16_t id = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

struct ResourceDatabase {
  Header header;
  std::uint32_t app_info_size = 0;  // 0 without the block
  std::uint32_t sort_info_size = 0;
  std::vector<Resource> resources;
};

// True when the file holds a whole header whose resource attribute is set.
bool IsResourceDatabase(std::span<const std::uint8_t> file) noexcept;

// What is wrong with the resource list and blocks of a resource database,
// one line each, in the order of the file; empty when they are sound. The
// header's name is not looked at.
std::vector<std::string> CheckResourceList(std::span<const std::uint8_t> file);

// The header, the block sizes and the resources. A file that is no resource
// database, or whose list or offsets do not fit the file, raises
// EPDBException(7) "File is not in Palm Database Format (PDB)!". Duplicate
// type and ID pairs and a chained list ID are read as they are.
ResourceDatabase ReadResourceDatabase(std::span<const std::uint8_t> file, int bias_minutes);

}  // namespace corvane::pdb
