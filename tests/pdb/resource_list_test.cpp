// The resource list reader: sizes from the offsets, every kind of damage
// named (and refused by the reader), and no read past the file.
#include "corvane/pdb/resource_list.h"

#include <gtest/gtest.h>

#include <functional>

#include "corvane/foundation/exception.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::ByteWriter;
using Bytes = std::vector<std::uint8_t>;

struct Res {
  std::string type;
  std::uint16_t id;
  std::uint32_t offset;
};

// A resource database with the entries, two gap bytes and `tail`.
Bytes ResourceFile(const std::vector<Res>& list, const Bytes& tail, std::uint32_t app = 0,
                   std::uint32_t sort = 0) {
  ByteWriter w = test::PdbHeader("Res", static_cast<std::uint16_t>(list.size()), app, sort, 0x0001);
  for (const Res& r : list) w.Str(r.type, 4).U16(r.id).U32(r.offset);
  w.U16(0).Raw(tail);
  return w.bytes;
}

std::uint32_t ListEnd(std::size_t n) {
  return static_cast<std::uint32_t>(78 + 10 * n + 2);
}

TEST(ResourceList, SizesFollowTheOffsets) {
  // An application-info block of 3 bytes, then resources of 2, 0 and 4 bytes.
  const std::uint32_t at = ListEnd(3);
  const Bytes file =
      ResourceFile({{"code", 0, at + 3}, {"data", 0, at + 5}, {"tAIB", 1000, at + 5}},
                   {9, 9, 9, 1, 2, 3, 4, 5, 6}, at);
  ASSERT_TRUE(pdb::IsResourceDatabase(file));
  EXPECT_TRUE(pdb::CheckResourceList(file).empty());
  const pdb::ResourceDatabase db = pdb::ReadResourceDatabase(file, 0);
  EXPECT_EQ(db.header.name, "Res");
  EXPECT_EQ(db.app_info_size, 3u);
  EXPECT_EQ(db.sort_info_size, 0u);
  ASSERT_EQ(db.resources.size(), 3u);
  EXPECT_EQ(db.resources[0].type, "code");
  EXPECT_EQ(db.resources[2].id, 1000u);
  EXPECT_EQ(db.resources[0].size, 2u);
  EXPECT_EQ(db.resources[1].size, 0u);
  EXPECT_EQ(db.resources[2].size, 4u);
  EXPECT_EQ(db.resources[2].offset + db.resources[2].size, file.size());
}

TEST(ResourceList, NamesEachKindOfDamage) {
  struct Case {
    std::string what;
    std::function<Bytes()> build;
    std::string finding;  // "" for none
    bool refused;         // by the reader
  };
  const Case cases[] = {
      {"a record database", [] { return test::PdbHeader("R", 0).U16(0).bytes; },
       "resource-database attribute is not set", true},
      {"shorter than a header", [] { return Bytes(77, 0); }, "fewer than the 78", true},
      {"list past the end",
       [] {
         Bytes b = ResourceFile({{"code", 0, ListEnd(1)}}, {});
         b[77] = 9;  // nine entries
         return b;
       },
       "resource list: 9 entries end at byte 168, past the end of the file", true},
      {"offset inside the list", [] { return ResourceFile({{"code", 0, 80}}, {1}); },
       "resource 0: data offset 80 lies inside the header or resource list", true},
      {"offset past the end", [] { return ResourceFile({{"code", 0, 5000}}, {1}); },
       "resource 0: data offset 5000 is past the end of the file (the file has 91 bytes)", true},
      {"offsets descend",
       [] {
         return ResourceFile({{"code", 0, ListEnd(2) + 1}, {"data", 0, ListEnd(2)}}, {1, 2});
       },
       "resource 1: data offset 100 is below resource 0's 101 (offsets must ascend)", true},
      {"application-info block past the first resource",
       [] { return ResourceFile({{"code", 0, ListEnd(1)}}, {1, 2}, ListEnd(1) + 1); },
       "application-info block at 91 runs backwards: the first resource's data starts at 90",
       true},
      {"sort-info block past the end",
       [] { return ResourceFile({}, {1}, 0, 4000); },
       "sort-info block at 4000 starts past the end of the file", true},
      {"duplicate type and ID: read as they are",
       [] {
         return ResourceFile({{"code", 1, ListEnd(2)}, {"code", 1, ListEnd(2) + 1}}, {1, 2});
       },
       "resource 1: its type and ID 1 are also resource 0's", false},
      {"chained list: read as it is",
       [] {
         Bytes b = ResourceFile({}, {});
         b[72] = 1;
         return b;
       },
       "nextRecordListID is 16777216", false},
      {"an empty resource database", [] { return ResourceFile({}, {}); }, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes file = c.build();
    const std::vector<std::string> found = pdb::CheckResourceList(file);
    if (c.finding.empty()) {
      EXPECT_TRUE(found.empty()) << found.front();
    } else {
      ASSERT_EQ(found.size(), 1u) << (found.empty() ? "" : found.front());
      EXPECT_NE(found.front().find(c.finding), std::string::npos) << found.front();
    }
    try {
      pdb::ReadResourceDatabase(file, 0);
      EXPECT_FALSE(c.refused);
    } catch (const EPDBException& e) {
      EXPECT_TRUE(c.refused) << e.what();
      EXPECT_EQ(e.ErrorCode(), 7);
    }
  }
}

// Every cut of the file, and bytes of its list changed at random, are read
// only inside the file (the sanitizers watch); what is read adds up.
TEST(ResourceList, DamageIsReadWithoutLeavingTheFile) {
  const std::uint32_t at = ListEnd(3);
  const Bytes file = ResourceFile(
      {{"code", 0, at}, {"data", 0, at + 4}, {"tAIB", 1000, at + 9}}, Bytes(20, 7), 0, 0);
  std::uint32_t seed = 99;
  const auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = file;
    if (round % 2 == 0) {
      damaged.resize(next() % (file.size() + 1));
    } else {
      for (int k = 0; k < 1 + round % 3; ++k)
        damaged[32 + next() % (at - 32)] = static_cast<std::uint8_t>(next());
    }
    pdb::CheckResourceList(damaged);
    try {
      const pdb::ResourceDatabase db = pdb::ReadResourceDatabase(damaged, 0);
      for (const pdb::Resource& r : db.resources)
        ASSERT_LE(std::uint64_t{r.offset} + r.size, damaged.size());
    } catch (const EPDBException&) {
    }
  }
}

}  // namespace
}  // namespace corvane
