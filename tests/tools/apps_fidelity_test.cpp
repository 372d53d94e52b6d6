// What export --app and import promise together: a file comes back as it was
// (header, both blocks, every record entry), texts keep every byte whatever
// the character set, and import refuses what it would otherwise get wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "corvane/pdb/base_mgr.h"
#include "corvane/pdb/corvane.h"
#include "corvane/pdb/file_format.h"
#include "tool_runner.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::RunCorvane;
using test::ToolResult;

const std::string kCorpus = std::string(CORVANE_SHARED_DIR) + "/corpus";

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
         std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

// A file's parts read straight from its bytes.
struct Parts {
  std::string name;  // up to its zero byte: what follows may be dropped
  Bytes fixed;       // attributes, version, modification number, type, creator, seed, next list
  Bytes dates;       // creation, modification and backup, as stored
  Bytes app_info, sort_info;
  struct Entry {
    std::uint8_t attributes;
    std::uint32_t uid;
    Bytes data;
    bool operator==(const Entry&) const = default;
  };
  std::vector<Entry> entries;
};

Parts Split(const std::string& path) {
  const Bytes b = test::ReadAll(path);
  Parts p;
  p.name.assign(b.begin(), b.begin() + 32);
  p.name.resize(p.name.find('\0') == std::string::npos ? 32 : p.name.find('\0'));
  p.fixed.assign(b.begin() + 32, b.begin() + 36);
  p.fixed.insert(p.fixed.end(), b.begin() + 48, b.begin() + 52);
  p.fixed.insert(p.fixed.end(), b.begin() + 60, b.begin() + 78);
  p.dates.assign(b.begin() + 36, b.begin() + 48);
  const std::size_t n = std::size_t{b[76]} << 8 | b[77];
  std::vector<std::uint32_t> offsets;
  for (std::size_t i = 0; i < n; ++i) offsets.push_back(U32(b, 78 + 8 * i));
  std::uint32_t first = static_cast<std::uint32_t>(b.size());
  for (std::uint32_t o : offsets) {
    if (o != 0) {
      first = o;
      break;
    }
  }
  const std::uint32_t app = U32(b, 52), sort = U32(b, 56);
  if (app != 0) p.app_info.assign(b.begin() + app, b.begin() + (sort != 0 ? sort : first));
  if (sort != 0) p.sort_info.assign(b.begin() + sort, b.begin() + first);
  for (std::size_t i = 0; i < n; ++i) {
    Parts::Entry e;
    e.attributes = b[78 + 8 * i + 4];
    e.uid = U32(b, 78 + 8 * i + 4) & 0xFFFFFF;
    std::uint32_t end = static_cast<std::uint32_t>(b.size());
    for (std::size_t j = i + 1; j < n; ++j) {
      if (offsets[j] != 0) {
        end = offsets[j];
        break;
      }
    }
    if (offsets[i] != 0) e.data.assign(b.begin() + offsets[i], b.begin() + end);
    p.entries.push_back(std::move(e));
  }
  return p;
}

std::string EncodingFor(const std::string& path) {
  return path.find("-JP") != std::string::npos ? "SHIFT_JIS" : "cp1252";
}

