#include "corvane/pdb/check.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "corvane/foundation/byte_order.h"
#include "corvane/pdb/file_format.h"
#include "corvane/pdb/resource_list.h"

namespace corvane::pdb {

namespace {

std::string Hex6(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06x", v);
  return buf;
}

}  // namespace

std::vector<Finding> CheckStructure(std::span<const std::uint8_t> file) {
  std::vector<Finding> out;
  const auto add = [&](std::string text) { out.push_back({false, std::move(text)}); };
  const auto warn = [&](std::string text) { out.push_back({true, std::move(text)}); };
  const std::uint64_t size = file.size();
  const std::string of_size = " (the file has " + std::to_string(size) + " bytes)";
  if (size < kHeaderSize) {
    add("the file has " + std::to_string(size) + " bytes, fewer than the 78 of a PDB header");
    return out;
  }
  // Dates do not matter here; the bias only moves them.
  const Header h = DecodeHeader(file.first<kHeaderSize>(), 0);

  // ---- header
  if (std::find(file.begin(), file.begin() + kNameSize, std::uint8_t{0}) ==
      file.begin() + kNameSize) {
    add("header: the name fills all 32 bytes without a terminating zero byte");
  } else if (h.name.empty()) {
    add("header: the name is empty");
  }
  if ((h.attributes & kAttrResourceDB) != 0) {
    for (std::string& f : CheckResourceList(file)) add(std::move(f));
    return out;
  }
  if (h.next_record_list_id != 0) {
    add("header: nextRecordListID is " + std::to_string(h.next_record_list_id) +
        "; a chained record list is not read");
  }
  const std::uint64_t list_end = kHeaderSize + kEntrySize * std::uint64_t{h.record_count};
  if (list_end > size) {
    add("record list: " + std::to_string(h.record_count) + " entries end at byte " +
        std::to_string(list_end) + ", past the end of the file" + of_size);
    return out;
  }

  // ---- blocks
  const auto block_start = [&](const char* what, std::uint32_t at) {
    if (at == 0) return;
    if (at < list_end) {
      add(std::string(what) + " block at " + std::to_string(at) +
          " starts inside the header or record list (which end at " + std::to_string(list_end) +
          ")");
    } else if (at > size) {
      add(std::string(what) + " block at " + std::to_string(at) +
          " starts past the end of the file" + of_size);
    }
  };
  block_start("application-info", h.app_info_offset);
  block_start("sort-info", h.sort_info_offset);

  // ---- entries
  std::uint32_t first_data = 0;
  std::uint32_t previous = 0;
  std::int64_t previous_index = -1;
  std::map<std::uint32_t, std::size_t> ids;
  std::size_t in_categories = 0;
  for (std::size_t i = 0; i < h.record_count; ++i) {
    const Entry e = DecodeEntry(file.subspan(kHeaderSize + kEntrySize * i).first<kEntrySize>());
    const bool deleted = e.flags.Contains(dmRecAttrDelete);
    const std::string at = "record " + std::to_string(i) + (deleted ? " (deleted)" : "") + ": ";
    if (e.data_offset == 0) {
      if (!deleted) add(at + "data offset 0 (the header) for a record that is not deleted");
    } else {
      if (e.data_offset < list_end) {
        add(at + "data offset " + std::to_string(e.data_offset) +
            " lies inside the header or record list (which end at " + std::to_string(list_end) +
            ")");
      } else if (e.data_offset > size) {
        add(at + "data offset " + std::to_string(e.data_offset) + " is past the end of the file" +
            of_size);
      }
      if (previous_index >= 0 && e.data_offset < previous) {
        add(at + "data offset " + std::to_string(e.data_offset) + " is below record " +
            std::to_string(previous_index) + "'s " + std::to_string(previous) +
            " (offsets must ascend)");
      }
      if (first_data == 0) first_data = e.data_offset;
      previous = e.data_offset;
      previous_index = static_cast<std::int64_t>(i);
    }
    if (e.unique_id != 0) {
      const auto [it, fresh] = ids.emplace(e.unique_id, i);
      if (!fresh) {
        add(at + "unique ID " + Hex6(e.unique_id) + " is also record " +
            std::to_string(it->second) + "'s");
      }
    }
    if (!deleted && e.category != 0) ++in_categories;
  }

  // ---- block sizes: each block runs to the next part of the file
  const std::uint64_t data_start = first_data != 0 ? first_data : size;
  const auto block_size = [&](const char* what, std::uint32_t at, std::uint64_t end,
                              const char* next) {
    if (at == 0 || at < list_end || at > size) return std::int64_t{-1};
    if (end < at) {
      add(std::string(what) + " block at " + std::to_string(at) + " runs backwards: " + next +
          " starts at " + std::to_string(end));
      return std::int64_t{-1};
    }
    // An end past the file was named with its entry or block; what the block
    // can hold is what the file has.
    return static_cast<std::int64_t>(std::min(end, size) - at);
  };
  if (h.app_info_offset != 0 && h.sort_info_offset != 0 && h.sort_info_offset < h.app_info_offset) {
    add("sort-info block at " + std::to_string(h.sort_info_offset) +
        " comes before the application-info block at " + std::to_string(h.app_info_offset));
  }
  const std::int64_t app_size = h.sort_info_offset != 0
                                    ? block_size("application-info", h.app_info_offset,
                                                 h.sort_info_offset, "the sort-info block")
                                    : block_size("application-info", h.app_info_offset, data_start,
                                                 "the first record's data");
  block_size("sort-info", h.sort_info_offset, data_start, "the first record's data");

  // ---- category table
  if (app_size >= static_cast<std::int64_t>(kCategoryTableMinSize)) {
    const auto table = file.subspan(h.app_info_offset, kCategoryTableMinSize);
    std::map<std::uint8_t, std::size_t> seen;
    for (std::size_t c = 0; c < 16; ++c) {
      const auto name = table.subspan(2 + kCategoryNameSize * c, kCategoryNameSize);
      const bool empty = name[0] == 0;
      if (std::find(name.begin(), name.end(), std::uint8_t{0}) == name.end()) {
        warn("category " + std::to_string(c) +
             ": the name fills all 16 bytes without a terminating zero byte");
      }
      if (empty) continue;
      const std::uint8_t id = table[258 + c];
      const auto [it, fresh] = seen.emplace(id, c);
      if (!fresh) {
        warn("category " + std::to_string(c) + ": ID " + std::to_string(id) +
             " is also category " + std::to_string(it->second) + "'s");
      }
    }
  } else if (in_categories > 0) {
    warn(std::to_string(in_categories) + (in_categories == 1 ? " record is" : " records are") +
         " filed under categories other than 0, but the file has no category table");
  }
  return out;
}

}  // namespace corvane::pdb
