// SQL Driver tables: the worked row and structure record, the hidden
// structure record on reading, row numbering, PDChar slots, SetSize and its
// message box, every accessor's accepted types, damaged rows, and a whole
// table compared with a hand-built file.
#include <bit>
#include <cctype>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/engines/sqldriver.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/hooks.h"
#include "engine_support.h"

namespace corvane {
namespace {

using test::PdbError;
using test::Rec;

struct SQL : test::EngineFieldsFixture<TPDBSQLDriver> {
  // Writes the rows `set` fills in (one call per row) and returns the file's records.
  std::vector<Rec> WriteRows(int rows, const std::function<void(int)>& set) {
    PrepareWrite(engine);
    engine.CreateDatabase();
    for (int i = 0; i < rows; ++i) {
      engine.Append();
      set(i);
      engine.Post();
    }
    engine.CloseDatabase();
    return test::RecordsOf(Out());
  }
};

// Captures what SetSize shows in the error box.
struct ErrorBoxCapture {
  std::vector<std::string> shown;
  ErrorBoxHook previous;
  ErrorBoxCapture() {
    previous = SetErrorBoxHook([this](const std::string& m) { shown.push_back(m); });
  }
  ~ErrorBoxCapture() { SetErrorBoxHook(previous); }
};

const std::vector<TPDBSQLDriverFieldType> kAllSQL = {PDChar, PDShort, PDInt, PDLong, PDFloat, PDDouble};

TEST_F(SQL, EveryAccessorAcceptsExactlyItsTypes) {
  using Row = test::AccessorRow<TPDBSQLDriverField>;
  const std::vector<Row> rows = {
      {"GetAsChar", 52800, {PDChar}, [](TPDBSQLDriverField& f) { f.GetAsChar(); }},
      {"SetAsChar", 0, kAllSQL, [](TPDBSQLDriverField& f) { f.SetAsChar("1"); }},
      {"GetAsShort", 52860, {PDShort}, [](TPDBSQLDriverField& f) { f.GetAsShort(); }},
      {"SetAsShort", 52870, {PDShort, PDInt, PDLong}, [](TPDBSQLDriverField& f) { f.SetAsShort(1); }},
      {"GetAsInt", 52820, {PDShort, PDInt}, [](TPDBSQLDriverField& f) { f.GetAsInt(); }},
      {"SetAsInt", 52830, {PDInt, PDLong}, [](TPDBSQLDriverField& f) { f.SetAsInt(1); }},
      {"GetAsLong", 52840, {PDLong}, [](TPDBSQLDriverField& f) { f.GetAsLong(); }},
      {"SetAsLong", 52850, {PDLong}, [](TPDBSQLDriverField& f) { f.SetAsLong(1); }},
      {"GetAsFloat", 52880, {PDShort, PDInt, PDFloat}, [](TPDBSQLDriverField& f) { f.GetAsFloat(); }},
      {"SetAsFloat", 52890, {PDFloat, PDDouble}, [](TPDBSQLDriverField& f) { f.SetAsFloat(1); }},
      {"GetAsDouble", 52910, {PDShort, PDInt, PDLong, PDFloat, PDDouble},
       [](TPDBSQLDriverField& f) { f.GetAsDouble(); }},
      {"SetAsDouble", 52910, {PDDouble}, [](TPDBSQLDriverField& f) { f.SetAsDouble(1); }},
  };
  TPDBSQLDriverField& f = Add(PDChar);
  test::ExpectAccessorsAcceptExactlyTheirTypes(f, rows, kAllSQL);
}

TEST_F(SQL, GettersConvertWhatOtherSettersStored) {
  TPDBSQLDriverField& f = Add(PDShort);
  f.SetAsShort(300);
  EXPECT_EQ(f.GetAsFloat(), 300.0f);
  f.SetDataType(PDLong);
  f.SetAsInt(5);
  EXPECT_EQ(f.GetAsLong(), 5);
  f.SetDataType(PDFloat);
  EXPECT_EQ(f.Value().Type(), VarType::Currency);  // the zero SetDataType gives
  EXPECT_EQ(f.GetAsDouble(), 0.0);
}

TEST_F(SQL, SetSizeKeepsEvenSlotCountsAndReportsOddOnes) {
  ErrorBoxCapture box;
  TPDBSQLDriverField& f = Add(PDChar);
  const struct {
    std::int32_t asked, kept;
    bool shown;
  } cases[] = {{20, 20, false}, {7, 2, true},         {0, 2, false},     {-4, 2, false},
               {70000, 2, false}, {65504, 65504, false}, {65505, 2, true}, {65506, 2, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked);
    box.shown.clear();
    f.SetSize(10);
    f.SetSize(c.asked);
    EXPECT_EQ(f.Size(), c.kept);
    EXPECT_EQ(box.shown, c.shown ? std::vector<std::string>{"Tamanho da String deve ser PAR!"}
                                 : std::vector<std::string>{});
  }
  box.shown.clear();
  TPDBSQLDriverField& n = Add(PDInt);
  n.SetSize(7);
  EXPECT_EQ(n.Size(), 4);
  EXPECT_TRUE(box.shown.empty());
}

// ---------------------------------------------------------------------------
// The worked example and the file layout.

TEST_F(SQL, NewEngineHasTheRowIDField) {
  ASSERT_EQ(engine.Fields().Count(), 1);
  EXPECT_EQ(F(0).FieldName(), "RowID");
  EXPECT_EQ(F(0).DataType(), PDInt);
  EXPECT_EQ(F(0).Size(), 4);
  const auto records = WriteRows(1, [](int) {});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1], (Rec{0, 0, 0, 1}));
}