struct AppsFidelity : ::testing::Test {
  test::TempDir dir;
  std::string Write(const std::string& name, const std::string& text) {
    test::WriteText(dir.File(name), text);
    return dir.File(name);
  }
  std::string Ok(const std::vector<std::string>& args) {
    const ToolResult r = RunCorvane(args);
    EXPECT_EQ(r.status, 0) << args.back() << "\n" << r.err;
    return r.out;
  }
  // Exports `pdb` as JSON and imports that again.
  std::string Again(const std::string& pdb, const std::string& enc = "cp1252") {
    const std::string json = Write("again.json", Ok({"export", "--encoding", enc, pdb}));
    const std::string out = dir.File("again.pdb");
    fs::remove(out);
    Ok({"import", "--encoding", enc, "--input", json, "-o", out});
    return out;
  }
  // A memo database of the records given: data, attribute byte, unique ID.
  std::string Memos(const std::vector<std::tuple<Bytes, std::uint8_t, std::uint32_t>>& records) {
    TPDBBaseMgr out;
    out.SetDirectory(dir.path());
    out.SetPDBFilename("memos.pdb");
    out.SetOpenMode(dmModeWriteOnly);
    out.SetDBName("MemoDB");
    out.SetDatabaseType("DATA");
    out.SetCreatorID("memo");
    out.CreateDatabase();
    out.SetKeepArchivedRecords(true);
    out.SetWriteCategory(true);
    out.SetCategory(0, "Unfiled");
    out.SetCategory(1, "Work");
    out.SetCategory(2, "Home");
    out.SetAppInfoP(Bytes(6, 0));  // what the memo application keeps after the table
    for (const auto& [data, attributes, uid] : records) {
      out.SetCurrentRecord(data);
      out.SetRecCategory(attributes & 0x0F);
      out.SetRecFlags(pdb::ToTRecFlags(attributes));
      out.SetRecUniqueID(static_cast<std::int32_t>(uid));
      out.WriteRawRecord();
    }
    out.CloseDatabase();
    return dir.File("memos.pdb");
  }
};

TEST_F(AppsFidelity, EveryCorpusFileComesBackFromItsExport) {
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no shared corpus at " << kCorpus;
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(kCorpus)) {
    const std::string file = entry.path().filename().string();
    const std::string path = entry.path().string();
    if (file.starts_with("neg-") || file == "README.md") continue;
    const Bytes raw = test::ReadAll(path);
    if (raw.size() < 78 || (raw[33] & 0x01) != 0) continue;  // a resource database
    ++files;
    const std::string out = Again(path, EncodingFor(path));
    const Parts a = Split(path), b = Split(out);
    EXPECT_EQ(a.name, b.name) << file;
    EXPECT_EQ(a.fixed, b.fixed) << file;
    EXPECT_EQ(a.dates, b.dates) << file << ": the header dates";
    EXPECT_EQ(a.app_info, b.app_info) << file;
    EXPECT_EQ(a.sort_info, b.sort_info) << file;
    ASSERT_EQ(a.entries.size(), b.entries.size()) << file;
    for (std::size_t i = 0; i < a.entries.size(); ++i)
      EXPECT_EQ(a.entries[i], b.entries[i]) << file << " record " << i;
  }
  EXPECT_GE(files, 25u);
}

TEST_F(AppsFidelity, DeletedAndArchivedEntriesAreExportedAndWrittenBack) {
  const Bytes live = {'k', 'e', 'p', 't', 0};
  const Bytes archived = {'o', 'l', 'd', ' ', 'n', 'o', 't', 'e', 0};
  const std::string pdb = Memos({{live, 0x41, 0x10},
                                 {Bytes(), 0x80, 0x11},               // deleted, no data
                                 {archived, 0x80 | 0x08 | 2, 0x12},  // archived, "Home"
                                 {live, 0x01, 0x13}});
  // The writer keeps an archived record's bytes and no deleted record's.
  const Parts written = Split(pdb);
  ASSERT_EQ(written.entries.size(), 4u);
  EXPECT_TRUE(written.entries[1].data.empty());
  EXPECT_EQ(written.entries[2].data, archived);

  const ToolResult json = RunCorvane({"export", pdb});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find(R"("uniqueID": 17, "deleted": true})"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find(R"("category": "Home", "secret": false, "dirty": false, "uniqueID": 18, )"
                          R"("archived": true, "text": "old note")"),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.err.find("1 archived record"), std::string::npos) << json.err;
  const Parts back = Split(Again(pdb));
  EXPECT_EQ(back.entries, written.entries);

  // Raw and CSV keep them too; text leaves them out and says so.
  const std::string raw = Ok({"export", "--app", "raw", pdb});
  EXPECT_NE(raw.find(R"("archived": true, "data": "6f6c64206e6f746500")"), std::string::npos)
      << raw;
  const std::string csv = Write("m.csv", Ok({"export", "--format", "csv", pdb}));
  fs::remove(dir.File("c.pdb"));
  Ok({"import", "--app", "memo", "--input", csv, "-o", dir.File("c.pdb")});
  EXPECT_EQ(Split(dir.File("c.pdb")).entries, written.entries);
  const ToolResult text = RunCorvane({"export", "--format", "text", pdb});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out.find("old note"), std::string::npos);
  EXPECT_NE(text.err.find("1 archived record left out"), std::string::npos) << text.err;
}

