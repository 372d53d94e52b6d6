// The engine-neutral interface: every type of every engine written and read
// back through it, the strict refusals on the way in, the walk over damaged
// or partly deleted files, the fields files describe, and a write that fails
// leaving the earlier file alone.
#include "corvane/engines/any_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "corvane/engines/sqldriver.h"
#include "corvane/host/exceptions.h"
#include "engine_support.h"

namespace corvane {
namespace {

using test::Rec;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, 0);
}

struct AnyEngine : ::testing::Test {
  test::TempDir dir;
  ScopedThreadLanguage english{"en_US"};

  std::unique_ptr<TAnyEngine> Make(std::string_view name) {
    auto e = TAnyEngine::Create(name);
    EXPECT_NE(e, nullptr) << name;
    return e;
  }
  void StartWrite(TAnyEngine& e, const std::string& file = "t.pdb") {
    e.Manager().SetDBName("Test");
    e.Manager().SetCreatorID("test");
    e.Manager().SetDatabaseType("DATA");
    e.CreateFile(dir.path(), file);
  }
  void Add(TAnyEngine& e, const std::string& name, const std::string& type,
           std::optional<std::int32_t> size = {}) {
    const auto t = e.TypeByName(type);
    ASSERT_TRUE(t) << type;
    e.AddField(name, *t, size);
  }
};

TEST_F(AnyEngine, TypeTablesFollowTheEnginesEnumerations) {
  struct Case {
    std::string_view engine;
    std::size_t count;
    std::string_view first, last;
  };
  const Case cases[] = {
      {"appforge", 9, "AFByte", "AFCurrency"}, {"pocketstudio", 14, "PSBoolean", "PSBinary"},
      {"nsbasic", 9, "NSBByte", "NSBString"},  {"java", 8, "JByte", "JDate"},
      {"sqldriver", 6, "PDChar", "PDDouble"},  {"generic", 20, "pdtByte", "pdtPSDouble"},
  };
  for (const Case& c : cases) {
    auto e = Make(c.engine);
    EXPECT_EQ(e->Name(), c.engine);
    ASSERT_EQ(e->Types().size(), c.count) << c.engine;
    EXPECT_EQ(e->Types().front().Name, c.first);
    EXPECT_EQ(e->Types().back().Name, c.last);
    for (std::size_t i = 0; i < c.count; ++i)
      EXPECT_EQ(e->TypeByName(e->Types()[i].Name), static_cast<int>(i));
    EXPECT_FALSE(e->TypeByName("afbyte"));
  }
  EXPECT_EQ(TAnyEngine::Create("palm"), nullptr);
  EXPECT_EQ(TAnyEngine::Create(AppForge)->Name(), "appforge");
  EXPECT_EQ(TAnyEngine::Create(SWSQLDriver)->Name(), "sqldriver");
  EXPECT_EQ(TAnyEngine::Create(PocketStudio)->Name(), "pocketstudio");
  // The SQL Driver starts with its RowID and keeps it through ClearFields.
  auto sql = Make("sqldriver");
  sql->ClearFields();
  ASSERT_EQ(sql->FieldCount(), 1);
  EXPECT_EQ(sql->Field(0).Name, "RowID");
  EXPECT_THROW(sql->AddField("rowid", 2, {}), EConvertError);
}

TEST_F(AnyEngine, SizesAreCheckedWhereTheEnginePublishesThem) {
  auto ps = Make("pocketstudio");
  EXPECT_NO_THROW(Add(*ps, "a", "PSString", 10));
  EXPECT_NO_THROW(Add(*ps, "b", "PSInt32", 4));  // its own width
  EXPECT_THROW(ps->AddField("c", *ps->TypeByName("PSInt32"), 2), EConvertError);
  EXPECT_THROW(ps->AddField("c", *ps->TypeByName("PSString"), 65506), EConvertError);
  EXPECT_THROW(ps->AddField("c", 99, {}), EConvertError);
  EXPECT_THROW(ps->TypeInfo(99), EListError);
  EXPECT_THROW(ps->TypeInfo(-1), EListError);
  EXPECT_EQ(ps->Field(0).Size, 10);
  auto sql = Make("sqldriver");
  EXPECT_THROW(sql->AddField("c", *sql->TypeByName("PDChar"), 3), EConvertError);
  EXPECT_THROW(sql->AddField("c", *sql->TypeByName("PDChar"), 0), EConvertError);
  EXPECT_NO_THROW(Add(*sql, "c", "PDChar", 30));
  EXPECT_EQ(sql->Field(1).Size, 30);
}

