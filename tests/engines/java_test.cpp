// Java records: the worked record and application-info block, every
// accessor's accepted types, the millisecond dates, damaged records, the
// decorated name, a real file from a Java tool, and a whole database compared
// with a hand-built file.
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/engines/java.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/exceptions.h"
#include "engine_support.h"

namespace corvane {
namespace {

using test::PdbError;
using test::Rec;

using Java = test::EngineFieldsFixture<TPDBJava>;

// A signed 64-bit number as its eight big-endian bytes.
Rec Be64(std::int64_t v) {
  Rec out(8);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (56 - 8 * i));
  return out;
}

// ---------------------------------------------------------------------------
// Accessors.

using AccessorRow = test::AccessorRow<TPDBJavaField>;

const std::vector<TPDBJavaFieldType> kAllJava = {JByte, JBoolean, JChar, JInt, JLong, JShort, JString, JDate};

TEST_F(Java, EveryAccessorAcceptsExactlyItsTypes) {
  const std::vector<AccessorRow> rows = {
      {"GetAsBoolean", 53000, {JBoolean}, [](TPDBJavaField& f) { f.GetAsBoolean(); }},
      {"SetAsBoolean", 53010, {JBoolean}, [](TPDBJavaField& f) { f.SetAsBoolean(true); }},
      {"GetAsByte", 53020, {JByte}, [](TPDBJavaField& f) { f.GetAsByte(); }},
      {"SetAsByte", 53030, {JByte, JInt, JLong, JShort}, [](TPDBJavaField& f) { f.SetAsByte(1); }},
      {"GetAsChar", 53040, {JChar}, [](TPDBJavaField& f) { f.GetAsChar(); }},
      {"SetAsChar", 53050, {JChar}, [](TPDBJavaField& f) { f.SetAsChar("a"); }},
      {"GetAsInt", 53060, {JByte, JInt}, [](TPDBJavaField& f) { f.GetAsInt(); }},
      {"SetAsInt", 53070, {JInt, JLong}, [](TPDBJavaField& f) { f.SetAsInt(1); }},
      {"GetAsLong", 53080, {JLong}, [](TPDBJavaField& f) { f.GetAsLong(); }},
      {"SetAsLong", 53090, {JLong}, [](TPDBJavaField& f) { f.SetAsLong(1); }},
      {"GetAsShort", 53100, {JShort}, [](TPDBJavaField& f) { f.GetAsShort(); }},
      {"SetAsShort", 53110, {JInt, JLong, JShort}, [](TPDBJavaField& f) { f.SetAsShort(1); }},
      {"GetAsDate", 53140, {JDate}, [](TPDBJavaField& f) { f.GetAsDate(); }},
      {"SetAsDate", 53150, {JDate}, [](TPDBJavaField& f) { f.SetAsDate(1); }},
      {"GetAsString", 0, kAllJava, [](TPDBJavaField& f) { f.GetAsString(); }},
      {"SetAsString", 0, kAllJava, [](TPDBJavaField& f) { f.SetAsString("1"); }},
  };
  TPDBJavaField& f = Add(JString);
  test::ExpectAccessorsAcceptExactlyTheirTypes(f, rows, kAllJava);
}

TEST_F(Java, GettersConvertWhatOtherSettersStored) {
  TPDBJavaField& f = Add(JLong);
  f.SetAsShort(-3);
  EXPECT_EQ(f.GetAsLong(), -3);
  f.SetAsInt(123456);
  EXPECT_EQ(f.GetAsLong(), 123456);
  f.SetDataType(JShort);
  f.SetAsByte(200);
  EXPECT_EQ(f.GetAsShort(), 200);
  f.SetDataType(JChar);
  f.SetAsChar("\xE9xyz");
  EXPECT_EQ(f.GetAsChar(), "\xE9");
  f.SetAsChar("");
  EXPECT_EQ(f.GetAsChar(), std::string(1, '\0'));
}

// ---------------------------------------------------------------------------
// Encodings.

TEST_F(Java, WorkedRecordIsTenBytes) {
  Add(JInt, "id");
  Add(JString, "name");
  Add(JBoolean, "ok");
  const Rec record = PackOne(engine, [&] {
    F(0).SetAsInt(1);
    F(1).SetAsString("abc");
    F(2).SetAsBoolean(true);
  });
  EXPECT_EQ(record, (Rec{0x00, 0x00, 0x00, 0x01, 0x00, 0x03, 0x61, 0x62, 0x63, 0x01}));

  engine.SetOpenMode(dmModeReadOnly);
  engine.OpenDatabase();
  EXPECT_EQ(engine.FieldByName("ID").GetAsInt(), 1);
  EXPECT_EQ(F(1).GetAsString(), "abc");
  EXPECT_TRUE(F(2).GetAsBoolean());
  // A string's raw copy carries one zero byte after its text.
  const auto raw = F(1).RawCopy();
  EXPECT_EQ(Rec(raw.begin(), raw.end()), (Rec{0x61, 0x62, 0x63, 0x00}));
}

TEST_F(Java, DatesAreMillisecondsInWholeSeconds) {
  Add(JDate, "d");
  const TDateTime jan2 = EncodeDate(1970, 1, 2) + EncodeTime(0, 0, 1, 0);
  EXPECT_EQ(PackOne(engine, [&] { F(0).SetAsDate(jan2); }), Be64(86401000));
  // Milliseconds are dropped when written.
  EXPECT_EQ(PackOne(engine, [&] { F(0).SetAsDate(jan2 + EncodeTime(0, 0, 0, 750)); }), Be64(86401000));
  // A cleared date is 1899-12-30, which reads back as the date 0.
  EXPECT_EQ(PackOne(engine, [] {}), Be64(-2209161600000LL));

  OpenRecords(engine, {Be64(-1000), Be64(-2209161600000LL), Be64(0), Be64(86401000)});
  EXPECT_EQ(F(0).GetAsDate(), EncodeDate(1969, 12, 31) + EncodeTime(23, 59, 59, 0));
  engine.Next();
  EXPECT_EQ(F(0).GetAsDate(), 0);
  engine.Next();
  EXPECT_EQ(F(0).GetAsDate(), 0);
  engine.Next();
  EXPECT_DOUBLE_EQ(F(0).GetAsDate(), jan2);
}

// Before 1899-12-30 a TDateTime is negative: its whole part is the day and its
// fraction, taken as positive, the time of day. The millisecond counts are
// Python's for the same dates.
TEST_F(Java, DatesBefore1899AreWrittenAndReadBackExactly) {
  Add(JDate);
  struct Case {
    TDateTime date;
    std::int64_t millis;
  };
  const Case cases[] = {
      {EncodeDate(1850, 1, 1) - EncodeTime(12, 0, 0, 0), -3786782400000LL},
      {-1.25, -2209226400000LL},  // 1899-12-29 06:00
      {EncodeDate(1600, 2, 29) - EncodeTime(23, 59, 59, 0), -11670912001000LL},
      {EncodeDate(1, 1, 1) - EncodeTime(0, 0, 1, 0), -62135596799000LL},
  };
  std::vector<Rec> records;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.millis);
    records.push_back(PackOne(engine, [&] { F(0).SetAsDate(c.date); }));
    EXPECT_EQ(records.back(), Be64(c.millis));
  }
  OpenRecords(engine, records);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.millis);
    EXPECT_EQ(F(0).GetAsDate(), c.date);
    const DateParts d = DecodeDate(F(0).GetAsDate());
    const TimeParts t = DecodeTime(F(0).GetAsDate());
    const DateParts want_d = DecodeDate(c.date);
    const TimeParts want_t = DecodeTime(c.date);
    EXPECT_EQ(std::tie(d.year, d.month, d.day), std::tie(want_d.year, want_d.month, want_d.day));
    EXPECT_EQ(std::tie(t.hour, t.minute, t.second), std::tie(want_t.hour, want_t.minute, want_t.second));
    if (!engine.Eof()) engine.Next();
  }
}

