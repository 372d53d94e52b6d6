// export --engine --keep-going: a record that does not decode is kept in its
// raw form (its bytes, attributes and the reason) where it stands, a warning
// names it by its index in the file, the others are exported, and the exit
// status is 3. Without the option the first such record stops the export.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tool_runner.h"
#include "corvane/interchange/json_reader.h"

namespace corvane {
namespace {

using cli::JsonValue;
using cli::ParseJson;
using test::RunCorvane;
using test::ToolResult;

// NS Basic records of two 32-bit integers: record 1 is too short for them,
// record 2 has bytes after them, record 3 holds a date field's number that no
// calendar has (13th month), records 0 and 4 are whole.
std::string DamagedFile(const test::TempDir& dir) {
  const std::vector<std::vector<std::uint8_t>> records = {
      {0x41, 0x32, 0xEC, 0x25, 0, 0, 0, 0, 0, 0, 0, 1},  // 1240101 as a double, 1
      {0, 0, 0, 5},
      {0x41, 0x32, 0xEC, 0x25, 0, 0, 0, 0, 0, 0, 0, 2, 0xEE},
      {0x41, 0x32, 0xF1, 0x37, 0, 0, 0, 0, 0, 0, 0, 3},  // 1241399
      {0x41, 0x32, 0xEC, 0x25, 0, 0, 0, 0, 0, 0, 0, 4},
  };
  test::ByteWriter w = test::PdbHeader("Damaged", static_cast<std::uint16_t>(records.size()));
  std::uint32_t at = 78 + 8 * static_cast<std::uint32_t>(records.size()) + 2;
  std::uint32_t id = 0x100;
  for (const auto& r : records) {
    w.U32(at).U32(0x40000000u | id++);  // dirty, unique IDs 0x100...
    at += static_cast<std::uint32_t>(r.size());
  }
  w.U16(0);
  for (const auto& r : records) w.Raw(r);
  const std::string path = dir.File("damaged.pdb");
  test::WriteAll(path, w.bytes);
  return path;
}

std::vector<std::string> Export(const std::string& path, const std::string& format) {
  return {"export",       "--engine", "nsbasic", "--field",      "D:NSBDate", "--field",
          "N:NSBInteger", "--format", format,    "--keep-going", path};
}

TEST(EngineKeepGoing, JsonKeepsEachDamagedRecordRawInItsPlace) {
  test::TempDir dir;
  const std::string path = DamagedFile(dir);
  const ToolResult r = RunCorvane(Export(path, "json"));
  ASSERT_EQ(r.status, 3) << r.err;
  for (const char* n : {"record 1 kept raw", "record 2 kept raw", "record 3 kept raw"})
    EXPECT_NE(r.err.find(n), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("record 0"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("field 'D'"), std::string::npos) << r.err;

  const JsonValue doc = ParseJson(r.out);
  const JsonValue& records = *doc.Find("records");
  ASSERT_EQ(records.items.size(), 5u);
  EXPECT_EQ(records.items[0].Find("N")->text, "1");
  EXPECT_EQ(records.items[0].Find("D")->text, "2024-01-01");
  EXPECT_EQ(records.items[4].Find("N")->text, "4");
  const std::vector<std::string> data = {"00000005",
                                         "4132ec25000000000000000"
                                         "2ee",
                                         "4132f137000000000000000"
                                         "3"};
  for (std::size_t i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    const JsonValue& raw = records.items[i];
    EXPECT_EQ(raw.Find("N"), nullptr);
    EXPECT_EQ(raw.Find("index")->text, std::to_string(i));
    EXPECT_EQ(raw.Find("data")->text, data[i - 1]);
    EXPECT_EQ(raw.Find("uniqueID")->text, std::to_string(0x100 + i));
    ASSERT_EQ(raw.Find("flags")->items.size(), 1u);
    EXPECT_EQ(raw.Find("flags")->items[0].text, "dirty");
    EXPECT_FALSE(raw.Find("damaged")->text.empty());
    EXPECT_EQ(raw.Find("damaged")->text.rfind("record", 0), std::string::npos)
        << "the record is named by index already";
  }
  EXPECT_NE(records.items[3].Find("damaged")->text.find("field 'D'"), std::string::npos);

  // Without the option the first damaged record stops it, as before.
  std::vector<std::string> strict = Export(path, "json");
  strict.erase(strict.end() - 2);
  const ToolResult s = RunCorvane(strict);
  EXPECT_EQ(s.status, 1);
  EXPECT_NE(s.err.find("record 1"), std::string::npos) << s.err;
}

TEST(EngineKeepGoing, CsvAddsTheRawColumnsAndRefusesWhatItCannotKeep) {
  test::TempDir dir;
  const std::string path = DamagedFile(dir);
  std::vector<std::string> args = Export(path, "csv");
  args.insert(args.end() - 1, "--with-attributes");
  const ToolResult r = RunCorvane(args);
  ASSERT_EQ(r.status, 3) << r.err;
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < r.out.size();) {
    const std::size_t end = r.out.find("\r\n", at);
    lines.push_back(r.out.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(lines.size(), 6u) << r.out;
  EXPECT_EQ(lines[0], "D,N,category,flags,uniqueID,damaged,data");
  EXPECT_EQ(lines[1], "2024-01-01,1,0,dirty,256,,");
  EXPECT_EQ(lines[2].rfind(",,0,dirty,257,", 0), 0u) << lines[2];
  EXPECT_EQ(lines[2].substr(lines[2].size() - 9), ",00000005");
  EXPECT_EQ(lines[5], "2024-01-01,4,0,dirty,260,,");

  for (const char* other : {"--sort", "--where"}) {
    std::vector<std::string> with_view = Export(path, "json");
    with_view.insert(with_view.end() - 1, other);
    with_view.insert(with_view.end() - 1, std::string(other) == "--sort" ? "N" : "N=1");
    EXPECT_EQ(RunCorvane(with_view).status, 2) << other;
  }
}

}  // namespace
}  // namespace corvane
