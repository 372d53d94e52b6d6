// A database as the Python module holds it: header values, the two blocks,
// and the records' (or resources') bytes side by side in one block.
#pragma once

#include <cstdint>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <pybind11/pybind11.h>

#include "corvane/foundation/types.h"
#include "corvane/host/datetime.h"
#include "corvane/pdb/base_mgr.h"

namespace corvane::python {

struct RecordSlot {
  std::size_t start = 0;  // in DatabaseData::arena
  std::uint32_t size = 0;
  std::uint8_t category = 0;
  TRecFlags flags;
  std::uint32_t unique_id = 0;
};

struct ResourceSlot {
  std::string type;
  std::uint16_t id = 0;
  std::size_t start = 0;
  std::uint32_t size = 0;
};

// A resource database read from a file: what writes its header and the gap
// after its resource list back as they were, while the name and dates stay
// as read.
struct StoredResourceHeader {
  std::array<std::uint8_t, 32> name_field{};
  std::string name;
  std::array<std::uint32_t, 3> dates{};  // created, modified, backed up as stored
  TDateTime created = 0, modified = 0, backed_up = 0;
  Bytes gap;
};

struct DatabaseData {
  std::string name, type, creator;  // 8-bit text as stored
  std::uint16_t attributes = 0, version = 0;
  TDateTime created = 0, modified = 0, backed_up = 0;
  std::uint32_t modification_number = 0, unique_id_seed = 0;
  Bytes app_info, sort_info;
  std::vector<std::pair<std::uint8_t, std::string>> categories;  // (id, name); 16 or none
  bool write_categories = false;  // a table given to a new database, written before app_info
  bool is_resource = false;
  std::optional<StoredResourceHeader> stored;
  Bytes arena;
  std::vector<RecordSlot> records;
  std::vector<ResourceSlot> resources;
};

// Read without the interpreter's lock (they touch no Python object).
std::shared_ptr<DatabaseData> ReadDatabase(const std::string& path);
std::shared_ptr<DatabaseData> ReadDatabase(Bytes&& bytes, const std::string& name);
// Into the file at path, or into memory (returned) when path is empty.
Bytes WriteDatabase(const DatabaseData& d, const std::string& path);

// The whole file; EInOutError when it cannot be read.
Bytes ReadFile(const std::string& path);

// The bytes of a bytes-like object (bytes, bytearray, memoryview, ...);
// TypeError naming `what` for anything else.
std::string BytesFromPython(const pybind11::handle& value, const char* what);

// Database.new(): an empty record database with the header values given,
// checked (ValueError, TypeError) as Python arguments.
std::shared_ptr<DatabaseData> NewDatabase(
    const pybind11::object& name, const pybind11::object& type, const pybind11::object& creator,
    const pybind11::object& attributes, int version, const pybind11::object& created,
    const pybind11::object& modified, const pybind11::object& backed_up,
    const pybind11::object& categories, const pybind11::object& app_info,
    const pybind11::object& sort_info, bool resource = false);

// A set of attribute names ('backup', ...) or the word as an int.
std::uint16_t AttributesFromPython(const pybind11::handle& value);

// The header values, the categories to be written as a table of the
// writer's (write_categories) and the two blocks, into a database created
// for writing. Needs no interpreter lock.
void SetHeader(const DatabaseData& d, TCorvane& out);

}  // namespace corvane::python