TEST_F(Java, DatesOutsideTheCalendarAreRefused) {
  Add(JDate);
  PrepareWrite(engine);
  engine.CreateDatabase();
  engine.Append();
  F(0).SetAsDate(EncodeDate(1, 1, 1) - 1.5);  // before 0001-01-01
  EXPECT_THROW(engine.Post(), EConvertError);
  EXPECT_TRUE(engine.AppendMode());
}

TEST_F(Java, NumbersSplitWithTheirSigns) {
  Add(JByte);
  Add(JChar);
  Add(JShort);
  Add(JInt);
  Add(JLong);
  Rec r = {0xFF, 0x01, 0x41, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFD};
  const Rec l = Be64(-4);
  r.insert(r.end(), l.begin(), l.end());
  OpenRecords(engine, {r});
  EXPECT_EQ(F(0).GetAsByte(), 255);
  EXPECT_EQ(F(0).GetAsInt(), 255);
  EXPECT_EQ(F(1).GetAsString(), "321");
  EXPECT_EQ(F(1).GetAsChar(), "A");
  EXPECT_EQ(F(2).GetAsShort(), -2);
  EXPECT_EQ(F(3).GetAsInt(), -3);
  EXPECT_EQ(F(4).GetAsLong(), -4);
}

TEST_F(Java, RoundTripOfEveryType) {
  for (TPDBJavaFieldType t : kAllJava) Add(t, "f" + std::to_string(t));
  const TDateTime when = EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58, 0);
  PackOne(engine, [&] {
    F(JByte).SetAsByte(0xAB);
    F(JBoolean).SetAsBoolean(true);
    F(JChar).SetAsChar("Z");
    F(JInt).SetAsInt(-2147483647 - 1);
    F(JLong).SetAsLong(INT64_MIN + 1);
    F(JShort).SetAsShort(-32768);
    F(JString).SetAsString(std::string("caf\xE9 com a\xE7\xFA" "car"));
    F(JDate).SetAsDate(when);
  });
  engine.SetOpenMode(dmModeReadOnly);
  engine.OpenDatabase();
  EXPECT_EQ(F(JByte).GetAsByte(), 0xAB);
  EXPECT_TRUE(F(JBoolean).GetAsBoolean());
  EXPECT_EQ(F(JChar).GetAsChar(), "Z");
  EXPECT_EQ(F(JInt).GetAsInt(), -2147483647 - 1);
  EXPECT_EQ(F(JLong).GetAsLong(), INT64_MIN + 1);  // exact past 2^53
  EXPECT_EQ(F(JShort).GetAsShort(), -32768);
  EXPECT_EQ(F(JString).GetAsString(), "caf\xE9 com a\xE7\xFA" "car");
  EXPECT_DOUBLE_EQ(F(JDate).GetAsDate(), when);
}