// Every type of every engine: written through AppendRecord, read back
// through NextRecord, with the extremes of each range.
TEST_F(AnyEngine, EveryTypeRoundTrips) {
  struct Field {
    std::string type;
    std::optional<std::int32_t> size;
    Variant value;
  };
  const auto text = [](const char* s) { return Variant(std::string(s)); };
  const auto when = [](TDateTime d) { return Variant::FromDateTime(d); };
  const std::vector<std::pair<std::string, std::vector<Field>>> cases = {
      {"appforge",
       {{"AFByte", {}, 255LL},
        {"AFInteger", {}, -32768LL},
        {"AFLong", {}, 2147483647LL},
        {"AFSingle", {}, 0.5},
        {"AFString", {}, text("Caf\xE9")},
        {"AFBoolean", {}, true},
        {"AFDate", {}, when(At(2040, 2, 6, 6, 28, 15))},
        {"AFDouble", {}, -1e300},
        {"AFCurrency", {}, Currency::FromRaw(-922337203685477580LL)}}},
      {"pocketstudio",
       {{"PSBoolean", {}, false},
        {"PSInt8", {}, -128LL},
        {"PSInt16", {}, 32767LL},
        {"PSInt32", {}, -2147483648LL},
        {"PSUInt8", {}, 255LL},
        {"PSUInt16", {}, 65535LL},
        {"PSUInt32", {}, 4294967295LL},
        {"PSDate", {}, when(At(2031, 12, 31))},
        {"PSTime", {}, when(EncodeTime(23, 59, 0, 0))},
        {"PSDateTime", {}, when(At(1904, 1, 1, 0, 0, 1))},
        {"PSString", 3, text("abc")},
        {"PSSingle", {}, -0.25},
        {"PSDouble", {}, 1e-300},
        {"PSBinary", {}, Variant(std::string("\0\xFF", 2))}}},
      {"nsbasic",
       {{"NSBByte", {}, 0LL},
        {"NSBShort", {}, 65535LL},
        {"NSBInteger", {}, -7LL},
        {"NSBFloat", {}, 0.1},
        {"NSBSingle", {}, 3.0},
        {"NSBDouble", {}, 2.5},
        {"NSBDate", {}, when(At(1900, 1, 1))},
        {"NSBTime", {}, when(EncodeTime(12, 34, 56, 0))},
        {"NSBString", 2, text("ok")}}},
      {"java",
       {{"JByte", {}, 200LL},
        {"JBoolean", {}, true},
        {"JChar", {}, text("Z")},
        {"JInt", {}, -1LL},
        {"JLong", {}, 4611686018427387905LL},
        {"JShort", {}, -32768LL},
        {"JString", {}, text("x\xE9y")},
        {"JDate", {}, when(At(1969, 12, 31, 23, 59, 59))}}},
      {"sqldriver",
       {{"PDChar", 4, text("abcd")},
        {"PDShort", {}, -1LL},
        {"PDInt", {}, 123456LL},
        {"PDLong", {}, INT64_MIN},
        {"PDFloat", {}, 1.5},
        {"PDDouble", {}, -0.0}}},
      {"generic",
       {{"pdtByte", {}, 255LL},
        {"pdtWord", {}, 65535LL},
        {"pdtInteger", {}, -5LL},
        {"pdtFloat", {}, 0.75},
        {"pdtDouble", {}, 1e10},
        {"pdtDate", {}, when(At(2000, 2, 29, 1, 2, 3))},
        {"pdtString", {}, text("s")},
        {"pdtPSBoolean", {}, true},
        {"pdtPSInt8", {}, 127LL},
        {"pdtPSInt16", {}, -2LL},
        {"pdtPSInt32", {}, 3LL},
        {"pdtPSUInt8", {}, 4LL},
        {"pdtPSUInt16", {}, 5LL},
        {"pdtPSUInt32", {}, 4000000000LL},
        {"pdtPSDate", {}, when(At(1904, 1, 1))},
        {"pdtPSTime", {}, when(EncodeTime(0, 1, 0, 0))},
        {"pdtPSDateTime", {}, when(At(2024, 1, 1, 12))},
        {"pdtPSString", 5, text("")},
        {"pdtPSSingle", {}, std::ldexp(1.0, -149)},
        {"pdtPSDouble", {}, 6.0}}},
  };
  for (const auto& [engine_name, fields] : cases) {
    SCOPED_TRACE(engine_name);
    auto w = Make(engine_name);
    std::vector<Variant> values(w->ImplicitField().empty() ? 0 : 1);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      Add(*w, std::string("F").append(std::to_string(i)), fields[i].type, fields[i].size);
      values.push_back(fields[i].value);
    }
    StartWrite(*w);
    w->AppendRecord(values);
    w->AppendRecord(values);
    w->Close();

    auto r = Make(engine_name);
    for (std::size_t i = 0; i < fields.size(); ++i)
      Add(*r, std::string("F").append(std::to_string(i)), fields[i].type, fields[i].size);
    r->OpenRead(dir.path(), "t.pdb");
    EXPECT_NO_THROW(r->CheckFieldsAgainstFile());
    for (int rec = 0; rec < 2; ++rec) {
      ASSERT_TRUE(r->NextRecord());
      EXPECT_EQ(r->UnusedBytes(), 0u);
      const int offset = static_cast<int>(values.size() - fields.size());
      if (offset == 1) {
        EXPECT_EQ(r->Value(0).AsInt64(), rec + 1);  // RowID numbered by the engine
      }
      for (std::size_t i = 0; i < fields.size(); ++i) {
        const Variant got = r->Value(static_cast<int>(i) + offset);
        const Variant& want = fields[i].value;
        SCOPED_TRACE(fields[i].type);
        switch (r->FieldType(static_cast<int>(i) + offset).Kind) {
          case TValueKind::Float:
            EXPECT_EQ(got.AsDouble(), want.AsDouble());
            EXPECT_EQ(std::signbit(got.AsDouble()), std::signbit(want.AsDouble()));
            break;
          case TValueKind::DateTime:
          case TValueKind::Date:
          case TValueKind::Time:
            EXPECT_NEAR(got.AsDateTime(), want.AsDateTime(), 1e-9);
            break;
          case TValueKind::Currency:
            EXPECT_EQ(got.AsCurrency(), want.AsCurrency());
            break;
          default:
            EXPECT_EQ(got.Type(), want.Type());
            EXPECT_EQ(Variant::Compare(got, want), 0)
                << got.AsString() << " vs " << want.AsString();
        }
      }
    }
    EXPECT_FALSE(r->NextRecord());
    EXPECT_FALSE(r->NextRecord());
    r->Close();
  }
}

