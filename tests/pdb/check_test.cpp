// The structural check: every kind of damage it names, each in a small file
// built byte by byte, and no finding on the files the writers make.
#include "corvane/pdb/check.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::ByteWriter;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kDeleted = 0x80000000u;  // attribute byte 0x80: the delete flag

// A file with `offsets.size()` entries (attribute word `attrs[i]`, if given)
// and `tail` after the list and its two gap bytes.
Bytes File(const std::vector<std::uint32_t>& offsets, const Bytes& tail, std::uint32_t app = 0,
           std::uint32_t sort = 0, const std::vector<std::uint32_t>& attrs = {}) {
  ByteWriter w = test::PdbHeader("Check", static_cast<std::uint16_t>(offsets.size()), app, sort);
  for (std::size_t i = 0; i < offsets.size(); ++i)
    w.U32(offsets[i]).U32(i < attrs.size() ? attrs[i] : 0);
  w.U16(0).Raw(tail);
  return w.bytes;
}

std::uint32_t ListEnd(std::size_t n) {
  return static_cast<std::uint32_t>(78 + 8 * n + 2);
}

Bytes CategoryTable(const std::vector<std::string>& names, const std::vector<std::uint8_t>& ids) {
  Bytes t(276, 0);
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::copy(names[i].begin(), names[i].end(),
              t.begin() + 2 + 16 * static_cast<std::ptrdiff_t>(i));
  }
  for (std::size_t i = 0; i < 16; ++i)
    t[258 + i] = i < ids.size() ? ids[i] : static_cast<std::uint8_t>(i);
  return t;
}