TEST_F(SQL, WorkedRowAndStructureRecord) {
  Add(PDChar, "Name", 10);
  const auto records = WriteRows(3, [&](int i) {
    F(0).SetAsInt(99);  // overwritten by the numbering
    F(1).SetAsChar(i == 0 ? "ab" : "x");
  });
  ASSERT_EQ(records.size(), 4u);
  Rec row(26, 0);
  row[3] = 0x01;
  row[5] = 0x02;
  row[7] = 0x61;
  row[9] = 0x62;
  EXPECT_EQ(records[1], row);
  EXPECT_EQ(records[0], (Rec{0x00, 0x00, 0x00, 0x04, 0x00, 0x02, 0x06, 0x7A, 0xB8, 0x75, 0x00, 0x33,
                             0x7A, 0x8B, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0x00, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(test::U32At(records[2], 0), 2u);
  EXPECT_EQ(test::U32At(records[3], 0), 3u);
  EXPECT_EQ(SQLDriverNameHash("RowID"), 108705909u);
  EXPECT_EQ(SQLDriverNameHash("NAME"), SQLDriverNameHash("name"));
}

TEST_F(SQL, WrittenFileEqualsAnIndependentBuild) {
  Add(PDShort, "Qty");
  Add(PDChar, "Code", 4);
  Add(PDDouble, "Price");
  const std::vector<std::tuple<int, std::string, double>> rows = {{7, "A1", 2.5}, {-1, "LONGER", -0.125}};
  WriteRows(2, [&](int i) {
    F(1).SetAsShort(static_cast<std::int16_t>(std::get<0>(rows[i])));
    F(2).SetAsChar(std::get<1>(rows[i]));
    F(3).SetAsDouble(std::get<2>(rows[i]));
  });

  // Hash of a name by hand: h = 31 h + byte, lower case.
  auto hash = [](const std::string& s) {
    std::uint32_t h = 0;
    for (char c : s) h = h * 31 + static_cast<std::uint8_t>(std::tolower(static_cast<unsigned char>(c)));
    return h;
  };
  test::ByteWriter structure;
  structure.U32(3).U16(4);
  for (const char* n : {"rowid", "qty", "code", "price"}) structure.U32(hash(n));
  structure.U32(2).U32(1).U32(0).U32(5);
  structure.U32(0).U32(0).U32(4).U32(0);
  structure.U32(0).U16(0);
  std::vector<Rec> records = {structure.bytes};
  int id = 1;
  for (const auto& [qty, code, price] : rows) {
    test::ByteWriter w;
    w.U32(static_cast<std::uint32_t>(id++)).U16(static_cast<std::uint16_t>(qty)).U16(static_cast<std::uint16_t>(code.size()));
    for (std::size_t i = 0; i < 4; ++i) w.U16(i < code.size() ? static_cast<std::uint8_t>(code[i]) : 0);
    const auto bits = std::bit_cast<std::uint64_t>(price);
    w.U32(static_cast<std::uint32_t>(bits >> 32)).U32(static_cast<std::uint32_t>(bits));
    records.push_back(w.bytes);
  }
  EXPECT_EQ(Out(), test::PlainPdb("Test", records));
}

TEST_F(SQL, ReadingHidesTheStructureRecord) {
  Add(PDChar, "Name", 10);
  WriteRows(3, [&](int i) { F(1).SetAsChar(std::string(1, static_cast<char>('a' + i))); });
  EXPECT_EQ(test::U16At(Out(), 76), 4);

  engine.SetOpenMode(dmModeReadOnly);
  engine.OpenDatabase();
  EXPECT_EQ(engine.RecordCount(), 3);
  EXPECT_EQ(engine.Cursor(), 1);
  std::vector<std::pair<int, std::string>> seen;
  while (!engine.Eof()) {
    seen.emplace_back(F(0).GetAsInt(), F(1).GetAsChar());
    engine.Next();
  }
  EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{1, "a"}, {2, "b"}, {3, "c"}}));
  engine.Last();
  EXPECT_EQ(engine.Cursor(), 3);
  EXPECT_EQ(F(0).GetAsInt(), 3);
  while (!engine.Bof()) engine.Previous();
  EXPECT_EQ(engine.Cursor(), 1);
}

