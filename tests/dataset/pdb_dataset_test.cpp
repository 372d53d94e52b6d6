// TPDBDataSet over files of every engine: the validating properties, opening
// and loading with the conversions, writing back in the dataset's order, and
// the guarantees around it (texts and long values kept whole, a failed load
// or write never touching the file).
#include "corvane/dataset/pdb_dataset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/host/datetime.h"
#include "corvane/host/hooks.h"
#include "engines/engine_support.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::ReadAll;
using test::RecordsOf;
using test::TempDir;

int CodeOf(const std::function<void()>& f, int* message = nullptr) {
  try {
    f();
  } catch (const EPDBException& e) {
    if (message) *message = 0;
    return e.ErrorCode();
  }
  return 0;
}

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

// ---------------------------------------------------------------------------
// Properties

TEST(PDBDataSetProperties, SettersCheckAndKeepTheOldValueOnRefusal) {
  struct Case {
    std::function<void(TPDBDataSet&, const std::string&)> set;
    std::function<std::string(TPDBDataSet&)> get;
    std::string value;
    int message;  // 0: accepted
  };
  auto file = [](TPDBDataSet& d, const std::string& v) { d.SetPDBFilename(v); };
  auto file_get = [](TPDBDataSet& d) { return d.PDBFilename(); };
  auto name = [](TPDBDataSet& d, const std::string& v) { d.SetDBName(v); };
  auto name_get = [](TPDBDataSet& d) { return d.DatabaseName(); };
  auto creator = [](TPDBDataSet& d, const std::string& v) { d.SetCreatorID(v); };
  auto creator_get = [](TPDBDataSet& d) { return d.CreatorID(); };
  auto type = [](TPDBDataSet& d, const std::string& v) { d.SetDatabaseType(v); };
  auto type_get = [](TPDBDataSet& d) { return d.DatabaseType(); };
  const std::vector<Case> cases = {
      {file, file_get, "orders.pdb", 0},
      {file, file_get, "ORDERS.PdB", 0},
      {file, file_get, "orders.txt", 15080},
      {file, file_get, "orders", 15080},
      {file, file_get, "orders.pdb ", 15080},
      {file, file_get, "caf\xE9.pdb", 15090},
      {file, file_get, "   ", 0},
      {name, name_get, std::string(31, 'n'), 0},
      {name, name_get, std::string(32, 'n'), 15020},
      {name, name_get, "tab\there", 15030},
      {name, name_get, " \t ", 0},
      {creator, creator_get, "aB3z", 0},
      {creator, creator_get, "ab-c", 15050},
      {creator, creator_get, "abc", 15040},
      {creator, creator_get, " abcd", 15050},
      {type, type_get, "DATA", 0},
      {type, type_get, "DAT", 15060},
      {type, type_get, "DA_A", 15070},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    TPDBDataSet ds;
    const std::string before = c.get(ds);
    try {
      c.set(ds, c.value);
      EXPECT_EQ(c.message, 0);
      EXPECT_EQ(c.get(ds), c.value);
    } catch (const EPDBException& e) {
      EXPECT_EQ(e.what(), GetLocaleString(c.message));
      EXPECT_EQ(e.ErrorCode(), c.message % 20 == 0 ? 1 : 2) << "first check code 1, second code 2";
      EXPECT_EQ(c.get(ds), before);
    }
  }
}

TEST(PDBDataSetProperties, FlagsAreTheHeaderAttributeBits) {
  TPDBDataSet ds;
  ds.SetDBFlags(TDBFlags{dmHdrAttrBackup, dmHdrAttrCopyPrevention});
  EXPECT_EQ(ds.DatabaseFlagsWord(), 0x0048);
  EXPECT_EQ(ds.GetDBFlags(), (TDBFlags{dmHdrAttrBackup, dmHdrAttrCopyPrevention}));
  EXPECT_EQ(
      TPDBDataSet::ToTDBFlags(0x807F),
      (TDBFlags{dmHdrAttrReadOnly, dmHdrAttrAppInfoDirty, dmHdrAttrBackup,
                dmHdrAttrOKToInstallNewer, dmHdrAttrResetAfterInstall, dmHdrAttrCopyPrevention}));
}

// ---------------------------------------------------------------------------
// A scratch file and a dataset pointed at it.

class PDBDataSetTest : public ::testing::Test {
 protected:
  void Point(TPDBDataSet& ds, TEngine engine, const std::string& file = "t.pdb") {
    ds.SetEngine(engine);
    ds.SetDirectory(dir.path());
    ds.SetPDBFilename(file);
    ds.SetDBName("Table");
    ds.SetCreatorID("Test");
    ds.SetDatabaseType("DATA");
  }
  template <class Fields, class Type>
  static void Def(Fields& fields, const std::string& name, Type type, int size = -1) {
    auto& f = fields.Add();
    f.SetFieldName(name);
    f.SetDataType(type);
    if constexpr (requires { f.SetSize(1); }) {
      if (size >= 0) f.SetSize(size);
    }
  }
  std::string Path(const std::string& file = "t.pdb") const { return dir.File(file); }
  std::vector<std::string> Column(TPDBDataSet& ds, const std::string& field) {
    std::vector<std::string> out;
    for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName(field).AsString());
    return out;
  }

  TempDir dir;
};

TEST_F(PDBDataSetTest, OpeningChecksTheChosenCollection) {
  TPDBDataSet ds;
  Point(ds, Java);
  Def(ds.FieldsPocketStudio(), "A", PSInt32);
  EXPECT_EQ(CodeOf([&] { ds.Open(); }), 2);
  EXPECT_EQ(MessageOf([&] { ds.Open(); }), GetLocaleString(15110));
  EXPECT_FALSE(ds.Active());
}

TEST_F(PDBDataSetTest, SQLDriverGetsItsRowIDButTheDataSetDoesNot) {
  TPDBDataSet ds;
  Point(ds, SWSQLDriver);
  Def(ds.FieldsSQLDriver(), "Name", PDChar, 10);
  ds.Open();
  ASSERT_EQ(ds.SQLDriverEngine().Fields().Count(), 2);
  EXPECT_EQ(ds.SQLDriverEngine().Fields().GetItem(0).FieldName(), "RowID");
  EXPECT_EQ(ds.FieldDefs().Count(), 1);
  EXPECT_EQ(ds.FieldDefs()[0].Size(), 10) << "a fixed text keeps its width";
  ds.Close();
}