// Values the record would not keep as given are refused, naming the field.
TEST_F(AnyEngine, ValuesThatDoNotConvertAreRefused) {
  struct Case {
    std::string engine, type;
    std::optional<std::int32_t> size;
    Variant value;
    std::string message;
  };
  const auto when = [](TDateTime d) { return Variant::FromDateTime(d); };
  const Case cases[] = {
      {"appforge", "AFByte", {}, 256LL, "256 is outside 0 to 255"},
      {"appforge", "AFByte", {}, -1LL, "outside 0 to 255"},
      {"appforge", "AFInteger", {}, 1.5, "is not a whole number"},
      {"appforge", "AFLong", {}, Variant(std::string("7")), "expected a whole number"},
      {"appforge", "AFBoolean", {}, 1LL, "expected true or false"},
      {"appforge", "AFSingle", {}, 1e39, "too large for a single-precision"},
      {"appforge", "AFString", {}, Variant(std::string("a\0b", 3)), "zero byte"},
      {"appforge", "AFDate", {}, when(At(1903, 12, 31)), "only dates from 1904-01-01"},
      {"appforge", "AFDate", {}, when(At(2040, 2, 6, 6, 28, 16)), "only dates from 1904-01-01"},
      {"appforge", "AFCurrency", {}, Variant(std::string("abc")), ""},
      {"appforge",
       "AFCurrency",
       {},
       Variant(std::string("1.23456")),
       "1.23456 has more than four decimals"},
      {"appforge", "AFCurrency", {}, Variant(std::string("922337203685477.5808")), "out of range"},
      {"pocketstudio", "PSUInt32", {}, 4294967296LL, "outside 0 to 4294967295"},
      {"pocketstudio", "PSString", 3, Variant(std::string("abcd")), "4 bytes, more than the 3"},
      {"pocketstudio", "PSDate", {}, when(At(2032, 1, 1)), "to 2031-12-31"},
      {"pocketstudio", "PSTime", {}, when(EncodeTime(10, 30, 15, 0)), "only hours and minutes"},
      {"pocketstudio", "PSBinary", {}, Variant(std::string(65506, 'x')), "65506 bytes"},
      {"pocketstudio", "PSDateTime", {}, Variant(std::string("2024-01-01")), "expected a date"},
      {"nsbasic", "NSBShort", {}, 65536LL, "outside 0 to 65535"},
      {"nsbasic", "NSBDate", {}, when(At(1899, 12, 31)), "from 1900-01-01"},
      {"java", "JLong", {}, 9223372036854775808.0, "is outside -9223372036854775808 to"},
      {"java", "JChar", {}, Variant(std::string("ab")), "expected one character, not 2 bytes"},
      {"java", "JChar", {}, Variant(std::string("\xF0\x9D\x84\x9E")), "beyond U+FFFF"},
      {"java", "JChar", {}, Variant(std::string("\xED\xA0\x80")), "not valid UTF-8"},
      {"java", "JDate", {}, when(-693595.0), ""},  // before 0001-01-01
      {"sqldriver", "PDChar", 2, Variant(std::string("abc")), "more than the 2"},
      {"generic", "pdtPSInt8", {}, 128LL, "outside -128 to 127"},
      {"generic", "pdtWord", {}, Variant::Null(), "expected a whole number, not null"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.engine + " " + c.type);
    auto e = Make(c.engine);
    Add(*e, "Bad", c.type, c.size);
    StartWrite(*e);
    std::vector<Variant> values(static_cast<std::size_t>(e->FieldCount()));
    values.back() = c.value;
    try {
      e->AppendRecord(values);
      ADD_FAILURE() << "accepted";
    } catch (const std::exception& ex) {
      const std::string what = ex.what();
      EXPECT_NE(what.find("field 'Bad' (" + c.type + "): "), std::string::npos) << what;
      EXPECT_NE(what.find(c.message), std::string::npos) << what;
    }
    e->Abort();
  }
}

