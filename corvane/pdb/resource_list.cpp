#include "corvane/pdb/resource_list.h"

#include <algorithm>
#include <map>
#include <utility>

#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"

namespace corvane::pdb {

namespace {

struct Finding {
  bool blocks_reading;  // the list cannot be read as it stands
  std::string text;
};

// Walks the list once for both the check and the reader; `out` receives what
// could be read.
std::vector<Finding> Walk(std::span<const std::uint8_t> file, int bias_minutes,
                          ResourceDatabase* out) {
  std::vector<Finding> found;
  const auto fatal = [&](std::string t) { found.push_back({true, std::move(t)}); };
  const auto note = [&](std::string t) { found.push_back({false, std::move(t)}); };
  const std::uint64_t size = file.size();
  const std::string of_size = " (the file has " + std::to_string(size) + " bytes)";
  if (size < kHeaderSize) {
    fatal("the file has " + std::to_string(size) + " bytes, fewer than the 78 of a PDB header");
    return found;
  }
  const Header h = DecodeHeader(file.first<kHeaderSize>(), bias_minutes);
  if ((h.attributes & kAttrResourceDB) == 0) {
    fatal("header: the resource-database attribute is not set");
    return found;
  }
  if (h.next_record_list_id != 0) {
    note("header: nextRecordListID is " + std::to_string(h.next_record_list_id) +
         "; a chained resource list is not read");
  }
  const std::uint64_t list_end = kHeaderSize + kResourceEntrySize * std::uint64_t{h.record_count};
  if (list_end > size) {
    fatal("resource list: " + std::to_string(h.record_count) + " entries end at byte " +
          std::to_string(list_end) + ", past the end of the file" + of_size);
    return found;
  }

  std::vector<Resource> list(h.record_count);
  std::map<std::pair<std::string, std::uint16_t>, std::size_t> seen;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::uint8_t* p = file.data() + kHeaderSize + kResourceEntrySize * i;
    Resource& r = list[i];
    r.type.assign(reinterpret_cast<const char*>(p), 4);
    r.id = LoadU16(p + 4);
    r.offset = LoadU32(p + 6);
    const std::string at = "resource " + std::to_string(i) + ": ";
    if (r.offset < list_end) {
      fatal(at + "data offset " + std::to_string(r.offset) +
            " lies inside the header or resource list (which end at " + std::to_string(list_end) +
            ")");
    } else if (r.offset > size) {
      fatal(at + "data offset " + std::to_string(r.offset) + " is past the end of the file" +
            of_size);
    }
    if (i > 0 && r.offset < list[i - 1].offset) {
      fatal(at + "data offset " + std::to_string(r.offset) + " is below resource " +
            std::to_string(i - 1) + "'s " + std::to_string(list[i - 1].offset) +
            " (offsets must ascend)");
    }
    const auto [it, fresh] = seen.emplace(std::make_pair(r.type, r.id), i);
    if (!fresh) {
      note(at + "its type and ID " + std::to_string(r.id) + " are also resource " +
           std::to_string(it->second) + "'s");
    }
  }

  // Each block runs up to the next part of the file.
  const std::uint64_t data_start = list.empty() ? size : list.front().offset;
  const auto block = [&](const char* what, std::uint32_t at, std::uint64_t end, const char* next,
                         std::uint32_t& length) {
    if (at == 0) return;
    const std::string name = std::string(what) + " block at " + std::to_string(at);
    if (at < list_end) {
      fatal(name + " starts inside the header or resource list (which end at " +
            std::to_string(list_end) + ")");
    } else if (at > size) {
      fatal(name + " starts past the end of the file" + of_size);
    } else if (end < at) {
      fatal(name + " runs backwards: " + next + " starts at " + std::to_string(end));
    } else {
      length = static_cast<std::uint32_t>(std::min(end, size) - at);
    }
  };
  std::uint32_t app_size = 0, sort_size = 0;
  if (h.sort_info_offset != 0) {
    block("application-info", h.app_info_offset, h.sort_info_offset, "the sort-info block",
          app_size);
  } else {
    block("application-info", h.app_info_offset, data_start, "the first resource's data",
          app_size);
  }
  block("sort-info", h.sort_info_offset, data_start, "the first resource's data", sort_size);

  const bool readable =
      std::none_of(found.begin(), found.end(), [](const Finding& f) { return f.blocks_reading; });
  if (out != nullptr && readable) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::uint64_t end = i + 1 < list.size() ? list[i + 1].offset : size;
      list[i].size = static_cast<std::uint32_t>(end - list[i].offset);
    }
    out->header = h;
    out->app_info_size = app_size;
    out->sort_info_size = sort_size;
    out->resources = std::move(list);
  }
  return found;
}

}  // namespace

bool IsResourceDatabase(std::span<const std::uint8_t> file) noexcept {
  return file.size() >= kHeaderSize && (LoadU16(file.data() + 32) & kAttrResourceDB) != 0;
}

std::vector<std::string> CheckResourceList(std::span<const std::uint8_t> file) {
  std::vector<std::string> out;
  for (Finding& f : Walk(file, 0, nullptr)) out.push_back(std::move(f.text));
  return out;
}

ResourceDatabase ReadResourceDatabase(std::span<const std::uint8_t> file, int bias_minutes) {
  ResourceDatabase db;
  for (const Finding& f : Walk(file, bias_minutes, &db)) {
    if (f.blocks_reading) RaisePDB(7, kMsgNotPdbFile);
  }
  return db;
}

}  // namespace corvane::pdb