TEST_F(PDBDataSetTest, MissingFileOpensEmptyAndClosingCreatesIt) {
  for (int window : {1, 20}) {
    SCOPED_TRACE(window);
    std::filesystem::remove(Path());
    TPDBDataSet ds;
    ds.SetBufferCount(window);
    Point(ds, NSBasic);
    Def(ds.FieldsNSBasic(), "Name", NSBString);
    Def(ds.FieldsNSBasic(), "Qty", NSBInteger);
    int after_open = 0;
    ds.AfterOpen = [&](TDataSet&) { ++after_open; };
    ds.Open();
    EXPECT_EQ(after_open, 1);
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_EQ(ds.FieldDefs()[0].Size(), kDataSetTextSize);
    for (int i = 0; i < 3; ++i) {
      ds.Append();
      ds.FieldByName("Name").SetAsString("row" + std::to_string(i));
      ds.FieldByName("Qty").SetAsInteger(i * 10);
      ds.Post();
    }
    ds.Close();
    ASSERT_TRUE(std::filesystem::exists(Path()));

    TPDBNSBasic e;
    Def(e.Fields(), "Name", NSBString);
    Def(e.Fields(), "Qty", NSBInteger);
    e.SetDirectory(dir.path());
    e.SetPDBFilename("t.pdb");
    e.OpenDatabase();
    EXPECT_EQ(e.DatabaseName(), "Table");
    std::vector<std::string> got;
    for (e.First(); !e.Eof(); e.Next()) {
      got.push_back(e.Fields().GetItem(0).GetAsNSBString() + "=" +
                    std::to_string(e.Fields().GetItem(1).GetAsNSBInteger()));
    }
    EXPECT_EQ(got, (std::vector<std::string>{"row0=0", "row1=10", "row2=20"}));
  }
}

// ---------------------------------------------------------------------------
// Per engine: a file the engine wrote, opened and closed without change,
// comes back with the same records; then edited, it comes back edited.

struct EngineCase {
  TEngine engine;
  std::string name;
  // Defines the fields on the dataset's collection and on a bare engine.
  std::function<void(TPDBDataSet&)> define;
  // Writes `rows` records through the dataset's own engine instance.
  std::function<void(TPDBDataSet&, const std::string& dir, int rows)> write;
};

const std::string kLongText(1000, 'L');
const std::int64_t kBigLong = (std::int64_t{1} << 62) + 1;

template <class Engine>
void WriteThrough(Engine& e, const std::string& dir, int rows,
                  const std::function<void(int)>& fill) {
  e.SetDirectory(dir);
  e.SetPDBFilename("t.pdb");
  e.SetOpenMode(dmModeWriteOnly);
  e.SetDBName("Source");
  e.SetCreatorID("Src1");
  e.SetDatabaseType("DATA");
  e.SetCreationDate(test::CreatedDate());
  e.CreateDatabase();
  // The rest of a database, which a table written back keeps: header values
  // the dataset has no property for, a named category, a sort-info block and,
  // where the engine does not build the block itself, an application's own
  // bytes after the category table.
  e.SetDBVersion(3);
  e.SetModification(9);
  e.SetModificationDate(test::CreatedDate() + 0.5);
  e.SetLastBackupDate(test::CreatedDate() + 1);
  e.SetAttributes(0x0108);  // hidden, backup
  e.SetUniqueIDSeed(77);
  e.SetSortInfoP(Bytes{1, 2, 3, 0xFF});
  if constexpr (!std::is_same_v<Engine, TPDBJava>) {
    e.SetCategory(1, "Work");
    e.SetCategoryID(1, 40);
  }
  if constexpr (!std::is_same_v<Engine, TPDBJava> && !std::is_same_v<Engine, TPDBAppForge>) {
    e.SetWriteCategory(true);
    e.SetAppInfoP(Bytes{0xA0, 0xA1, 0xA2});
  }
  for (int i = 0; i < rows; ++i) {
    e.Append();
    fill(i);
    e.Post();
  }
  e.CloseDatabase();
}

template <class Fields, class Type>
void Add(Fields& fields, const std::string& name, Type type, int size = -1) {
  auto& f = fields.Add();
  f.SetFieldName(name);
  f.SetDataType(type);
  if constexpr (requires { f.SetSize(1); }) {
    if (size >= 0) f.SetSize(size);
  }
}

