// The flat-file table codecs (JFile, MobileDB): the worked bytes of their
// layouts, the real JFile tables of the corpus read and written back byte for
// byte, tables of every generation with every field type, and damaged input.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>

#include "corvane/apps/jfile.h"
#include "corvane/apps/mobiledb.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/locale.h"

namespace corvane::apps {
namespace {

Bytes FromHex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

Bytes Of(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

template <class F>
std::pair<int, std::string> Refusal(F&& f) {
  try {
    f();
  } catch (const EPDBException& e) {
    return {e.ErrorCode(), e.what()};
  }
  return {0, "nothing raised"};
}

struct Tables : ::testing::Test {
  void SetUp() override { SetThreadLanguageOverride("en"); }
  void TearDown() override { SetThreadLanguageOverride(std::nullopt); }
};

// A PDB file's application-info block and records, read by hand so that the
// codecs are checked against the file without the library's reader.
struct RawPdb {
  std::string type, creator;
  Bytes appInfo;
  std::vector<Bytes> records;
};

std::optional<RawPdb> ReadCorpus(const std::string& name) {
  std::ifstream f(std::string(CORVANE_SHARED_DIR) + "/corpus/" + name, std::ios::binary);
  if (!f) return std::nullopt;
  const Bytes b{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  const auto u32 = [&](std::size_t at) {
    return std::size_t{b.at(at)} << 24 | std::size_t{b.at(at + 1)} << 16 |
           std::size_t{b.at(at + 2)} << 8 | b.at(at + 3);
  };
  RawPdb p;
  p.type.assign(b.begin() + 60, b.begin() + 64);
  p.creator.assign(b.begin() + 64, b.begin() + 68);
  const std::size_t n = std::size_t{b.at(76)} << 8 | b.at(77);
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < n; ++i) starts.push_back(u32(78 + 8 * i));
  const std::size_t app = u32(52);
  p.appInfo.assign(b.begin() + static_cast<std::ptrdiff_t>(app),
                   b.begin() + static_cast<std::ptrdiff_t>(starts.empty() ? b.size() : starts[0]));
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t end = i + 1 < n ? starts[i + 1] : b.size();
    p.records.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(starts[i]),
                           b.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return p;
}

// ---- JFile ----------------------------------------------------------------------

JFileField F(std::string name, std::uint16_t type = kJFileText, std::uint16_t width = 80) {
  JFileField f;
  f.name = std::move(name);
  f.type = type;
  f.width = width;
  return f;
}

JFileRow Row(std::vector<std::string> values) {
  JFileRow r;
  r.values = std::move(values);
  return r;
}

TEST_F(Tables, JFileCorpusTablesReadAndWriteBackByteForByte) {
  struct Case {
    const char* file;
    std::size_t rows;
    std::vector<std::string> names;
    std::vector<std::uint16_t> types;
  };
  const Case cases[] = {
      {"jfile-100movies.pdb", 100, {"#", "Name", "Year"}, {8, 1, 8}},
      {"jfile-locus-poll.pdb",
       1414,
       {"Year", "#", "Author", "Title", "Publisher", "Category", "Other Title"},
       {8, 8, 1, 1, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::optional<RawPdb> pdb = ReadCorpus(c.file);
    if (!pdb) GTEST_SKIP() << "no corpus";
    const std::optional<JFileVersion> v = JFileVersionOf(pdb->type, pdb->creator);
    ASSERT_EQ(v, JFileVersion::k3);
    const Bytes& block = pdb->appInfo;
    EXPECT_EQ(block.size(), 568u);
    const JFileTable t = DecodeJFileTable(*v, block);
    ASSERT_EQ(t.fields.size(), c.names.size());
    for (std::size_t i = 0; i < c.names.size(); ++i) {
      EXPECT_EQ(t.fields[i].name, c.names[i]);
      EXPECT_EQ(t.fields[i].type, c.types[i]);
    }
    EXPECT_EQ(t.marker, 452);
    EXPECT_TRUE(t.unused.empty());
    EXPECT_EQ(t.settings, JFileTable::New(JFileVersion::k3).settings);
    EXPECT_EQ(EncodeJFileTable(t), block);
    ASSERT_EQ(pdb->records.size(), c.rows);
    for (const Bytes& r : pdb->records) {
      const JFileRow row = DecodeJFileRow(t, r);
      ASSERT_EQ(row.values.size(), c.names.size());
      EXPECT_TRUE(row.extra.empty());
      ASSERT_EQ(EncodeJFileRow(t, row), r);
    }
  }
  const std::optional<RawPdb> movies = ReadCorpus("jfile-100movies.pdb");
  const JFileTable t = DecodeJFileTable(JFileVersion::k3, movies->appInfo);
  EXPECT_EQ(t.fields[0].width, 20);
  EXPECT_EQ(t.fields[1].width, 110);
  EXPECT_EQ(t.fields[2].width, 26);
  const JFileRow first = DecodeJFileRow(t, movies->records[0]);
  EXPECT_EQ(first.values, (std::vector<std::string>{"1", "Citizen Kane", "1941"}));
  EXPECT_EQ(JFileValueOf(kJFileInteger, first.values[2]), TableValue(std::int64_t{1941}));
  const std::optional<RawPdb> poll = ReadCorpus("jfile-locus-poll.pdb");
  const JFileTable pt = DecodeJFileTable(JFileVersion::k3, poll->appInfo);
  EXPECT_EQ(DecodeJFileRow(pt, poll->records[0]).values,
            (std::vector<std::string>{"1971", "", "Larry Niven", "Ringworld", "Ballantine", "novel",
                                      ""}));
  EXPECT_EQ(JFileValueOf(kJFileInteger, ""), TableValue(std::monostate{}));
}

TEST_F(Tables, JFileLengthPrefixedRowOfTheWorkedExample) {
  JFileTable t = JFileTable::New(JFileVersion::k5);
  t.fields = {F("Title"), F("Count", kJFileInteger), F("Done", kJFileBoolean),
              F("When", kJFileDate)};
  const Bytes golden = FromHex(
      "000a000200020009"
      "466972737420726f7700"
      "3100"
      "3100"
      "323030363031303200");
  const JFileRow row = DecodeJFileRow(t, golden);
  EXPECT_EQ(row.values, (std::vector<std::string>{"First row", "1", "1", "20060102"}));
  EXPECT_TRUE(row.lengths.empty());
  EXPECT_EQ(EncodeJFileRow(t, row), golden);
  EXPECT_EQ(JFileValueOf(kJFileBoolean, "1"), TableValue(true));
  EXPECT_EQ(JFileValueOf(kJFileDate, "20060102"), TableValue(TableDate{2006, 1, 2}));

  // Lengths that do not describe the texts: read by the zeros, kept as they were.
  Bytes odd = golden;
  odd[1] = 0x09;
  const JFileRow fallback = DecodeJFileRow(t, odd);
  EXPECT_EQ(fallback.values, row.values);
  EXPECT_EQ(fallback.lengths.size(), 8u);
  EXPECT_EQ(EncodeJFileRow(t, fallback), odd);
}

TEST_F(Tables, JFileEveryGenerationEveryTypeTheMostFieldsAndLongestTexts) {
  const std::uint16_t types[] = {kJFileText,  kJFileBoolean, kJFileDate, kJFileInteger,
                                 kJFileFloat, kJFileTime,    64};
  for (JFileVersion v : {JFileVersion::k3, JFileVersion::k4, JFileVersion::k5}) {
    SCOPED_TRACE(static_cast<int>(v));
    const JFileLayout& layout = JFileLayoutOf(v);
    JFileTable t = JFileTable::New(v);
    for (std::size_t i = 0; i < layout.slots; ++i) {
      // Names of every length up to the slot's 21 bytes, the longest without its zero.
      std::string name = std::string("F").append(std::to_string(i));
      name.resize(1 + i % kJFileNameSize, 'x');
      t.fields.push_back(F(name, types[i % std::size(types)], static_cast<std::uint16_t>(10 + i)));
    }
    t.lastWidth = 99;
    const Bytes block = EncodeJFileTable(t);
    EXPECT_EQ(block.size(), layout.BlockSize());
    EXPECT_EQ(block.size(), v == JFileVersion::k3 ? 568u : 1706u);
    EXPECT_EQ(DecodeJFileTable(v, block), t);

    JFileRow row;
    const TableValue samples[] = {std::string("text"),      true, TableDate{1999, 12, 31},
                                  std::int64_t{-42},        0.1,  TableTime{23, 59, 5},
                                  std::string("kept as is")};
    for (std::size_t i = 0; i < layout.slots; ++i) {
      row.values.push_back(i % 5 == 4 ? std::string() : JFileStoredText(samples[i % 7]));
    }
    // One long text: JFile 4/5 length words hold up to 65534 bytes and the zero.
    row.values[0] = std::string(v == JFileVersion::k3 ? 4000 : 60000, 'L');
    const Bytes bytes = EncodeJFileRow(t, row);
    const JFileRow back = DecodeJFileRow(t, bytes);
    EXPECT_EQ(back, row);
    for (std::size_t i = 0; i < layout.slots; ++i) {
      EXPECT_EQ(JFileStoredText(JFileValueOf(t.fields[i].type, back.values[i])), back.values[i]);
    }
    EXPECT_EQ(JFileValueOf(kJFileFloat, "0.1"), TableValue(0.1));
    EXPECT_EQ(JFileValueOf(kJFileTime, "23:59:05"), TableValue(TableTime{23, 59, 5}));
  }
}

TEST_F(Tables, JFileTextsNotWrittenAsTheirTypeStayText) {
  for (const auto& [type, text] :
       std::vector<std::pair<std::uint16_t, std::string>>{{kJFileInteger, "007"},
                                                          {kJFileInteger, "+1"},
                                                          {kJFileInteger, "12 "},
                                                          {kJFileInteger, "99999999999999999999"},
                                                          {kJFileFloat, "3.50"},
                                                          {kJFileFloat, "1e5"},
                                                          {kJFileBoolean, "yes"},
                                                          {kJFileBoolean, "true"},
                                                          {kJFileDate, "20061302"},
                                                          {kJFileDate, "2006-01-02"},
                                                          {kJFileDate, "20060229"},
                                                          {kJFileDate, "00000101"},
                                                          {kJFileTime, "23:60:00"},
                                                          {kJFileTime, "24:00:00"},
                                                          {kJFileTime, "9:00:00"}}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(JFileValueOf(type, text), TableValue(text));
  }
  EXPECT_EQ(JFileValueOf(kJFileText, ""), TableValue(std::string()));
}

TEST_F(Tables, JFileDamagedTablesAndRows) {
  JFileTable t = JFileTable::New(JFileVersion::k3);
  t.fields = {F("A"), F("B"), F("C")};
  Bytes block = EncodeJFileTable(t);
  // A field count over the slots.
  Bytes over = block;
  over[460] = 0;
  over[461] = 21;
  EXPECT_EQ(Refusal([&] { DecodeJFileTable(JFileVersion::k3, over); }),
            std::make_pair(2, std::string("The table names more fields than it has slots for!")));
  // A block cut short, and one of the later generations read as the earlier.
  EXPECT_EQ(Refusal([&] { DecodeJFileTable(JFileVersion::k3, std::span(block).first(567)); }).first,
            1);
  EXPECT_EQ(Refusal([&] { DecodeJFileTable(JFileVersion::k5, block); }).first, 1);
  // An unknown type code is read as text and kept.
  Bytes odd_type = block;
  odd_type[421] = 0x80;
  EXPECT_EQ(DecodeJFileTable(JFileVersion::k3, odd_type).fields[0].type, 0x80);
  EXPECT_EQ(EncodeJFileTable(DecodeJFileTable(JFileVersion::k3, odd_type)), odd_type);

  // A row with fewer fields, and one whose last text has lost its zero.
  for (std::string_view r : {std::string_view("a\0b\0", 4), std::string_view("a\0b\0c", 5)}) {
    EXPECT_EQ(Refusal([&] { DecodeJFileRow(t, Of(r)); }),
              std::make_pair(2, std::string("The row holds fewer fields than its table!")));
  }
  // More zeros than fields: the rest is kept.
  const Bytes more = Of(std::string_view("a\0b\0c\0d\0", 8));
  EXPECT_EQ(DecodeJFileRow(t, more).extra, std::string("d\0", 2));
  EXPECT_EQ(EncodeJFileRow(t, DecodeJFileRow(t, more)), more);
  // JFile 5 rows shorter than their length words.
  JFileTable t5 = t;
  t5.version = JFileVersion::k5;
  EXPECT_EQ(Refusal([&] { DecodeJFileRow(t5, FromHex("00020002")); }).first, 1);

  // Writing: too many fields, a long name, a zero inside a text, too few values.
  JFileTable big = JFileTable::New(JFileVersion::k3);
  big.fields.resize(21);
  EXPECT_EQ(Refusal([&] { EncodeJFileTable(big); }).first, 1);
  JFileTable long_name = t;
  long_name.fields[0].name.assign(22, 'n');
  EXPECT_EQ(Refusal([&] { EncodeJFileTable(long_name); }).second,
            "Field name longer than 21 bytes!");
  EXPECT_EQ(Refusal([&] { EncodeJFileRow(t, Row({"a", std::string("b\0", 2), "c"})); }).first, 2);
  EXPECT_EQ(Refusal([&] { EncodeJFileRow(t, Row({"a", "b"})); }).first, 1);
  EXPECT_EQ(Refusal([&] { JFileStoredText(TableDate{2006, 2, 30}); }).first, 1);
}

TEST_F(Tables, JFileRandomBytesNeverReadPastTheirEnd) {
  std::mt19937 rng(21);
  for (JFileVersion v : {JFileVersion::k3, JFileVersion::k5}) {
    JFileTable t = JFileTable::New(v);
    t.fields = {F("A"), F("B"), F("C"), F("D")};
    // The views of one vector, reused row after row, say what the copies say.
    std::vector<std::string_view> views;
    for (int i = 0; i < 3000; ++i) {
      Bytes b(rng() % 24);
      for (auto& x : b) x = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : rng());
      std::optional<JFileRow> row;
      try {
        row = DecodeJFileRow(t, b);
        EXPECT_EQ(EncodeJFileRow(t, *row), b);
      } catch (const EPDBException&) {
      }
      try {
        const JFileRowExtent extent = ViewJFileRow(t, b, views);
        ASSERT_TRUE(row.has_value());
        EXPECT_EQ(std::vector<std::string>(views.begin(), views.end()), row->values);
        EXPECT_EQ(extent.lengthsStored, !row->lengths.empty());
        EXPECT_EQ(b.size() - extent.end, row->extra.size());
      } catch (const EPDBException&) {
        EXPECT_FALSE(row.has_value());
      }
    }
  }
}

// ---- MobileDB ---------------------------------------------------------------------

TEST_F(Tables, MobileDBWorkedExamples) {
  const Bytes row = FromHex(
      "ffffff01ff0000"
      "0057696467657400"
      "01343200"
      "ff");
  const MobileDBRecord r = DecodeMobileDBRecord(row);
  ASSERT_EQ(r.fields.size(), 2u);
  EXPECT_EQ(r.fields[0], (MobileDBField{0, "Widget"}));
  EXPECT_EQ(r.fields[1], (MobileDBField{1, "42"}));
  EXPECT_EQ(EncodeMobileDBRecord(r), row);
  const Bytes labels = Of(std::string_view("\xFF\xFF\xFF\x01\xFF\0\0\0Name\0\x01Qty\0\xFF", 19));
  const MobileDBRecord l = DecodeMobileDBRecord(labels);
  EXPECT_EQ(*l.Find(1), "Qty");
  EXPECT_EQ(l.Find(2), nullptr);
  EXPECT_EQ(EncodeMobileDBRecord(l), labels);
}

TEST_F(Tables, MobileDBRecordsAndBlocksRoundTrip) {
  MobileDBRecord r;
  // The most fields a record can number, absent ones, empty and long texts.
  for (int i = 0; i < 255; i += (i % 7 == 3 ? 2 : 1)) {
    r.fields.push_back({static_cast<std::uint8_t>(i), i % 5 == 0 ? "" : std::string(i * 3, 'z')});
  }
  r.extra = "after";
  const Bytes b = EncodeMobileDBRecord(r);
  EXPECT_EQ(DecodeMobileDBRecord(b), r);

  const MobileDBAppInfo standard = MobileDBAppInfo::Standard();
  const Bytes block = EncodeMobileDBAppInfo(standard);
  EXPECT_EQ(block.size(), 428u);
  EXPECT_EQ(DecodeMobileDBAppInfo(block), standard);
  EXPECT_EQ(standard.categories.names[3], "DataRecordsFout");
  // Another writer's 427 bytes, and a block of the categories alone.
  const Bytes short_block(block.begin(), block.begin() + 427);
  EXPECT_EQ(EncodeMobileDBAppInfo(DecodeMobileDBAppInfo(short_block)), short_block);
  const Bytes bare(block.begin(), block.begin() + 276);
  EXPECT_FALSE(DecodeMobileDBAppInfo(bare).version);
  EXPECT_EQ(EncodeMobileDBAppInfo(DecodeMobileDBAppInfo(bare)), bare);
  EXPECT_EQ(Refusal([&] { DecodeMobileDBAppInfo(std::span(block).first(200)); }).first, 1);
}

TEST_F(Tables, MobileDBTypedValues) {
  EXPECT_EQ(MobileDBTypeOf("T"), MobileDBType::kText);
  EXPECT_EQ(MobileDBTypeOf("Boolean"), MobileDBType::kBoolean);
  EXPECT_EQ(MobileDBTypeOf("d"), MobileDBType::kTime);
  EXPECT_EQ(MobileDBTypeOf("X"), MobileDBType::kOther);
  EXPECT_EQ(MobileDBValueOf("D", "0"), TableValue(TableDate{1904, 1, 1}));
  EXPECT_EQ(MobileDBValueOf("D", "37986"), TableValue(TableDate{2008, 1, 1}));
  EXPECT_EQ(MobileDBStoredText(TableDate{2008, 1, 1}), "37986");
  EXPECT_EQ(DateFrom1904(DaysSince1904(TableDate{2000, 2, 29})), (TableDate{2000, 2, 29}));
  EXPECT_EQ(MobileDBValueOf("B", "true"), TableValue(true));
  EXPECT_EQ(MobileDBValueOf("B", "1"), TableValue(std::string("1")));
  EXPECT_EQ(MobileDBValueOf("d", "07:30"), TableValue(TableTime{7, 30, 0}));
  EXPECT_EQ(MobileDBValueOf("D", ""), TableValue(std::monostate{}));
  EXPECT_EQ(MobileDBValueOf("D", "037987"), TableValue(std::string("037987")));
  EXPECT_EQ(MobileDBValueOf("T", ""), TableValue(std::string()));
  EXPECT_EQ(Refusal([&] { MobileDBStoredText(TableDate{1903, 12, 31}); }).first, 1);
}

TEST_F(Tables, MobileDBDamagedRecords) {
  EXPECT_EQ(
      Refusal([&] { DecodeMobileDBRecord(FromHex("ffffff01ff00")); }),
      std::make_pair(1, std::string("MobileDB record does not start with its fixed header!")));
  EXPECT_EQ(Refusal([&] { DecodeMobileDBRecord(FromHex("ffffff02ff0000ff")); }).first, 1);
  EXPECT_EQ(Refusal([&] { DecodeMobileDBRecord(FromHex("ffffff01ff00000041")); }).first, 3);
  EXPECT_EQ(Refusal([&] { DecodeMobileDBRecord(FromHex("ffffff01ff0000004100")); }),
            std::make_pair(2, std::string("MobileDB record is not ended by its end marker!")));
  EXPECT_EQ(Refusal([&] { EncodeMobileDBRecord(MobileDBRecord{{{255, "x"}}, {}}); }).first, 1);
  std::mt19937 rng(5);
  for (int i = 0; i < 3000; ++i) {
    Bytes b = FromHex("ffffff01ff0000");
    for (std::size_t k = rng() % 16; k > 0; --k)
      b.push_back(static_cast<std::uint8_t>(rng() % 3 == 0 ? 0 : rng()));
    try {
      EXPECT_EQ(EncodeMobileDBRecord(DecodeMobileDBRecord(b)), b);
    } catch (const EPDBException&) {
    }
  }
}

}  // namespace
}  // namespace corvane::apps