TEST_F(AnyEngine, AFailedWriteLeavesTheEarlierFileAsItWas) {
  const Rec earlier = {1, 2, 3};
  test::WriteAll(dir.File("t.pdb"), earlier);
  {
    auto e = Make("pocketstudio");
    Add(*e, "n", "PSInt8");
    StartWrite(*e);
    e->AppendRecord(std::vector<Variant>{Variant(1LL)});
    EXPECT_THROW(e->AppendRecord(std::vector<Variant>{Variant(1000LL)}), EConvertError);
    e->Abort();
  }
  {
    // A failure when the file is written (the Java header name is too long)
    // discards it too; so does an engine destroyed after Abort.
    auto e = Make("java");
    Add(*e, "n", "JInt");
    e->Manager().SetDBName("A name of thirty characters...");
    e->Manager().SetCreatorID("test");
    e->Manager().SetDatabaseType("DATA");
    e->CreateFile(dir.path(), "t.pdb");
    e->AppendRecord(std::vector<Variant>{Variant(1LL)});
    EXPECT_THROW(e->Close(), EPDBException);
  }
  EXPECT_EQ(test::ReadAll(dir.File("t.pdb")), earlier);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
    ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left behind
}

TEST_F(AnyEngine, DeletedRecordsAreSkippedEvenFirst) {
  // Records of one PSInt16; record 0 and 2 deleted (offset 0 and a real one).
  test::ByteWriter w = test::PdbHeader("Del", 4);
  const std::uint32_t data = 78 + 4 * 8 + 2;
  w.U32(0).U32(0x80000000u);         // deleted, no data
  w.U32(data).U32(0);                // live: 7
  w.U32(data + 2).U32(0x80000000u);  // deleted, with data
  w.U32(data + 4).U32(0);            // live: -1
  w.U16(0).U16(7).U16(9).U16(0xFFFF);
  test::WriteAll(dir.File("d.pdb"), w.bytes);
  auto e = Make("pocketstudio");
  Add(*e, "n", "PSInt16");
  e->OpenRead(dir.path(), "d.pdb");
  std::vector<std::pair<std::int32_t, std::int64_t>> seen;
  while (e->NextRecord()) seen.emplace_back(e->RecordIndex(), e->Value(0).AsInt64());
  EXPECT_EQ(seen, (std::vector<std::pair<std::int32_t, std::int64_t>>{{1, 7}, {3, -1}}));
}