TEST(Check, NamesEachKindOfDamage) {
  struct Case {
    std::string what;
    std::function<Bytes()> build;
    std::vector<std::string> findings;  // each must appear in its own finding, in this order
  };
  const Case cases[] = {
      {"a sound file",
       [] {
         return File({ListEnd(2), ListEnd(2) + 3}, {1, 2, 3, 4});
       },
       {}},
      {"shorter than a header",
       [] { return Bytes(40, 0); },
       {"the file has 40 bytes, fewer than the 78"}},
      {"name without a zero byte",
       [] {
         Bytes b = File({}, {});
         std::fill(b.begin(), b.begin() + 32, 'x');
         return b;
       },
       {"the name fills all 32 bytes"}},
      {"empty name",
       [] {
         Bytes b = File({}, {});
         std::fill(b.begin(), b.begin() + 32, 0);
         return b;
       },
       {"header: the name is empty"}},
      {"resource database: its list is checked instead",
       [] {
         // One resource whose data offset lies inside the list.
         return test::PdbHeader("R", 1, 0, 0, 1).Str("code", 4).U16(1).U32(80).U16(0).bytes;
       },
       {"resource 0: data offset 80 lies inside the header or resource list"}},
      {"chained record list",
       [] {
         Bytes b = File({}, {});
         b[75] = 9;
         return b;
       },
       {"nextRecordListID is 9"}},
      {"record list past the end",
       [] { return test::PdbHeader("L", 100).bytes; },
       {"100 entries end at byte 878"}},
      {"live record at offset 0",
       [] { return File({0}, {5}); },
       {"record 0: data offset 0 (the header)"}},
      {"deleted record at offset 0",
       [] {
         return File({0, ListEnd(2)}, {5}, 0, 0, {kDeleted});
       },
       {}},
      {"offset inside the record list",
       [] { return File({80}, {5}); },
       {"record 0: data offset 80 lies inside"}},
      {"offset past the end",
       [] {
         return File({ListEnd(2), 5000}, {5});
       },
       {"record 1: data offset 5000 is past the end of the file (the file has 97 bytes)"}},
      {"deleted record past the end",
       [] {
         return File({ListEnd(2), 5000}, {5}, 0, 0, {0, kDeleted});
       },
       {"record 1 (deleted): data offset 5000 is past the end"}},
      {"descending offsets",
       [] {
         return File({ListEnd(3) + 2, ListEnd(3), ListEnd(3) + 1}, {1, 2, 3});
       },
       {"record 1: data offset 104 is below record 0's 106"}},
      {"duplicate unique IDs",
       [] {
         return File({ListEnd(3), ListEnd(3), ListEnd(3)}, {}, 0, 0,
                     {0x00000005, 0x00000007, 0x00000005});
       },
       {"record 2: unique ID 0x000005 is also record 0's"}},
      {"unique IDs of 0 are no duplicates",
       [] {
         return File({ListEnd(2), ListEnd(2)}, {});
       },
       {}},
      {"application-info block inside the record list",
       [] { return File({ListEnd(1)}, {1}, 80); },
       {"application-info block at 80 starts inside the header or record list"}},
      {"sort-info block past the end",
       [] {
         return File({}, {1, 2}, 0, 900);
       },
       {"sort-info block at 900 starts past the end of the file"}},
      {"a block whose end is past the file",
       [] { return File({}, CategoryTable({"Unfiled"}, {}), ListEnd(0), 900); },
       {"sort-info block at 900 starts past the end of the file"}},
      {"blocks in the wrong order",
       [] { return File({}, Bytes(10, 0), ListEnd(0) + 6, ListEnd(0) + 2); },
       {"sort-info block at 82 comes before the application-info block at 86",
        "application-info block at 86 runs backwards: the sort-info block starts at 82"}},
      {"application-info block after the records' data",
       [] {
         return File({ListEnd(1)}, {1, 2, 3, 4}, ListEnd(1) + 2);
       },
       {"application-info block at 90 runs backwards: the first record's data starts at 88"}},
      {"category name without a zero byte",
       [] {
         return File({}, CategoryTable({"Unfiled", std::string(16, 'n')}, {}), ListEnd(0));
       },
       {"category 1: the name fills all 16 bytes"}},
      {"two categories with one ID",
       [] {
         return File({}, CategoryTable({"Unfiled", "A", "B"}, {0, 4, 4}), ListEnd(0));
       },
       {"category 2: ID 4 is also category 1's"}},
      {"unnamed categories may share an ID",
       [] {
         return File({}, CategoryTable({"Unfiled"}, {0, 0, 0}), ListEnd(0));
       },
       {}},
      {"a category table without its filler byte, records in other categories",
       [] {
         Bytes tail = CategoryTable({"Unfiled", "Business", "", "Personal"}, {});
         tail.pop_back();  // 275 bytes: names, IDs and the last ID, no filler
         tail.insert(tail.end(), {1, 2});
         return File({ListEnd(2) + 275, ListEnd(2) + 276}, tail, ListEnd(2), 0,
                     {0x03000001, 0x01000002});
       },
       {}},
      {"an application-info block a byte short of a category table",
       [] {
         Bytes tail = CategoryTable({"Unfiled"}, {});
         tail.resize(274);
         tail.insert(tail.end(), {1, 2});
         return File({ListEnd(2) + 274, ListEnd(2) + 275}, tail, ListEnd(2), 0,
                     {0x03000001, 0x00000002});
       },
       {"1 record is filed under categories other than 0, but the file has no category table"}},
      {"records filed under categories without a table",
       [] {
         return File({ListEnd(2), ListEnd(2) + 1}, {1, 2}, 0, 0, {0x03000000, 0x01000000});
       },
       {"2 records are filed under categories other than 0, but the file has no category table"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<pdb::Finding> got = pdb::CheckStructure(c.build());
    ASSERT_EQ(got.size(), c.findings.size()) << (got.empty() ? "" : got.front().text);
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_NE(got[i].text.find(c.findings[i]), std::string::npos) << got[i].text;
      // Only what concerns the category table is a warning.
      EXPECT_EQ(got[i].warning, got[i].text.find("categor") != std::string::npos) << got[i].text;
    }
  }
}

TEST(Check, TheSamplesAreSound) {
  for (const char* name :
       {"contacts", "appforge", "pocketstudio", "nsbasic", "java", "sqldriver", "generic"}) {
    const Bytes file = test::ReadAll(std::string(CORVANE_SOURCE_DIR) + "/samples/" + name + ".pdb");
    ASSERT_FALSE(file.empty()) << name;
    const auto findings = pdb::CheckStructure(file);
    EXPECT_TRUE(findings.empty()) << name << ": " << findings.front().text;
  }
}

TEST(Check, EveryCutOfAFileIsCheckedWithoutReadingPastIt) {
  const Bytes file = test::ReadAll(std::string(CORVANE_SOURCE_DIR) + "/samples/contacts.pdb");
  ASSERT_FALSE(file.empty());
  // Until the last record starts, a cut leaves some offset outside the file;
  // after that, the last record is only shorter.
  const std::size_t count = static_cast<std::size_t>((file[76] << 8) | file[77]);
  const std::size_t last = (std::size_t{file[78 + 8 * (count - 1)]} << 24) |
                           (std::size_t{file[79 + 8 * (count - 1)]} << 16) |
                           (std::size_t{file[80 + 8 * (count - 1)]} << 8) |
                           file[81 + 8 * (count - 1)];
  for (std::size_t n = 0; n < file.size(); ++n) {
    // A copy of exactly n bytes, so a read past it is caught by the sanitizers.
    const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(pdb::CheckStructure(cut).empty(), n >= last) << n;
  }
}

// Bytes of the header and record list changed at random: whatever they say,
// the check reads only inside the file (the sanitizers watch).
TEST(Check, RandomDamageIsCheckedWithoutReadingPastTheFile) {
  const Bytes file = test::ReadAll(std::string(CORVANE_SOURCE_DIR) + "/samples/contacts.pdb");
  ASSERT_GT(file.size(), 128u);
  std::uint32_t seed = 12345;
  const auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = file;
    for (int k = 0; k < 1 + round % 4; ++k)
      damaged[next() % 128] = static_cast<std::uint8_t>(next());
    damaged.resize(damaged.size() - next() % 64);
    pdb::CheckStructure(damaged);
  }
}

}  // namespace
}  // namespace corvane