TEST_F(AppsFidelity, AnEBooksApplicationInfoBlockComesBack) {
  std::string block;
  for (int i = 0; i < 400; ++i) block += "0123456789abcdef"[i % 16];
  const std::string json = Write(
      "b.json", R"({"app": "doc", "appInfo": {"data": ")" + block + R"("}, "text": "Hello"})");
  Ok({"import", "--input", json, "-o", dir.File("b.pdb")});
  EXPECT_EQ(Split(dir.File("b.pdb")).app_info.size(), 200u);
  EXPECT_EQ(Split(Again(dir.File("b.pdb"))).app_info, Split(dir.File("b.pdb")).app_info);
}

TEST_F(AppsFidelity, UndecodableBytesComeBackUnderEveryCharacterSet) {
  // 0x80 and 0xFF are no UTF-8 and no CP932 character, 0x98 none of CP1251;
  // F4 8F BD 81 is UTF-8 for U+10FF41, the character a kept byte becomes.
  const Bytes text = {'a', 0x80, 'b', 0xFF, 0x98, 0x81, ' ', 0xF4, 0x8F, 0xBD, 0x81, 0};
  const std::string pdb = Memos({{text, 0, 1}});
  for (const char* enc : {"utf8", "SHIFT_JIS", "CP1251", "cp1252", "latin1"}) {
    const std::string out = Again(pdb, enc);
    EXPECT_EQ(Split(out).entries, Split(pdb).entries) << enc;
  }
  // The byte is the private-use character U+10FF00 plus its value.
  const std::string utf8 = Ok({"export", "--encoding", "utf8", pdb});
  EXPECT_NE(utf8.find("a\xF4\x8F\xBE\x80" "b"), std::string::npos) << utf8;
  // What the user writes in that range is a byte too, and one beyond the
  // character set is still refused.
  const std::string json =
      Write("u.json", "{\"app\": \"memo\", \"records\": [{\"text\": \"x\xF4\x8F\xBF\xBF\"}]}");
  Ok({"import", "--encoding", "CP1251", "--input", json, "-o", dir.File("u.pdb")});
  EXPECT_EQ(Split(dir.File("u.pdb")).entries[0].data, (Bytes{'x', 0xFF, 0}));
}

TEST_F(AppsFidelity, ShiftJisIsTheHandheldsCodePage) {
  // '\' and '~' stay themselves (glibc's SHIFT_JIS makes them the yen sign and
  // the overline); 93 FA 96 7B is 日本.
  const std::string pdb = Memos({{Bytes{'a', '\\', 'b', '~', 0x93, 0xFA, 0x96, 0x7B, 0}, 0, 1}});
  for (const char* enc : {"SHIFT_JIS", "SJIS", "sjis", "CP932"}) {
    EXPECT_NE(Ok({"export", "--encoding", enc, pdb}).find(R"("text": "a\\b~日本")"),
              std::string::npos)
        << enc;
  }
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no shared corpus at " << kCorpus;
  const std::string jp = kCorpus + "/pim-AddressDB-PalmV-JP.pdb";
  const std::string shift_jis = Ok({"export", "--encoding", "SHIFT_JIS", jp});
  EXPECT_EQ(shift_jis, Ok({"export", "--encoding", "SJIS", jp}));
  EXPECT_EQ(shift_jis, Ok({"export", "--encoding", "CP932", jp}));
  EXPECT_NE(shift_jis.find(R"("name": "未分類")"), std::string::npos) << shift_jis;
  EXPECT_EQ(Split(Again(jp, "SJIS")).entries, Split(jp).entries);
}