// The key field is a text named "Key" in every case ("k0", "k1", ...).
std::vector<EngineCase> Cases() {
  std::vector<EngineCase> cases;
  cases.push_back({PocketStudio, "pocketstudio",
                   [](TPDBDataSet& ds) {
                     auto& c = ds.FieldsPocketStudio();
                     Add(c, "Key", PSString);
                     Add(c, "Flag", PSBoolean);
                     Add(c, "I8", PSInt8);
                     Add(c, "U16", PSUInt16);
                     Add(c, "U32", PSUInt32);
                     Add(c, "Day", PSDate);
                     Add(c, "At", PSTime);
                     Add(c, "When", PSDateTime);
                     Add(c, "Fixed", PSString, 6);
                     Add(c, "Single", PSSingle);
                     Add(c, "Double", PSDouble);
                     Add(c, "Blob", PSBinary);
                     Add(c, "Text", PSString);
                   },
                   [](TPDBDataSet& ds, const std::string& dir, int rows) {
                     auto& e = ds.PocketStudioEngine();
                     e.Fields().Clear();
                     for (const auto& f : ds.FieldsPocketStudio()) {
                       auto& g = e.Fields().Add();
                       g.Assign(f);
                     }
                     auto F = [&](int i) -> TPDBPSField& { return e.Fields().GetItem(i); };
                     WriteThrough(e, dir, rows, [&](int r) {
                       F(0).SetAsPSString("k" + std::to_string(r));
                       F(1).SetAsPSBoolean(r % 2 == 0);
                       F(2).SetAsPSInt8(static_cast<std::int8_t>(-100 + r));
                       F(3).SetAsPSUInt16(static_cast<std::uint16_t>(65535 - r));
                       F(4).SetAsPSUInt32(4000000000u + static_cast<std::uint32_t>(r));
                       F(5).SetAsPSDate(EncodeDate(2031, 12, 31));
                       F(6).SetAsPSTime(EncodeTime(23, 59, 0, 0));
                       F(7).SetAsPSDateTime(EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 0));
                       F(8).SetAsPSString("abcdef");
                       F(9).SetAsPSSingle(0.1f);
                       F(10).SetAsPSDouble(-1e300);
                       const Bytes blob = {0, 1, 2, 0xFF, static_cast<std::uint8_t>(r)};
                       F(11).SetAsPSBinary(blob);
                       F(12).SetAsPSString(kLongText);
                     });
                   }});
  cases.push_back({NSBasic, "nsbasic",
                   [](TPDBDataSet& ds) {
                     auto& c = ds.FieldsNSBasic();
                     Add(c, "Key", NSBString);
                     Add(c, "Byte", NSBByte);
                     Add(c, "Short", NSBShort);
                     Add(c, "Int", NSBInteger);
                     Add(c, "Float", NSBFloat);
                     Add(c, "Single", NSBSingle);
                     Add(c, "Double", NSBDouble);
                     Add(c, "Day", NSBDate);
                     Add(c, "At", NSBTime);
                     Add(c, "Fixed", NSBString, 8);
                     Add(c, "Text", NSBString);
                   },
                   [](TPDBDataSet& ds, const std::string& dir, int rows) {
                     auto& e = ds.NSBasicEngine();
                     e.Fields().Clear();
                     for (const auto& f : ds.FieldsNSBasic()) e.Fields().Add().Assign(f);
                     auto F = [&](int i) -> TPDBNSBField& { return e.Fields().GetItem(i); };
                     WriteThrough(e, dir, rows, [&](int r) {
                       F(0).SetAsNSBString("k" + std::to_string(r));
                       F(1).SetAsNSBByte(255);
                       F(2).SetAsNSBShort(0xFFFF);
                       F(3).SetAsNSBInteger(-2147483647 - 1 + r);
                       F(4).SetAsNSBFloat(1.0 / 3);
                       F(5).SetAsNSBSingle(-2.5f);
                       F(6).SetAsNSBFloat(1e-300);
                       F(7).SetAsNSBDate(EncodeDate(1999, 12, 31));
                       F(8).SetAsNSBTime(EncodeTime(12, 34, 56, 0));
                       F(9).SetAsNSBString("eight ch");
                       F(10).SetAsNSBString(kLongText);
                     });
                   }});
  cases.push_back({AppForge, "appforge",
                   [](TPDBDataSet& ds) {
                     auto& c = ds.FieldsAppForge();
                     Add(c, "Key", AFString);
                     Add(c, "Byte", AFByte);
                     Add(c, "Integer", AFInteger);
                     Add(c, "Long", AFLong);
                     Add(c, "Single", AFSingle);
                     Add(c, "Double", AFDouble);
                     Add(c, "Money", AFCurrency);
                     Add(c, "Flag", AFBoolean);
                     Add(c, "When", AFDate);
                     Add(c, "Text", AFString);
                   },
                   [](TPDBDataSet& ds, const std::string& dir, int rows) {
                     auto& e = ds.AppForgeEngine();
                     e.Fields().Clear();
                     for (const auto& f : ds.FieldsAppForge()) e.Fields().Add().Assign(f);
                     auto F = [&](int i) -> TPDBAFField& { return e.Fields().GetItem(i); };
                     WriteThrough(e, dir, rows, [&](int r) {
                       F(0).SetAsAFString("k" + std::to_string(r));
                       F(1).SetAsAFByte(200);
                       F(2).SetAsAFInteger(-1);
                       F(3).SetAsAFLong(2147483647 - r);
                       F(4).SetAsAFSingle(3.25f);
                       F(5).SetAsAFDouble(0.1);
                       F(6).SetAsAFCurrency(Currency::FromRaw(123456 + r));
                       F(7).SetAsAFBoolean(true);
                       F(8).SetAsAFDate(EncodeDate(2040, 2, 29) + EncodeTime(1, 2, 3, 0));
                       F(9).SetAsAFString(kLongText);
                     });
                   }});
  cases.push_back({Java, "java",
                   [](TPDBDataSet& ds) {
                     auto& c = ds.FieldsJava();
                     Add(c, "Key", JString);
                     Add(c, "Byte", JByte);
                     Add(c, "Flag", JBoolean);
                     Add(c, "Char", JChar);
                     Add(c, "Int", JInt);
                     Add(c, "Long", JLong);
                     Add(c, "Short", JShort);
                     Add(c, "When", JDate);
                     Add(c, "Text", JString);
                   },
                   [](TPDBDataSet& ds, const std::string& dir, int rows) {
                     auto& e = ds.JavaEngine();
                     e.Fields().Clear();
                     for (const auto& f : ds.FieldsJava()) e.Fields().Add().Assign(f);
                     auto F = [&](int i) -> TPDBJavaField& { return e.Fields().GetItem(i); };
                     WriteThrough(e, dir, rows, [&](int r) {
                       F(0).SetAsString("k" + std::to_string(r));
                       F(1).SetAsByte(0xFE);
                       F(2).SetAsBoolean(true);
                       F(3).SetAsChar(r == 0 ? std::string() : "Z");
                       F(4).SetAsInt(-5);
                       F(5).SetAsLong(r == 1 ? INT64_MAX : kBigLong);
                       F(6).SetAsShort(-32768);
                       F(7).SetAsDate(EncodeDate(2020, 1, 2) + EncodeTime(3, 4, 5, 0));
                       F(8).SetAsString(kLongText);
                     });
                   }});
  cases.push_back({SWSQLDriver, "sqldriver",
                   [](TPDBDataSet& ds) {
                     auto& c = ds.FieldsSQLDriver();
                     Add(c, "Key", PDChar, 8);
                     Add(c, "Short", PDShort);
                     Add(c, "Int", PDInt);
                     Add(c, "Long", PDLong);
                     Add(c, "Float", PDFloat);
                     Add(c, "Double", PDDouble);
                     Add(c, "Text", PDChar, 1000);
                   },
                   [](TPDBDataSet& ds, const std::string& dir, int rows) {
                     auto& e = ds.SQLDriverEngine();
                     e.Fields().Clear();
                     auto& row_id = e.Fields().Add();
                     row_id.SetFieldName("RowID");
                     row_id.SetDataType(PDInt);
                     for (const auto& f : ds.FieldsSQLDriver()) e.Fields().Add().Assign(f);
                     auto F = [&](int i) -> TPDBSQLDriverField& { return e.Fields().GetItem(i); };
                     WriteThrough(e, dir, rows, [&](int r) {
                       F(1).SetAsChar("k" + std::to_string(r));
                       F(2).SetAsShort(-2);
                       F(3).SetAsInt(7 * r);
                       F(4).SetAsLong(r == 1 ? INT64_MIN : kBigLong);
                       F(5).SetAsFloat(1.5f);
                       F(6).SetAsDouble(-0.0);
                       F(7).SetAsChar(kLongText);
                     });
                   }});
  return cases;
}

// Parameters: the engine case, the window of record buffers, and whether an
// event watches every posted row (which makes loading go through Append and
// Post one row at a time instead of straight into the store).
class EngineRoundTrip : public PDBDataSetTest,
                        public ::testing::WithParamInterface<std::tuple<int, int, bool>> {
 protected:
  EngineCase Case() const { return Cases()[static_cast<std::size_t>(std::get<0>(GetParam()))]; }
  int Window() const { return std::get<1>(GetParam()); }
  // A dataset on a file of `rows` records that the engine wrote itself.
  void Prepare(TPDBDataSet& ds, int rows) {
    const EngineCase c = Case();
    ds.SetBufferCount(Window());
    if (std::get<2>(GetParam())) ds.AfterPost = [this](TDataSet&) { ++posts; };
    c.define(ds);
    c.write(ds, dir.path(), rows);
    ds.SetEngine(c.engine);
    ds.SetDirectory(dir.path());
    ds.SetPDBFilename("t.pdb");
  }
  int posts = 0;
};

TEST_P(EngineRoundTrip, OpenAndCloseRewritesTheSameRecords) {
  TPDBDataSet ds;
  Prepare(ds, 3);
  const auto before = ReadAll(Path());
  ds.Open();
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(posts, std::get<2>(GetParam()) ? 3 : 0) << "each loaded row posted while watched";
  EXPECT_EQ(ds.RecNo(), 1) << "the cursor is on the first row";
  EXPECT_EQ(ds.FieldByName("Key").AsString(), "k0");
  EXPECT_EQ(ds.FieldByName("Text").AsString(), kLongText);
  EXPECT_EQ(ds.DatabaseName(), "Source");
  EXPECT_EQ(ds.CreatorID(), "Src1");
  EXPECT_DOUBLE_EQ(ds.CreationDate(), test::CreatedDate());
  ds.Close();
  const auto after = ReadAll(Path());
  EXPECT_EQ(RecordsOf(after), RecordsOf(before));
  EXPECT_EQ(after, before) << "the same database: header, blocks and records";
}