TEST_F(AnyEngine, RecordsThatDoNotMatchTheFieldsAreReported) {
  test::WriteAll(dir.File("m.pdb"), test::PlainPdb("M", {{0, 1, 0, 2, 9}, {0, 3}}));
  auto e = Make("generic");
  Add(*e, "a", "pdtWord");
  Add(*e, "b", "pdtWord");
  e->OpenRead(dir.path(), "m.pdb");  // the first record splits, with a byte over
  ASSERT_TRUE(e->NextRecord());
  EXPECT_EQ(e->UnusedBytes(), 1u);
  try {
    e->NextRecord();
    ADD_FAILURE() << "the short record split";
  } catch (const EPDBException& ex) {
    EXPECT_EQ(ex.ErrorCode(), 1);
    EXPECT_EQ(e->RecordIndex(), 1);
  }
  // A first record that does not split is reported by NextRecord, not by the opening.
  auto f = Make("generic");
  Add(*f, "a", "pdtInteger");
  Add(*f, "b", "pdtInteger");
  f->OpenRead(dir.path(), "m.pdb");
  EXPECT_THROW(f->NextRecord(), EPDBException);
  EXPECT_EQ(f->RecordIndex(), 0);
}

TEST_F(AnyEngine, FieldsTheFileDescribes) {
  // AppForge: the field block replaces the caller's fields.
  {
    auto w = Make("appforge");
    Add(*w, "Name", "AFString");
    Add(*w, "Price", "AFCurrency");
    StartWrite(*w);
    w->AppendRecord(std::vector<Variant>{Variant(std::string("x")), Variant(1LL)});
    w->Close();
    auto r = Make("appforge");
    EXPECT_TRUE(r->FieldsFromFile());
    r->OpenRead(dir.path(), "t.pdb");
    ASSERT_EQ(r->FieldCount(), 2);
    EXPECT_EQ(r->Field(1).Name, "Price");
    EXPECT_EQ(r->FieldType(1).Name, "AFCurrency");
    EXPECT_EQ(r->FileFields().size(), 2u);
    EXPECT_EQ(r->Manager().DatabaseName(), "Test");  // the table name
  }
  // SQL Driver: the structure record's hashes, types and sizes.
  auto w = Make("sqldriver");
  Add(*w, "Name", "PDChar", 10);
  Add(*w, "Age", "PDShort");
  StartWrite(*w);
  w->AppendRecord(std::vector<Variant>{Variant(), Variant(std::string("Ana")), Variant(30LL)});
  w->Close();
  struct Case {
    std::vector<std::tuple<std::string, std::string, std::optional<std::int32_t>>> fields;
    std::string error;  // empty: they match
  };
  const Case cases[] = {
      {{{"name", "PDChar", 10}, {"AGE", "PDShort", {}}}, ""},
      {{{"Name", "PDChar", 10}}, "describes 3 fields, the field list has 2"},
      {{{"Nome", "PDChar", 10}, {"Age", "PDShort", {}}}, "field 2 ('Nome') has another name"},
      {{{"Name", "PDChar", 10}, {"Age", "PDInt", {}}}, "is PDShort in the file, not PDInt"},
      {{{"Name", "PDChar", 12}, {"Age", "PDShort", {}}}, "has size 10 in the file, not 12"},
  };
  for (const Case& c : cases) {
    auto r = Make("sqldriver");
    for (const auto& [name, type, size] : c.fields) Add(*r, name, type, size);
    r->OpenRead(dir.path(), "t.pdb");
    const auto file = r->FileFields();
    ASSERT_EQ(file.size(), 3u);
    EXPECT_EQ(file[0].Name, "RowID");
    EXPECT_EQ(file[1].NameHash, SQLDriverNameHash("name"));
    EXPECT_EQ(file[1].Size, 10);
    if (c.error.empty()) {
      EXPECT_NO_THROW(r->CheckFieldsAgainstFile());
    } else {
      try {
        r->CheckFieldsAgainstFile();
        ADD_FAILURE() << c.error;
      } catch (const Exception& ex) {
        EXPECT_NE(std::string(ex.what()).find(c.error), std::string::npos) << ex.what();
      }
    }
  }
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

// A file written in memory is the file written to disk, and reads back from
// its bytes as from the file: for every engine, the SQL Driver's structure
// record and AppForge's field block included.
TEST_F(AnyEngine, MemoryImagesAreTheFilesAndReadBack) {
  for (std::string_view name : TAnyEngine::EngineNames()) {
    SCOPED_TRACE(std::string(name));
    const std::map<std::string_view, std::string> number = {
        {"appforge", "AFLong"}, {"pocketstudio", "PSInt16"}, {"nsbasic", "NSBInteger"},
        {"java", "JInt"},       {"sqldriver", "PDInt"},      {"generic", "pdtInteger"}};
    const auto write = [&](bool memory) {
      auto e = Make(name);
      Add(*e, "N", number.at(name));
      e->Manager().SetDBName("t");
      e->Manager().SetCreatorID("test");
      e->Manager().SetDatabaseType("DATA");
      if (memory) {
        if (e->FieldsFromFile()) e->Manager().SetPDBFilename("t.pdb");
        e->CreateInMemory("t");
      } else {
        e->CreateFile(dir.path(), "t.pdb");
      }
      e->Manager().SetCreationDate(At(2020, 1, 2));
      e->Manager().SetModificationDate(At(2020, 1, 3));
      for (int v : {1, 0, 7}) {
        const Variant value[] = {name == "sqldriver" ? Variant(0) : Variant(v), Variant(v)};
        e->AppendRecord(std::span<const Variant>(value).subspan(name == "sqldriver" ? 0 : 1,
                                                                e->FieldCount()));
      }
      e->Close();
      return memory ? e->Manager().TakeWrittenImage() : test::ReadAll(dir.File("t.pdb"));
    };
    const Bytes image = write(true);
    ASSERT_EQ(image, write(false));
    auto r = Make(name);
    if (!r->FieldsFromFile()) Add(*r, "N", number.at(name));
    r->OpenReadBytes(Bytes(image), "<memory>");
    r->CheckFieldsAgainstFile();
    std::vector<std::int64_t> seen;
    while (r->NextRecord()) seen.push_back(r->Value(r->FieldCount() - 1).AsInteger());
    r->Close();
    EXPECT_EQ(seen, (std::vector<std::int64_t>{1, 0, 7}));
  }
  // Bytes that are no database are refused as a file's would be.
  auto bad = Make("generic");
  Add(*bad, "N", "pdtByte");
  EXPECT_THROW(bad->OpenReadBytes(Bytes(100, 0xFF), "<memory>"), EPDBException);
}

}  // namespace
}  // namespace corvane
