// Reading a database the way every caller may: every record through GetRecord
// and through the cursor in both directions, every category, then writing what
// was read into a new file and reading that back. The library may refuse a
// file with any of its exceptions (corvane::Exception); a broken invariant
// raises WalkFailure, which is not one, so fuzzers and tests report it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/pdb/base_mgr.h"
#include "corvane/pdb/file_format.h"

namespace corvane::fuzz {

class WalkFailure : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

#define CORVANE_WALK_CHECK(cond)                                                                \
  do {                                                                                          \
    if (!(cond))                                                                                \
      throw ::corvane::fuzz::WalkFailure(std::string(__FILE__ ":") + std::to_string(__LINE__) + \
                                         ": " #cond);                                           \
  } while (0)

struct WalkedRecord {
  std::shared_ptr<Bytes> data;  // nothing for a deleted record
  TRecFlags flags;
  std::uint32_t unique_id = 0;
  std::uint8_t category = 0;
};

struct WalkResult {
  std::vector<WalkedRecord> records;
  bool has_categories = false;
  TArrayCategories category_names;
  std::array<std::uint8_t, 16> category_ids{};
  Bytes app_info, sort_info;
  std::int64_t data_bytes = 0;
  std::int32_t deleted = 0;
};

inline bool SameBytes(std::span<const std::uint8_t> a, const std::shared_ptr<Bytes>& b) {
  if (!b) return a.empty();
  return std::equal(a.begin(), a.end(), b->begin(), b->end());
}

// Reads everything an open database holds, and closes it.
inline WalkResult WalkOpenDatabase(TPDBBaseMgr& db) {
  WalkResult out;
  const std::int32_t n = db.RecordCount();
  out.records.resize(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) {
    WalkedRecord& r = out.records[static_cast<std::size_t>(i)];
    std::int32_t size = -1, uid = 0;
    db.GetRecord(i, r.data, size, r.flags, uid, r.category);
    r.unique_id = static_cast<std::uint32_t>(uid);
    CORVANE_WALK_CHECK(r.unique_id <= 0xFFFFFFu && r.category <= 15);
    CORVANE_WALK_CHECK(db.GetRecCategoryID(i) == r.category);
    if (r.data) {
      CORVANE_WALK_CHECK(static_cast<std::size_t>(size) == r.data->size());
      CORVANE_WALK_CHECK(!r.flags.Contains(dmRecAttrDelete));
      out.data_bytes += size;
    } else {
      CORVANE_WALK_CHECK(r.flags.Contains(dmRecAttrDelete));
      ++out.deleted;
    }
  }

  // The cursor must reach the same records, once each, in both directions.
  std::int32_t visited = 0;
  for (db.First(); !db.Eof(); db.Next()) {
    CORVANE_WALK_CHECK(db.Cursor() == visited && visited < n);
    const WalkedRecord& r = out.records[static_cast<std::size_t>(visited)];
    CORVANE_WALK_CHECK(db.HasCurrentRecord() == (r.data != nullptr));
    CORVANE_WALK_CHECK(SameBytes(db.CurrentRecord(), r.data));
    CORVANE_WALK_CHECK(db.GetRecCategory() == r.category && db.GetRecFlags() == r.flags);
    ++visited;
  }
  CORVANE_WALK_CHECK(visited == n);
  for (db.Last(); !db.Bof(); db.Previous()) {
    CORVANE_WALK_CHECK(visited > 0 && db.Cursor() == visited - 1);
    CORVANE_WALK_CHECK(
        SameBytes(db.CurrentRecord(), out.records[static_cast<std::size_t>(visited - 1)].data));
    --visited;
  }
  CORVANE_WALK_CHECK(visited == 0);

  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  db.GetAppInfoP(block, length);
  out.app_info.assign(block.begin(), block.end());
  db.GetSortInfoP(block, length);
  out.sort_info.assign(block.begin(), block.end());

  out.has_categories =
      db.GetAppInfoOffset() != 0 && out.app_info.size() >= pdb::kCategoryTableMinSize;
  if (out.has_categories) {
    for (std::uint8_t i = 0; i < 16; ++i) {
      out.category_names[i] = db.GetCategory(i);
      out.category_ids[i] = db.GetCategoryID(i);
      CORVANE_WALK_CHECK(out.category_names[i].size() <= pdb::kCategoryNameSize);
    }
    for (std::int32_t i = 0; i < n; ++i) {
      CORVANE_WALK_CHECK(db.GetRecCategoryName(i) ==
                         out.category_names[out.records[static_cast<std::size_t>(i)].category]);
    }
  } else {
    // Without a table the categories are refused, never made up.
    bool refused = false;
    try {
      db.GetCategory(0);
    } catch (const EPDBException&) {
      refused = true;
    }
    CORVANE_WALK_CHECK(refused);
  }
  db.CloseDatabase();
  return out;
}

// Opens directory/filename read-only and reads everything it holds.
inline WalkResult WalkDatabase(const std::string& directory, const std::string& filename) {
  TPDBBaseMgr db;
  db.SetDirectory(directory);
  db.SetPDBFilename(filename);
  db.SetOpenMode(dmModeReadOnly);
  db.OpenDatabase();
  return WalkOpenDatabase(db);
}

// The same for a database held in memory.
inline WalkResult WalkDatabase(std::span<const std::uint8_t> bytes) {
  TPDBBaseMgr db;
  db.SetOpenMode(dmModeReadOnly);
  db.OpenDatabase(bytes, "input");
  return WalkOpenDatabase(db);
}

// Writes what WalkDatabase read (blocks copied as they are, records through
// WriteRawRecord) into a file, or into memory when `directory` is empty.
inline Bytes Rewrite(const WalkResult& in, const std::string& directory,
                     const std::string& filename) {
  TPDBBaseMgr db;
  db.SetOpenMode(dmModeWriteOnly);
  db.SetDBName("rewrite");
  db.SetDatabaseType("DATA");
  db.SetCreatorID("test");
  if (directory.empty()) {
    db.CreateDatabaseInMemory("rewritten");
  } else {
    db.SetDirectory(directory);
    db.SetPDBFilename(filename);
    db.CreateDatabase();
  }
  db.SetAppInfoP(in.app_info);
  db.SetSortInfoP(in.sort_info);
  for (const WalkedRecord& r : in.records) {
    if (r.data) {
      db.SetCurrentRecord(std::shared_ptr<const Bytes>(r.data));
    } else {
      db.Free();
    }
    db.SetRecCategory(r.category);
    db.SetRecFlags(r.flags);
    db.SetRecUniqueID(static_cast<std::int32_t>(r.unique_id));
    db.WriteRawRecord();
  }
  db.CloseDatabase();
  return db.TakeWrittenImage();
}

// Checks that reading back what Rewrite wrote gives what was read first.
inline void CompareWalks(const WalkResult& in, const WalkResult& back) {
  CORVANE_WALK_CHECK(back.records.size() == in.records.size());
  for (std::size_t i = 0; i < in.records.size(); ++i) {
    const WalkedRecord& a = in.records[i];
    const WalkedRecord& b = back.records[i];
    CORVANE_WALK_CHECK(a.flags == b.flags && a.unique_id == b.unique_id &&
                       a.category == b.category);
    CORVANE_WALK_CHECK((a.data == nullptr) == (b.data == nullptr));
    CORVANE_WALK_CHECK(!a.data || *a.data == *b.data);
  }
  CORVANE_WALK_CHECK(back.app_info == in.app_info && back.sort_info == in.sort_info);
  CORVANE_WALK_CHECK(back.has_categories == in.has_categories);
  CORVANE_WALK_CHECK(back.category_names == in.category_names &&
                     back.category_ids == in.category_ids);
}

// Writes what WalkDatabase read into directory/filename, reads it back and
// checks that nothing changed.
inline void RewriteAndCompare(const WalkResult& in, const std::string& directory,
                              const std::string& filename) {
  Rewrite(in, directory, filename);
  CompareWalks(in, WalkDatabase(directory, filename));
}

// The same without a file: written into memory and read back from there.
inline void RewriteAndCompareInMemory(const WalkResult& in) {
  const Bytes image = Rewrite(in, "", "");
  CompareWalks(in, WalkDatabase(image));
}

}  // namespace corvane::fuzz