TEST_F(AppsFidelity, ImportRefusesWhatItWouldGetWrongUnlessLenient) {
  struct Case {
    std::string app, input, err;
  };
  const Case cases[] = {
      {"memo", R"({"records": [{"txet": "typo"}]})", R"(record 0 (line 1): unknown key "txet")"},
      {"memo", R"({"records": [], "appInof": {}})", R"(the JSON document: unknown key "appInof")"},
      {"memo", R"({"records": [], "appInfo": {"sortOrdr": 1}})",
       R"("appInfo": unknown key "sortOrdr")"},
      {"datebook", R"({"records": [{"description": "x"}]})", R"(an event needs a "date")"},
      {"datebook", R"({"records": [{"date": "2021-01-01", "start": "24:00", "end": "24:30"}]})",
       R"("start" must be a time from 00:00 to 23:59, not 24:00)"},
      {"datebook", R"({"records": [{"date": "2021-01-01", "start": "09:00", "end": "09:60"}]})",
       R"("end" must be a time from 00:00 to 23:59, not 09:60)"},
      {"datebook", R"({"records": [{"date": "2021-01-01", "start": "09:00"}]})",
       R"(an event with a "start" needs an "end")"},
      {"datebook",
       R"({"records": [{"date": "2021-01-01", "repeat": {"type": "daily", "frequency": 0}}]})",
       R"("frequency" must be 1 or more, not 0)"},
      {"datebook",
       R"({"records": [{"date": "2021-01-01", "alarm": {"advance": 5, "units": "hours"}}]})",
       R"("alarm": unknown key "units")"},
      {"memo", R"({"records": [{"text": "a", "uniqueID": 7}, {"text": "b", "uniqueID": 7}]})",
       "two records have the unique ID 7"},
  };
  for (const Case& c : cases) {
    const std::string json = Write("in.json", c.input);
    fs::remove(dir.File("o.pdb"));
    const ToolResult strict =
        RunCorvane({"import", "--app", c.app, "--input", json, "-o", dir.File("o.pdb")});
    EXPECT_EQ(strict.status, 1) << c.input;
    EXPECT_NE(strict.err.find(c.err), std::string::npos) << strict.err;
    EXPECT_FALSE(fs::exists(dir.File("o.pdb"))) << c.input;
    const ToolResult lenient = RunCorvane(
        {"import", "--lenient", "--app", c.app, "--input", json, "-o", dir.File("o.pdb")});
    EXPECT_EQ(lenient.status, 0) << c.input << lenient.err;
    EXPECT_NE(lenient.err.find("warning: "), std::string::npos) << lenient.err;
    EXPECT_NE(lenient.err.find(c.err), std::string::npos) << lenient.err;
  }
  // A CSV column it does not know is named once, whatever the rows.
  const std::string csv = Write("in.csv", "text,colour\r\na,red\r\nb,blue\r\n");
  const ToolResult strict =
      RunCorvane({"import", "--app", "memo", "--input", csv, "-o", dir.File("c.pdb")});
  EXPECT_EQ(strict.status, 1);
  EXPECT_NE(strict.err.find(R"(unknown column "colour")"), std::string::npos) << strict.err;
  const ToolResult lenient = RunCorvane(
      {"import", "--lenient", "--app", "memo", "--input", csv, "-o", dir.File("c.pdb")});
  EXPECT_EQ(lenient.status, 0) << lenient.err;
  EXPECT_EQ(lenient.err, "corvane: warning: unknown column \"colour\"\n");
  // --lenient is for the applications only.
  EXPECT_EQ(RunCorvane({"import", "--engine", "generic", "--lenient", "--input", csv, "-o",
                        dir.File("g.pdb")})
                .status,
            2);
}