TEST_P(EngineRoundTrip, EditsInsertsDeletesAndReadsBackInOrder) {
  TPDBDataSet ds;
  Prepare(ds, 4);
  ds.Open();
  // k0 k1 k2 k3 -> delete k1, edit k2 to "two", insert "new" before it, append "end".
  ds.First();
  ds.Next();
  ds.Delete();
  EXPECT_EQ(ds.FieldByName("Key").AsString(), "k2");
  ds.Edit();
  ds.FieldByName("Key").SetAsString("two");
  ds.Post();
  ds.Insert();
  ds.FieldByName("Key").SetAsString("new");
  ds.Post();
  ds.Append();
  ds.FieldByName("Key").SetAsString("end");
  ds.Post();
  const std::vector<std::string> expected = {"k0", "new", "two", "k3", "end"};
  EXPECT_EQ(Column(ds, "Key"), expected);
  ds.Close();

  TPDBDataSet again;
  Case().define(again);
  again.SetEngine(Case().engine);
  again.SetDirectory(dir.path());
  again.SetPDBFilename("t.pdb");
  again.Open();
  EXPECT_EQ(Column(again, "Key"), expected);
  again.First();
  EXPECT_EQ(again.FieldByName("Text").AsString(), kLongText);
}

TEST_P(EngineRoundTrip, AFilteredDataSetWritesOnlyTheAcceptedRows) {
  TPDBDataSet ds;
  Prepare(ds, 5);
  ds.Open();
  ds.SetOnFilterRecord([](TDataSet& d, bool& accept) {
    const std::string key = d.FieldByName("Key").AsString();
    accept = key == "k1" || key == "k3" || key == "k4";
  });
  ds.SetFiltered(true);
  ds.Last();
  ds.Delete();  // k4
  ds.Close();
  TPDBDataSet again;
  Case().define(again);
  again.SetEngine(Case().engine);
  again.SetDirectory(dir.path());
  again.SetPDBFilename("t.pdb");
  again.Open();
  EXPECT_EQ(Column(again, "Key"), (std::vector<std::string>{"k1", "k3"}));
}

TEST_P(EngineRoundTrip, ASortedDataSetWritesItsRowsInSortedOrder) {
  TPDBDataSet ds;
  Prepare(ds, 4);
  ds.Open();
  ds.Append();
  ds.FieldByName("Key").SetAsString("k2");  // ties with k2 keep creation order
  ds.Post();
  ds.SortDataSet("Key", false, true);
  ds.Close();
  TPDBDataSet again;
  Case().define(again);
  again.SetEngine(Case().engine);
  again.SetDirectory(dir.path());
  again.SetPDBFilename("t.pdb");
  again.Open();
  EXPECT_EQ(Column(again, "Key"), (std::vector<std::string>{"k3", "k2", "k2", "k1", "k0"}));
  // Descending, the later k2 (the appended one, with empty text) comes first.
  again.First();
  again.Next();
  EXPECT_EQ(again.FieldByName("Text").AsString(), "");
  again.Next();
  EXPECT_EQ(again.FieldByName("Text").AsString(), kLongText);
}

TEST_P(EngineRoundTrip, ADataSetThatDoesNotWriteLeavesTheFileAlone) {
  TPDBDataSet ds;
  Prepare(ds, 2);
  const auto before = ReadAll(Path());
  ds.SetWriteOnClose(false);
  ds.Open();
  ds.Delete();
  ds.Close();
  EXPECT_EQ(ReadAll(Path()), before);
}

TEST_P(EngineRoundTrip, AFailedWriteLeavesTheFileAsItWas) {
  TPDBDataSet ds;
  Prepare(ds, 3);
  const auto before = ReadAll(Path());
  ds.Open();
  ds.Last();
  ds.Edit();
  ds.FieldByName("Key").SetAsString("changed");
  ds.Post();
  ds.SetCreatorID("");  // CreateDatabase refuses a missing creator
  EXPECT_THROW(ds.Close(), EPDBException);
  EXPECT_TRUE(ds.Active()) << "the rows are still there to be saved";
  EXPECT_EQ(ReadAll(Path()), before);
  ds.SetCreatorID("Src1");
  ds.Close();
  EXPECT_NE(ReadAll(Path()), before);
}