TEST_F(Java, TextInANumberFieldFailsWithTheConversionError) {
  Add(JInt);
  PrepareWrite(engine);
  engine.CreateDatabase();
  engine.Append();
  F(0).SetAsString("twelve");
  EXPECT_THROW(engine.Post(), EConvertError);
  EXPECT_TRUE(engine.AppendMode());
  engine.Cancel();
}

TEST_F(Java, StringLongerThanItsLengthWordIsRefused) {
  Add(JString);
  Add(JInt);
  PrepareWrite(engine);
  engine.CreateDatabase();
  engine.Append();
  F(0).SetAsString(std::string(65536, 'x'));
  const auto [code, message] = PdbError([&] { engine.Post(); });
  EXPECT_EQ(code, 1);
  EXPECT_EQ(message, GetLocaleString(52060));
  EXPECT_EQ(engine.RecordCount(), 0);
  // A describable text must still leave the record within 65535 bytes.
  F(0).SetAsString(std::string(65535 - 2 - 4 + 1, 'y'));
  EXPECT_EQ(PdbError([&] { engine.Post(); }).first, 3);
  F(0).SetAsString(std::string(65535 - 2 - 4, 'y'));
  engine.Post();
  engine.CloseDatabase();
  const auto records = test::RecordsOf(Out());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].size(), 65535u);
  EXPECT_EQ(test::U16At(records[0], 0), 65529);
}