TEST_F(SQL, StructureRecordAloneIsAnEmptyTable) {
  WriteRows(0, [](int) {});
  EXPECT_EQ(test::RecordsOf(Out()), (std::vector<Rec>{{0, 0, 0, 1, 0, 1, 0x06, 0x7A, 0xB8, 0x75, 0, 0, 0, 2,
                                                        0, 0, 0, 0, 0, 0, 0}}));
  engine.SetOpenMode(dmModeReadOnly);
  engine.OpenDatabase();
  EXPECT_EQ(engine.RecordCount(), 0);
  EXPECT_TRUE(engine.Eof());
}

TEST_F(SQL, StructureRecordIgnoresTheLastRowsAttributes) {
  PrepareWrite(engine);
  engine.CreateDatabase();
  engine.Append();
  engine.Post();
  engine.Append();
  engine.SetRecCategory(5);
  engine.SetRecUniqueID(9);
  engine.SetRecFlags(TRecFlags{dmRecAttrDelete});
  engine.Post();
  engine.CloseDatabase();
  const Rec file = Out();
  ASSERT_EQ(test::U16At(file, 76), 3);
  EXPECT_EQ(test::U32At(file, 78 + 4), 0u);              // structure: plain, unique ID 0
  EXPECT_EQ(test::U32At(file, 78 + 16 + 4), 0x85000009u);  // the deleted row keeps its own
  engine.SetOpenMode(dmModeReadOnly);
  engine.OpenDatabase();
  EXPECT_EQ(engine.RecordCount(), 2);
  EXPECT_EQ(F(0).GetAsInt(), 1);
}

TEST_F(SQL, FileWithoutAnyRecordIsRefused) {
  test::WriteAll(dir.File("in.pdb"), test::PlainPdb("In", {}));
  PrepareRead(engine, "in.pdb");
  const auto [code, message] = PdbError([&] { engine.OpenDatabase(); });
  EXPECT_EQ(code, 11);
  EXPECT_EQ(message, GetLocaleString(52560));
  EXPECT_FALSE(engine.isOpen());
  EXPECT_EQ(engine.RecordCount(), 0);
}

// ---------------------------------------------------------------------------
// Encodings.

TEST_F(SQL, CharSlotsHoldTheFirstSizeBytes) {
  Add(PDChar, "c", 2);
  auto records = WriteRows(1, [&](int) { F(1).SetAsChar("abcd"); });
  EXPECT_EQ(Rec(records[1].begin() + 4, records[1].end()), (Rec{0x00, 0x04, 0x00, 0x61, 0x00, 0x62}));
  engine.SetOpenMode(dmModeReadOnly);
  engine.OpenDatabase();
  EXPECT_EQ(F(1).GetAsChar(), "ab");
  engine.CloseDatabase();

  // A zero byte packs as an empty slot, which the split skips.
  F(1).SetSize(4);
  engine.SetOpenMode(dmModeWriteOnly);
  records = WriteRows(1, [&](int) { F(1).SetAsChar(std::string("a\0b", 3)); });
  EXPECT_EQ(Rec(records[1].begin() + 4, records[1].end()),
            (Rec{0x00, 0x03, 0x00, 0x61, 0x00, 0x00, 0x00, 0x62, 0x00, 0x00}));
  engine.SetOpenMode(dmModeReadOnly);
  engine.OpenDatabase();
  EXPECT_EQ(F(1).GetAsChar(), "ab");
}