TEST_P(EngineRoundTrip, DestroyingAnOpenDataSetWritesIt) {
  {
    TPDBDataSet ds;
    Prepare(ds, 2);
    ds.Open();
    ds.Edit();
    ds.FieldByName("Key").SetAsString("kept");
    ds.Post();
  }
  TPDBDataSet again;
  Case().define(again);
  again.SetEngine(Case().engine);
  again.SetDirectory(dir.path());
  again.SetPDBFilename("t.pdb");
  again.Open();
  EXPECT_EQ(Column(again, "Key"), (std::vector<std::string>{"kept", "k1"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineRoundTrip,
                         ::testing::Combine(::testing::Range(0, 5), ::testing::Values(1, 20),
                                            ::testing::Bool()),
                         [](const auto& info) {
                           return Cases()[static_cast<std::size_t>(std::get<0>(info.param))].name +
                                  "_window" + std::to_string(std::get<1>(info.param)) +
                                  (std::get<2>(info.param) ? "_watched" : "");
                         });

// ---------------------------------------------------------------------------
// Conversions

TEST_F(PDBDataSetTest, LoadsNarrowIntegersAsTheirTypesReadThem) {
  // One record: PSInt16 FFFF, then NSB-like unsigned reading through PSUInt16.
  test::WriteAll(Path(), test::PlainPdb("Raw", {{0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00}}));
  TPDBDataSet ds;
  Point(ds, PocketStudio);
  Def(ds.FieldsPocketStudio(), "S", PSInt16);
  Def(ds.FieldsPocketStudio(), "U", PSUInt16);
  Def(ds.FieldsPocketStudio(), "U32", PSUInt32);
  ds.Open();
  EXPECT_EQ(ds.FieldByName("S").AsInteger(), -1);
  EXPECT_EQ(ds.FieldByName("U").AsInteger(), 65535);
  EXPECT_EQ(ds.FieldByName("U32").DataType(), ftLargeint);
  EXPECT_EQ(ds.FieldByName("U32").AsLargeInt(), 2147483648LL) << "read as unsigned";
  ds.Close();
  EXPECT_EQ(RecordsOf(ReadAll(Path()))[0], (test::Rec{0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0}));

  TPDBDataSet nsb;
  Point(nsb, NSBasic);
  Def(nsb.FieldsNSBasic(), "S", NSBShort);
  nsb.Open();
  EXPECT_EQ(nsb.FieldByName("S").AsInteger(), 65535);
}

TEST_F(PDBDataSetTest, CurrencyTravelsAsItsAmount) {
  TPDBDataSet ds;
  Point(ds, AppForge);
  Def(ds.FieldsAppForge(), "Money", AFCurrency);
  ds.Open();
  ds.Append();
  ds.FieldByName("Money").SetAsFloat(12.3456);
  ds.Post();
  ds.Close();
  TPDBDataSet again;
  Point(again, AppForge);
  Def(again.FieldsAppForge(), "Money", AFCurrency);
  again.Open();
  EXPECT_DOUBLE_EQ(again.FieldByName("Money").AsFloat(), 12.3456);
  ASSERT_EQ(again.AppForgeEngine().Fields().Count(), 1);
  // 12.3456 is 123456 ten-thousandths in the record.
  EXPECT_EQ(RecordsOf(ReadAll(Path()))[0], (test::Rec{0, 0, 0, 0, 0, 1, 0xE2, 0x40}));
}

TEST_F(PDBDataSetTest, ValuesOutsideTheTypeAreRefusedWithRowAndField) {
  struct Case {
    std::function<void(TPDBDataSet&)> define;
    std::function<void(TDataSet&)> set;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {[](TPDBDataSet& d) { Add(d.FieldsPocketStudio(), "V", PSInt8); },
       [](TDataSet& d) { d.FieldByName("V").SetAsInteger(256); }, "256"},
      {[](TPDBDataSet& d) { Add(d.FieldsPocketStudio(), "V", PSUInt16); },
       [](TDataSet& d) { d.FieldByName("V").SetAsInteger(-32769); }, "-32769"},
      {[](TPDBDataSet& d) { Add(d.FieldsAppForge(), "V", AFByte); },
       [](TDataSet& d) { d.FieldByName("V").SetAsInteger(1000); }, "1000"},
      {[](TPDBDataSet& d) { Add(d.FieldsAppForge(), "V", AFCurrency); },
       [](TDataSet& d) { d.FieldByName("V").SetAsFloat(1e20); }, ""},
      {[](TPDBDataSet& d) { Add(d.FieldsJava(), "V", JChar); },
       [](TDataSet& d) { d.FieldByName("V").SetAsString("ab"); }, "2 characters"},
      {[](TPDBDataSet& d) { Add(d.FieldsSQLDriver(), "V", PDShort); },
       [](TDataSet& d) { d.FieldByName("V").SetAsInteger(70000); }, "70000"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    std::filesystem::remove(Path());
    TPDBDataSet ds;
    cases[i].define(ds);
    const TEngine engine = ds.FieldsPocketStudio().Count() ? PocketStudio
                           : ds.FieldsAppForge().Count()   ? AppForge
                           : ds.FieldsJava().Count()       ? Java
                                                           : SWSQLDriver;
    Point(ds, engine);
    ds.Open();
    ds.Append();  // a good row first, so the bad one is row 2
    ds.Post();
    ds.Close();
    const auto before = ReadAll(Path());
    ds.Open();
    ds.Append();
    cases[i].set(ds);
    ds.Post();
    try {
      ds.Close();
      ADD_FAILURE() << "written";
    } catch (const EPDBException& e) {
      EXPECT_EQ(e.ErrorCode(), 2);
      const std::string what = e.what();
      EXPECT_NE(what.find("Row 2, field 'V': " + cases[i].shown), std::string::npos) << what;
    }
    EXPECT_EQ(ds.FailedRow(), 2);
    EXPECT_EQ(ds.FailedField(), "V");
    EXPECT_EQ(ReadAll(Path()), before) << "nothing written";
    ds.Last();
    ds.Delete();
  }
}

TEST_F(PDBDataSetTest, LongValuesKeepEveryBit) {
  TPDBDataSet ds;
  Point(ds, Java);
  Def(ds.FieldsJava(), "L", JLong);
  ds.Open();
  EXPECT_EQ(ds.FieldByName("L").DataType(), ftLargeint);
  for (std::int64_t v : {kBigLong, INT64_MAX, INT64_MIN, std::int64_t{-1}}) {
    ds.Append();
    ds.FieldByName("L").SetAsLargeInt(v);
    ds.Post();
  }
  ds.Close();
  ds.Open();
  std::vector<std::int64_t> got;
  for (ds.First(); !ds.Eof(); ds.Next()) got.push_back(ds.FieldByName("L").AsLargeInt());
  EXPECT_EQ(got, (std::vector<std::int64_t>{kBigLong, INT64_MAX, INT64_MIN, -1}));
}

TEST_F(PDBDataSetTest, BinaryFieldsTravelInTheirOwnRecord) {
  TPDBDataSet ds;
  Point(ds, PocketStudio);
  Def(ds.FieldsPocketStudio(), "N", PSInt16);
  Def(ds.FieldsPocketStudio(), "B", PSBinary);
  ds.Open();
  EXPECT_EQ(ds.FieldByName("B").DataType(), ftBlob);
  ds.Close();
  // Two records written by the engine: 7 + {0,1,2}, 8 + {}.
  test::WriteAll(Path(), test::PlainPdb("Bin", {{0, 7, 0, 3, 0, 1, 2}, {0, 8, 0, 0}}));
  const auto before = ReadAll(Path());
  ds.Open();
  ASSERT_EQ(ds.RecordCount(), 2);
  ds.Close();
  const auto after = ReadAll(Path());
  EXPECT_EQ(RecordsOf(after), RecordsOf(before));
  EXPECT_EQ(after, before) << "the same database: header, blocks and records";
}

TEST_F(PDBDataSetTest, VeryLongTextsAreHeldAsMemos) {
  const std::string huge(20000, 'h');
  TPDBAppForge e;
  Add(e.Fields(), "A", AFString);
  Add(e.Fields(), "B", AFString);
  WriteThrough(e, dir.path(), 2, [&](int r) {
    e.Fields().GetItem(0).SetAsAFString(r == 0 ? huge : "x");
    e.Fields().GetItem(1).SetAsAFString(std::string(300, 'm'));
  });
  const auto before = ReadAll(Path());
  TPDBDataSet ds;
  Point(ds, AppForge);
  Def(ds.FieldsAppForge(), "A", AFString);
  Def(ds.FieldsAppForge(), "B", AFString);
  ds.Open();
  EXPECT_EQ(ds.FieldByName("A").DataType(), ftMemo);
  EXPECT_EQ(ds.FieldByName("B").DataType(), ftString);
  EXPECT_EQ(ds.FieldByName("B").Size(), 300);
  // A memo sorts as the text it is.
  ds.SortDataSet("A", false, true);
  EXPECT_EQ(Column(ds, "A"), (std::vector<std::string>{"x", huge}));
  ds.SortDataSet("A");
  EXPECT_EQ(Column(ds, "A"), (std::vector<std::string>{huge, "x"}));
  ds.Close();
  EXPECT_EQ(RecordsOf(ReadAll(Path())), RecordsOf(before));
}

TEST_F(PDBDataSetTest, TextsAsLongAsTheEnginesAllowComeBackWhole) {
  {
    // As long a JString as a record holds beside its number (a record is at
    // most 65535 bytes: the length word, the text and the four-byte number).
    constexpr std::size_t kLongest = 65535 - 2 - 4;
    TPDBJava e;
    Add(e.Fields(), "T", JString);
    Add(e.Fields(), "N", JInt);
    WriteThrough(e, dir.path(), 2, [&](int r) {
      e.Fields().GetItem(0).SetAsString(std::string(r == 0 ? kLongest : 1, 'j'));
      e.Fields().GetItem(1).SetAsInt(r);
    });
    const auto before = ReadAll(Path());
    TPDBDataSet ds;
    Point(ds, Java);
    Def(ds.FieldsJava(), "T", JString);
    Def(ds.FieldsJava(), "N", JInt);
    ds.Open();
    EXPECT_EQ(ds.FieldByName("T").AsString().size(), kLongest);
    ds.Close();
    EXPECT_EQ(RecordsOf(ReadAll(Path())), RecordsOf(before));
  }
  {
    // A wide SQL Driver text beside a short one: two bytes a slot, and the
    // record stays within its 65535 bytes.
    constexpr int kWide = 32000;
    TPDBSQLDriver e;
    Add(e.Fields(), "A", PDChar, kWide);
    Add(e.Fields(), "B", PDChar, 8);
    WriteThrough(e, dir.path(), 1, [&](int) {
      e.Fields().GetItem(1).SetAsChar(std::string(kWide, 'a'));
      e.Fields().GetItem(2).SetAsChar(std::string(8, 'b'));
    });
    const auto before = ReadAll(Path());
    TPDBDataSet ds;
    Point(ds, SWSQLDriver);
    Def(ds.FieldsSQLDriver(), "A", PDChar, kWide);
    Def(ds.FieldsSQLDriver(), "B", PDChar, 8);
    ds.Open();
    EXPECT_EQ(ds.FieldByName("B").DataType(), ftString);
    EXPECT_EQ(ds.FieldByName("A").AsString(), std::string(kWide, 'a'));
    ds.Close();
    EXPECT_EQ(RecordsOf(ReadAll(Path())), RecordsOf(before));
  }
}

TEST_F(PDBDataSetTest, HeaderValuesComeFromTheFileEvenWhenTheSettersWouldRefuseThem) {
  auto file = test::PdbHeader("caf\xE9 name", 0, 0, 0, 0x0048).U16(0).bytes;
  test::WriteAll(Path(), file);
  TPDBDataSet ds;
  Point(ds, NSBasic);
  Def(ds.FieldsNSBasic(), "A", NSBString);
  ds.Open();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.DatabaseName(), "caf\xE9 name");
  EXPECT_EQ(ds.CreatorID(), "test");
  EXPECT_EQ(ds.DatabaseType(), "DATA");
  EXPECT_EQ(ds.GetDBFlags(), (TDBFlags{dmHdrAttrBackup, dmHdrAttrCopyPrevention}));
  ds.Close();
}

TEST_F(PDBDataSetTest, AFailedLoadClosesTheDataSetAndNeverWrites) {
  // The second record is one byte short of its 32-bit field.
  test::WriteAll(Path(), test::PlainPdb("Bad", {{0, 0, 0, 1}, {0, 0, 2}, {0, 0, 0, 3}}));
  const auto before = ReadAll(Path());
  for (int window : {1, 20}) {
    TPDBDataSet ds;
    ds.SetBufferCount(window);
    Point(ds, PocketStudio);
    Def(ds.FieldsPocketStudio(), "N", PSInt32);
    int before_close = 0;
    ds.BeforeClose = [&](TDataSet&) { ++before_close; };
    EXPECT_THROW(ds.Open(), EPDBException);
    EXPECT_FALSE(ds.Active());
    EXPECT_FALSE(ds.ControlsDisabled());
    EXPECT_EQ(before_close, 0);
    EXPECT_FALSE(ds.PocketStudioEngine().isOpen());
  }
  EXPECT_EQ(ReadAll(Path()), before);
}

// Whichever record is damaged (the first is read while the file opens), the
// engine is closed again, so the same dataset opens the next file.
TEST_F(PDBDataSetTest, AFailedLoadLeavesTheDataSetFreeToOpenAnotherFile) {
  test::WriteAll(Path("good.pdb"), test::PlainPdb("Good", {{0, 0, 0, 7}, {0, 0, 0, 8}}));
  for (int damaged : {0, 1}) {
    std::vector<std::vector<std::uint8_t>> records = {{0, 0, 0, 1}, {0, 0, 0, 2}};
    records[static_cast<std::size_t>(damaged)] = {0, 0, 2};
    test::WriteAll(Path("bad.pdb"), test::PlainPdb("Bad", records));
    for (int window : {1, 20}) {
      SCOPED_TRACE(testing::Message() << "damaged " << damaged << ", window " << window);
      TPDBDataSet ds;
      ds.SetBufferCount(window);
      ds.SetWriteOnClose(false);
      Point(ds, PocketStudio, "bad.pdb");
      Def(ds.FieldsPocketStudio(), "N", PSInt32);
      EXPECT_THROW(ds.Open(), EPDBException);
      EXPECT_FALSE(ds.Active());
      EXPECT_FALSE(ds.PocketStudioEngine().isOpen());
      ds.SetPDBFilename("good.pdb");
      ASSERT_NO_THROW(ds.Open());
      EXPECT_EQ(Column(ds, "N"), (std::vector<std::string>{"7", "8"}));
      ds.Close();
    }
  }
}

// A blank at either end of a name is part of it: the file that exists is the
// one loaded and, on closing, the one written, never a trimmed neighbour.
TEST_F(PDBDataSetTest, NamesWithBlanksAtTheirEndsLoadAndWriteTheSameFile) {
  std::filesystem::create_directory(dir.File("sub "));
  struct Case {
    std::string directory, file;
  };
  for (const Case& c : {Case{dir.path(), " t.pdb"}, Case{dir.File("sub "), "t.pdb"},
                        Case{dir.File("sub ") + "/", " t.pdb"}}) {
    SCOPED_TRACE("'" + c.directory + "' '" + c.file + "'");
    const std::string path = c.directory + (c.directory.back() == '/' ? "" : "/") + c.file;
    test::WriteAll(path, test::PlainPdb("Spaced", {{0, 0, 0, 5}, {0, 0, 0, 6}}));
    std::filesystem::remove(Path());
    TPDBDataSet ds;
    Point(ds, PocketStudio);
    ds.SetDirectory(c.directory);
    ds.SetPDBFilename(c.file);
    Def(ds.FieldsPocketStudio(), "N", PSInt32);
    ds.Open();
    EXPECT_EQ(Column(ds, "N"), (std::vector<std::string>{"5", "6"}));
    EXPECT_EQ(ds.DatabaseName(), "Spaced");
    ds.Append();
    ds.FieldByName("N").SetAsInteger(9);
    ds.Post();
    ds.Close();
    EXPECT_FALSE(std::filesystem::exists(Path())) << "no file under the trimmed name";
    TPDBPocketStudio e;
    Add(e.Fields(), "N", PSInt32);
    e.SetDirectory(c.directory);
    e.SetPDBFilename(c.file);
    e.OpenDatabase();
    EXPECT_EQ(e.DatabaseName(), "Spaced");
    std::vector<std::int32_t> got;
    for (e.First(); !e.Eof(); e.Next()) got.push_back(e.Fields().GetItem(0).GetAsPSInt32());
    e.CloseDatabase();
    EXPECT_EQ(got, (std::vector<std::int32_t>{5, 6, 9}));
    std::filesystem::remove(path);
  }
}

TEST_F(PDBDataSetTest, AFailureWhileDestroyingGoesToTheHandler) {
  TPDBDataSet* raw = nullptr;
  int handled = 0;
  auto old = SetExceptionHandlerHook([&](std::exception_ptr) { ++handled; });
  {
    TPDBDataSet ds;
    raw = &ds;
    Point(ds, PocketStudio);
    Def(ds.FieldsPocketStudio(), "N", PSInt8);
    ds.Open();
    ds.Append();
    ds.FieldByName("N").SetAsInteger(1000);
    ds.Post();
  }
  SetExceptionHandlerHook(old);
  (void)raw;
  EXPECT_EQ(handled, 1);
  EXPECT_FALSE(std::filesystem::exists(Path()));
}

// ---------------------------------------------------------------------------
// Real files by other software.

TEST_F(PDBDataSetTest, OpensRealNSBasicTablesAsAnIndependentDecodingReadsThem) {
  const std::string corpus = CORVANE_SHARED_DIR "/corpus";
  const std::string name = "nsb-pdbconv-WidgetInventory.pdb";
  if (!std::filesystem::exists(corpus + "/" + name)) GTEST_SKIP() << "no shared corpus";
  std::filesystem::copy_file(corpus + "/" + name, Path());
  const auto bytes = ReadAll(Path());

  TPDBDataSet ds;
  ds.SetEngine(NSBasic);
  ds.SetDirectory(dir.path());
  ds.SetPDBFilename("t.pdb");
  auto& c = ds.FieldsNSBasic();
  Add(c, "Name", NSBString);
  Add(c, "Code", NSBString);
  Add(c, "Part", NSBString);
  Add(c, "Stock", NSBInteger);
  Add(c, "Min", NSBInteger);
  Add(c, "Cost", NSBDouble);
  Add(c, "Price", NSBDouble);
  ds.Open();
  const auto records = RecordsOf(bytes);
  ASSERT_EQ(ds.RecordCount(), static_cast<int>(records.size()));
  ds.First();
  for (const auto& r : records) {
    // Independently: three zero-ended texts, two big-endian 32-bit integers, two doubles.
    std::size_t at = 0;
    std::vector<std::string> texts;
    for (int i = 0; i < 3; ++i) {
      std::string s;
      while (r[at] != 0) s.push_back(static_cast<char>(r[at++]));
      ++at;
      texts.push_back(s);
    }
    const auto i1 = static_cast<std::int32_t>(test::U32At(r, at));
    const auto i2 = static_cast<std::int32_t>(test::U32At(r, at + 4));
    auto dbl = [&](std::size_t p) {
      std::uint64_t u = (std::uint64_t{test::U32At(r, p)} << 32) | test::U32At(r, p + 4);
      double d;
      std::memcpy(&d, &u, 8);
      return d;
    };
    EXPECT_EQ(ds.FieldByName("Name").AsString(), texts[0]);
    EXPECT_EQ(ds.FieldByName("Code").AsString(), texts[1]);
    EXPECT_EQ(ds.FieldByName("Part").AsString(), texts[2]);
    EXPECT_EQ(ds.FieldByName("Stock").AsInteger(), i1);
    EXPECT_EQ(ds.FieldByName("Min").AsInteger(), i2);
    EXPECT_EQ(ds.FieldByName("Cost").AsFloat(), dbl(at + 8));
    EXPECT_EQ(ds.FieldByName("Price").AsFloat(), dbl(at + 16));
    ds.Next();
  }
  EXPECT_EQ(ds.DatabaseName(), "WidgetInventory");
  ds.Close();
  EXPECT_EQ(RecordsOf(ReadAll(Path())), records) << "rewritten record for record";
}

TEST_F(PDBDataSetTest, OpensRealFixedWidthTables) {
  const std::string corpus = CORVANE_SHARED_DIR "/corpus";
  const std::string name = "nsb-pdbconv-zipcodes.pdb";
  if (!std::filesystem::exists(corpus + "/" + name)) GTEST_SKIP() << "no shared corpus";
  std::filesystem::copy_file(corpus + "/" + name, Path());
  const auto records = RecordsOf(ReadAll(Path()));
  TPDBDataSet ds;
  ds.SetEngine(NSBasic);
  ds.SetDirectory(dir.path());
  ds.SetPDBFilename("t.pdb");
  auto& c = ds.FieldsNSBasic();
  Add(c, "Zip", NSBString);
  Add(c, "State", NSBString);
  Add(c, "City", NSBString);
  Add(c, "Rest", NSBString);
  ds.Open();
  ASSERT_EQ(ds.RecordCount(), static_cast<int>(records.size()));
  ds.First();
  EXPECT_EQ(ds.FieldByName("Zip").AsString(), "22026");
  EXPECT_EQ(ds.FieldByName("State").AsString(), "VA");
  EXPECT_EQ(ds.FieldByName("City").AsString(), "Dumfries         ");
  ds.Close();
  EXPECT_EQ(RecordsOf(ReadAll(Path())), records);
}

// Other programs leave deleted entries (no bytes) anywhere in the list, the
// first one included: the table holds the live records, and writing it back
// keeps them in order.
TEST_F(PDBDataSetTest, DeletedRecordsAreSkippedOnLoading) {
  {
    TPDBDataSet ds;
    Point(ds, PocketStudio);
    Def(ds.FieldsPocketStudio(), "N", PSInt32);
    ds.Open();
    for (int v : {10, 11, 12, 13}) {
      ds.Append();
      ds.FieldByName("N").SetAsInteger(v);
      ds.Post();
    }
    ds.Close();
  }
  {
    // Mark records 0 and 2 deleted, as a handheld's sync leaves them.
    std::fstream f(Path(), std::ios::in | std::ios::out | std::ios::binary);
    for (int rec : {0, 2}) {
      const std::streamoff at = 78 + 8 * rec + 4;
      f.seekg(at);
      const int attributes = f.get();
      f.seekp(at);
      f.put(static_cast<char>(attributes | 0x80));
    }
  }
  TPDBDataSet ds;
  Point(ds, PocketStudio);
  Def(ds.FieldsPocketStudio(), "N", PSInt32);
  ds.Open();
  EXPECT_EQ(Column(ds, "N"), (std::vector<std::string>{"11", "13"}));
  ds.Close();
  ds.Open();
  EXPECT_EQ(Column(ds, "N"), (std::vector<std::string>{"11", "13"}));
  ds.Close();
}

// A row keeps its record's category, flags and unique ID through sorting and
// deleting; a row added in the dataset gets none.
TEST_F(PDBDataSetTest, RowsKeepTheirRecordAttributesWhereverTheyGo) {
  {
    TPDBPocketStudio e;
    Add(e.Fields(), "N", PSInt32);
    WriteThrough(e, dir.path(), 3, [&](int r) {
      e.Fields().GetItem(0).SetAsPSInt32(r);
      e.SetRecCategory(static_cast<std::uint8_t>(r + 1));
      TRecFlags flags;
      if (r == 0) flags.Include(dmRecAttrSecret);
      e.SetRecFlags(flags);
      e.SetRecUniqueID(0x100 + r);
    });
  }
  for (int window : {1, 20}) {
    SCOPED_TRACE(window);
    TPDBDataSet ds;
    Point(ds, PocketStudio);
    Def(ds.FieldsPocketStudio(), "N", PSInt32);
    ds.SetBufferCount(window);
    ds.Open();
    ASSERT_TRUE(ds.Locate("N", Variant(1LL)));
    ds.Delete();
    ds.Append();
    ds.FieldByName("N").SetAsInteger(7);
    ds.Post();
    ds.SortDataSet("N", false, true);  // descending: 7, 2, 0
    ds.Close();

    TPDBPocketStudio e;
    Add(e.Fields(), "N", PSInt32);
    e.SetDirectory(dir.path());
    e.SetPDBFilename("t.pdb");
    e.SetOpenMode(dmModeReadOnly);
    e.OpenDatabase();
    std::vector<std::string> got;
    for (; !e.Eof(); e.Next()) {
      got.push_back(std::to_string(e.Fields().GetItem(0).GetAsPSInt32()) + " c" +
                    std::to_string(e.GetRecCategory()) +
                    (e.GetRecFlags().Contains(dmRecAttrSecret) ? " secret" : "") + " u" +
                    std::to_string(e.GetRecUniqueID()));
    }
    e.CloseDatabase();
    EXPECT_EQ(got, (std::vector<std::string>{"7 c0 u0", "2 c3 u258", "0 c1 secret u256"}));
    if (window == 1) {
      // Back to the three records for the second window.
      TPDBPocketStudio w;
      Add(w.Fields(), "N", PSInt32);
      WriteThrough(w, dir.path(), 3, [&](int r) {
        w.Fields().GetItem(0).SetAsPSInt32(r);
        w.SetRecCategory(static_cast<std::uint8_t>(r + 1));
        TRecFlags flags;
        if (r == 0) flags.Include(dmRecAttrSecret);
        w.SetRecFlags(flags);
        w.SetRecUniqueID(0x100 + r);
      });
    }
  }
}

// The attribute bits the dataset names follow its flags, changed or not; the
// bits it has no flag for stay the file's.
TEST_F(PDBDataSetTest, WritingBackTakesTheNamedFlagsFromTheDataSetAndKeepsTheOthers) {
  {
    TPDBPocketStudio e;
    Add(e.Fields(), "N", PSInt32);
    WriteThrough(e, dir.path(), 2, [&](int r) { e.Fields().GetItem(0).SetAsPSInt32(r); });
  }
  ASSERT_EQ(test::U16At(ReadAll(Path()), 32), 0x0108) << "hidden, backup";
  TPDBDataSet ds;
  Point(ds, PocketStudio);
  Def(ds.FieldsPocketStudio(), "N", PSInt32);
  ds.Open();
  TDBFlags flags;
  flags.Include(dmHdrAttrReadOnly);
  ds.SetDBFlags(flags);
  ds.Close();
  const auto after = ReadAll(Path());
  EXPECT_EQ(test::U16At(after, 32), 0x0102) << "hidden kept, backup dropped, read-only set";
  EXPECT_EQ(test::U16At(after, 34), 3) << "the version";
  EXPECT_EQ(RecordsOf(after).size(), 2u);
}

// Writing back a loaded file keeps its header dates in their bytes: a
// creation date before 1990 is not the moment of writing, and a date stored
// as seconds since 1970 is not moved to the other epoch.
TEST_F(PDBDataSetTest, WritingBackKeepsTheHeaderDatesAsStored) {
  {
    TPDBPocketStudio e;
    Add(e.Fields(), "N", PSInt32);
    WriteThrough(e, dir.path(), 2, [&](int r) { e.Fields().GetItem(0).SetAsPSInt32(r); });
  }
  std::vector<std::uint8_t> file = ReadAll(Path());
  const std::uint8_t early[4] = {0x8B, 0x00, 0x00, 0x00};  // 1977, seconds since 1904
  const std::uint8_t unix_form[4] = {0x4A, 0x00, 0x00, 0x00};  // 2009, seconds since 1970
  std::copy(early, early + 4, file.begin() + 36);
  std::copy(unix_form, unix_form + 4, file.begin() + 40);
  test::WriteAll(Path(), file);
  TPDBDataSet ds;
  Point(ds, PocketStudio);
  Def(ds.FieldsPocketStudio(), "N", PSInt32);
  ds.Open();
  ds.Close();
  const auto after = ReadAll(Path());
  ASSERT_GE(after.size(), 78u);
  EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + 32, after.begin() + 78),
            std::vector<std::uint8_t>(file.begin() + 32, file.begin() + 78));
}

// A dataset kept off the disk: it neither loads the file at its path nor
// replaces it; it loads the bytes it is given and writes the bytes a file
// write would have written.
TEST_F(PDBDataSetTest, InMemoryTheFileAtThePathIsNeitherLoadedNorReplaced) {
  {
    TPDBPocketStudio e;
    Add(e.Fields(), "N", PSInt32);
    WriteThrough(e, dir.path(), 3, [&](int r) { e.Fields().GetItem(0).SetAsPSInt32(r + 10); });
  }
  const std::vector<std::uint8_t> on_disk = ReadAll(Path());
  std::vector<std::uint8_t> image;
  {
    TPDBDataSet ds;
    Point(ds, PocketStudio);
    Def(ds.FieldsPocketStudio(), "N", PSInt32);
    ds.SetWriteToMemory(true);
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 0) << "the file at the path was loaded";
    for (int n : {7, 8}) {
      ds.Append();
      ds.FieldByName("N").SetAsInteger(n);
      ds.Post();
    }
    ds.Close();
    image = ds.TakeWrittenImage();
  }
  EXPECT_EQ(ReadAll(Path()), on_disk);
  ASSERT_GT(image.size(), 78u);
  // The same rows from the bytes, and the same bytes as a file write.
  TPDBDataSet back;
  Point(back, PocketStudio, "other.pdb");
  Def(back.FieldsPocketStudio(), "N", PSInt32);
  back.SetSourceImage(image);
  back.Open();
  EXPECT_EQ(Column(back, "N"), (std::vector<std::string>{"7", "8"}));
  back.SetSourceImage({});
  back.Close();  // writes other.pdb from the rows
  std::vector<std::uint8_t> written = ReadAll(Path("other.pdb"));
  ASSERT_EQ(written.size(), image.size());
  // Dates aside (the moment of writing), the same database.
  std::fill(written.begin() + 36, written.begin() + 48, std::uint8_t{0});
  std::fill(image.begin() + 36, image.begin() + 48, std::uint8_t{0});
  EXPECT_EQ(written, image);

  // A damaged image is refused as a damaged file is, under the path's name.
  std::vector<std::uint8_t> damaged(image.begin(), image.begin() + 90);
  TPDBDataSet bad;
  Point(bad, PocketStudio);
  Def(bad.FieldsPocketStudio(), "N", PSInt32);
  bad.SetSourceImage(damaged);
  EXPECT_THROW(bad.Open(), EPDBException);
  EXPECT_FALSE(bad.Active());
}

}  // namespace
}  // namespace corvane