// ---------------------------------------------------------------------------
// Damaged records never make the split read outside them.

TEST_F(Java, RecordsThatDoNotHoldTheFieldsAreRefused) {
  Add(JShort);
  Add(JString);
  const std::vector<Rec> bad = {
      {},                        // no bytes at all
      {0x00},                    // short number
      {0x00, 0x01},              // no length word
      {0x00, 0x01, 0x00},        // half a length word
      {0x00, 0x01, 0x00, 0x03, 0x61, 0x62},  // length past the end
      {0x00, 0x01, 0xFF, 0xFF, 0x61},
  };
  for (const Rec& r : bad) {
    SCOPED_TRACE(testing::PrintToString(r));
    const auto [code, message] = PdbError([&] {
      TPDBJava reader;
      reader.Fields().Assign(engine.Fields());
      OpenRecords(reader, {r});
    });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(message, GetLocaleString(52020));
  }
  // Exactly long enough, and with bytes left over: both fine.
  OpenRecords(engine, {{0x00, 0x01, 0x00, 0x01, 0x61}, {0x00, 0x02, 0x00, 0x00, 0xEE, 0xEE}});
  EXPECT_EQ(F(1).GetAsString(), "a");
  engine.Next();
  EXPECT_EQ(F(0).GetAsShort(), 2);
  EXPECT_EQ(F(1).GetAsString(), "");
}

TEST_F(Java, DeletedRecordHasNoBytesToSplit) {
  Add(JInt);
  Rec file = test::PlainPdb("In", {{0, 0, 0, 1}, {0, 0, 0, 2}});
  file[78 + 8 + 4] |= 0x80;  // record 1: delete bit
  test::WriteAll(dir.File("in.pdb"), file);
  PrepareRead(engine, "in.pdb");
  engine.OpenDatabase();
  EXPECT_EQ(F(0).GetAsInt(), 1);
  const auto [code, message] = PdbError([&] { engine.Next(); });
  EXPECT_EQ(code, 1);
  EXPECT_EQ(message, GetLocaleString(52020));
}

TEST_F(Java, ZeroByteInsideATextDoesNotShiftTheNextField) {
  Add(JString);
  Add(JInt);
  OpenRecords(engine, {{0x00, 0x03, 0x61, 0x00, 0x62, 0x00, 0x00, 0x00, 0x07}});
  EXPECT_EQ(F(0).GetAsString(), "a");
  EXPECT_EQ(F(1).GetAsInt(), 7);
}

// ---------------------------------------------------------------------------
// The decorated name and the application-info block.

TEST_F(Java, NameIsDecoratedAndStoredAsSixteenBitUnits) {
  Add(JInt);
  PrepareWrite(engine, "orders.pdb", "Orders");
  engine.SetCreatorID("ABCD");
  engine.CreateDatabase();
  engine.Append();
  engine.Post();
  engine.CloseDatabase();
  EXPECT_EQ(engine.DatabaseName(), "Orders-ABCD");
  EXPECT_EQ(engine.PlainDatabaseName(), "Orders");

  const Rec file = Out("orders.pdb");
  EXPECT_EQ(std::string(file.begin(), file.begin() + 11), "Orders-ABCD");
  EXPECT_EQ(file[11], 0);
  const std::uint32_t app = test::U32At(file, 52);
  ASSERT_EQ(app, 78u + 8 + 2);
  EXPECT_EQ(Rec(file.begin() + app, file.begin() + app + 12),
            (Rec{0x00, 0x4F, 0x00, 0x72, 0x00, 0x64, 0x00, 0x65, 0x00, 0x72, 0x00, 0x73}));
  EXPECT_EQ(test::U32At(file, 78), app + 12);  // the record follows the block

  TPDBJava reader;
  PrepareRead(reader, "orders.pdb");
  reader.Fields().Assign(engine.Fields());
  reader.OpenDatabase();
  EXPECT_EQ(reader.DatabaseName(), "Orders");
  EXPECT_EQ(reader.PlainDatabaseName(), "Orders");
}