TEST_F(SQL, NumbersPackBigEndian) {
  Add(PDLong, "l");
  Add(PDFloat, "f");
  const auto records = WriteRows(1, [&](int) {
    F(1).SetAsShort(-2);
    F(2).SetAsFloat(1.5f);
  });
  EXPECT_EQ(Rec(records[1].begin() + 4, records[1].end()),
            (Rec{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x3F, 0xC0, 0x00, 0x00}));
}

TEST_F(SQL, RoundTripOfEveryType) {
  Add(PDChar, "c", 6);
  Add(PDShort, "s");
  Add(PDInt, "i");
  Add(PDLong, "l");
  Add(PDFloat, "f");
  Add(PDDouble, "d");
  const std::int64_t big = (std::int64_t{1} << 53) + 1;
  WriteRows(1, [&](int) {
    F(1).SetAsChar("r\xE9sum\xE9");
    F(2).SetAsShort(-32768);
    F(3).SetAsInt(2147483647);
    F(4).SetAsLong(big);
    F(5).SetAsFloat(-0.1f);
    F(6).SetAsDouble(1e300);
  });
  engine.SetOpenMode(dmModeReadOnly);
  engine.OpenDatabase();
  EXPECT_EQ(F(0).GetAsInt(), 1);
  EXPECT_EQ(F(1).GetAsChar(), "r\xE9sum\xE9");
  EXPECT_EQ(F(2).GetAsShort(), -32768);
  EXPECT_EQ(F(3).GetAsInt(), 2147483647);
  EXPECT_EQ(F(4).GetAsLong(), big);  // exact past 2^53
  EXPECT_EQ(F(5).GetAsFloat(), -0.1f);
  EXPECT_EQ(F(6).GetAsDouble(), 1e300);
}

TEST_F(SQL, PostChecksTheRowIDField) {
  PrepareWrite(engine);
  engine.CreateDatabase();
  engine.Append();
  F(0).SetDataType(PDChar);
  auto err = PdbError([&] { engine.Post(); });
  EXPECT_EQ(err, std::make_pair(1, GetLocaleString(52830)));
  F(0).SetDataType(PDLong);  // a long RowID is numbered too
  engine.Post();
  engine.Append();
  F(0).SetFieldName("Id");
  err = PdbError([&] { engine.Post(); });
  EXPECT_EQ(err, std::make_pair(2, GetLocaleString(52510)));
  engine.Fields().Clear();
  err = PdbError([&] { engine.Post(); });
  EXPECT_EQ(err, std::make_pair(1, GetLocaleString(52500)));
  EXPECT_EQ(engine.RecordCount(), 1);
  engine.Cancel();
}

TEST_F(SQL, RowsThatDoNotHoldTheFieldsAreRefused) {
  Add(PDChar, "c", 2);
  const Rec structure = {0, 0, 0, 2, 0, 0, 0, 0};
  for (const Rec& row : {Rec{}, Rec{0, 0, 0, 1}, Rec{0, 0, 0, 1, 0, 2, 0, 0x61, 0}}) {
    SCOPED_TRACE(testing::PrintToString(row));
    TPDBSQLDriver reader;
    reader.Fields().Assign(engine.Fields());
    const auto err = PdbError([&] { OpenRecords(reader, {structure, row}); });
    EXPECT_EQ(err, std::make_pair(1, GetLocaleString(52520)));
  }
  // A deleted row has no bytes at all.
  Rec file = test::PlainPdb("In", {structure, {0, 0, 0, 1, 0, 1, 0, 0x7A, 0, 0}, {0, 0, 0, 2, 0, 0, 0, 0, 0, 0}});
  file[78 + 16 + 4] |= 0x80;
  test::WriteAll(dir.File("in.pdb"), file);
  PrepareRead(engine, "in.pdb");
  engine.OpenDatabase();
  EXPECT_EQ(F(1).GetAsChar(), "z");
  EXPECT_EQ(PdbError([&] { engine.Next(); }), std::make_pair(1, GetLocaleString(52520)));
}

}  // namespace
}  // namespace corvane