TEST_F(AppsFidelity, RecordsWithoutUniqueIDsGetFreshOnesFromTheSeed) {
  const std::string json = Write("m.json", R"({"app": "memo", "database": {"uniqueIDSeed": 4},
    "records": [{"text": "a"}, {"text": "b", "uniqueID": 5}, {"text": "c"}, {"text": "d", "uniqueID": 0}]})");
  Ok({"import", "--input", json, "-o", dir.File("m.pdb")});
  const Parts p = Split(dir.File("m.pdb"));
  ASSERT_EQ(p.entries.size(), 4u);
  EXPECT_EQ(p.entries[0].uid, 4u);
  EXPECT_EQ(p.entries[1].uid, 5u);
  EXPECT_EQ(p.entries[2].uid, 6u);
  EXPECT_EQ(p.entries[3].uid, 0u);  // given: kept, as real files hold it
  EXPECT_EQ(U32(p.fixed, 16), 7u);  // the header's seed moves past them
  Ok({"check", "--strict", dir.File("m.pdb")});

  // From CSV without the column, and without any seed: from 1 up.
  const std::string csv = Write("m.csv", "text\r\na\r\nb\r\n");
  Ok({"import", "--app", "memo", "--input", csv, "-o", dir.File("c.pdb")});
  const Parts c = Split(dir.File("c.pdb"));
  EXPECT_EQ(c.entries[0].uid, 1u);
  EXPECT_EQ(c.entries[1].uid, 2u);
  Ok({"check", dir.File("c.pdb")});
}

TEST_F(AppsFidelity, CsvKeepsEachRecordsCategorySlot) {
  // "Nicht abgelegt" is the German "Unfiled", in slot 0; CSV has no table.
  const std::string json = Write("m.json", R"({"app": "memo", "appInfo": {"categories": [
    {"name": "Nicht abgelegt"}, {"name": "Firma"}, {"name": ""}, {"name": "Reise"}]},
    "records": [{"category": "Nicht abgelegt", "text": "a"}, {"category": "Firma", "text": "b"},
                {"category": "Reise", "text": "c"}]})");
  Ok({"import", "--input", json, "-o", dir.File("m.pdb")});
  const std::string csv = Write("m.csv", Ok({"export", "--format", "csv", dir.File("m.pdb")}));
  Ok({"import", "--app", "memo", "--input", csv, "-o", dir.File("c.pdb")});
  const Parts a = Split(dir.File("m.pdb")), b = Split(dir.File("c.pdb"));
  ASSERT_EQ(b.entries.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(a.entries[i].attributes & 0x0F, b.entries[i].attributes & 0x0F) << i;
  // The slots hold the names too.
  const std::string info = Ok({"info", dir.File("c.pdb")});
  EXPECT_NE(info.find("    0    0  Nicht abgelegt"), std::string::npos) << info;
  EXPECT_NE(info.find("    1    1  Firma"), std::string::npos) << info;
  EXPECT_NE(info.find("    3    3  Reise"), std::string::npos) << info;

  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no shared corpus at " << kCorpus;
  const std::string de = kCorpus + "/pim-ToDoDB-sdk61-deDE.pdb";
  const std::string de_csv = Write("de.csv", Ok({"export", "--format", "csv", de}));
  Ok({"import", "--app", "todo", "--input", de_csv, "-o", dir.File("de.pdb")});
  EXPECT_EQ(Split(dir.File("de.pdb")).entries, Split(de).entries);
  EXPECT_NE(Ok({"info", dir.File("de.pdb")}).find("    0    0  Nicht abgelegt"),
            std::string::npos);
}

}  // namespace
}  // namespace corvane