TEST_F(Java, NameWithoutTheCreatorIsLeftAsRead) {
  Add(JInt);
  OpenRecords(engine, {{0, 0, 0, 1}});  // header name "In", creator "test"
  EXPECT_EQ(engine.DatabaseName(), "In");
  engine.CloseDatabase();
  Rec file = test::PlainPdb("A-test-B-test", {{0, 0, 0, 1}});
  test::WriteAll(dir.File("in.pdb"), file);
  engine.OpenDatabase();
  EXPECT_EQ(engine.DatabaseName(), "A");
}

TEST_F(Java, DecoratedNameTooLongIsRefusedBeforeWriting) {
  Add(JInt);
  PrepareWrite(engine, "long.pdb", std::string(27, 'n'));  // 27 + "-test" = 32
  engine.CreateDatabase();
  engine.Append();
  engine.Post();
  const auto [code, message] = PdbError([&] { engine.CloseDatabase(); });
  EXPECT_EQ(code, 1);
  EXPECT_EQ(message, GetLocaleString(52070));
  EXPECT_TRUE(engine.isOpen());
  EXPECT_FALSE(std::filesystem::exists(dir.File("long.pdb")));
  EXPECT_EQ(engine.DatabaseName(), std::string(27, 'n'));

  // A name that fits lets the same database be written.
  engine.SetDBName(std::string(26, 'n'));
  engine.CloseDatabase();
  const Rec file = Out("long.pdb");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data())), std::string(26, 'n') + "-test");
  EXPECT_EQ(test::RecordsOf(file).size(), 1u);
}

// ---------------------------------------------------------------------------
// Whole files.

TEST_F(Java, WrittenFileEqualsAnIndependentBuild) {
  Add(JShort, "n");
  Add(JString, "s");
  Add(JDate, "d");
  PrepareWrite(engine);
  engine.CreateDatabase();
  const std::vector<std::pair<int, std::string>> rows = {{1, "one"}, {-2, ""}, {300, "three hundred"}};
  for (const auto& [n, s] : rows) {
    engine.Append();
    F(0).SetAsShort(static_cast<std::int16_t>(n));
    F(1).SetAsString(s);
    F(2).SetAsDate(EncodeDate(1970, 1, 1) + n);
    engine.Post();
  }
  engine.CloseDatabase();

  std::vector<Rec> records;
  for (const auto& [n, s] : rows) {
    test::ByteWriter w;
    w.U16(static_cast<std::uint16_t>(n)).U16(static_cast<std::uint16_t>(s.size())).Str(s, s.size());
    w.Raw(Be64(std::int64_t{n} * 86400000));
    records.push_back(w.bytes);
  }
  const Rec app = {0x00, 'T', 0x00, 'e', 0x00, 's', 0x00, 't'};
  EXPECT_EQ(Out(), test::PlainPdb("Test-test", records, app));
}

TEST_F(Java, ReadsTheClassNamesOfARealJavaBundle) {
  // Each record of a Waba class bundle starts with the class file's name as a
  // length-prefixed string; the class bytes after it are left over.
  if (!std::filesystem::exists(CORVANE_SHARED_DIR "/corpus/waba-WabaMark-warp.pdb")) {
    GTEST_SKIP() << "the shared corpus is not beside the project";
  }
  Add(JString, "name");
  engine.SetDirectory(CORVANE_SHARED_DIR "/corpus");
  engine.SetPDBFilename("waba-WabaMark-warp.pdb");
  engine.OpenDatabase();
  EXPECT_EQ(engine.DatabaseName(), "WabaMark!");
  std::vector<std::string> names;
  while (!engine.Eof()) {
    names.push_back(F(0).GetAsString());
    engine.Next();
  }
  EXPECT_EQ(names, (std::vector<std::string>{"WabaMark.class", "WabaMarkRandom.class", "WabaMarkTestObject.class"}));
}

}  // namespace
}  // namespace corvane
