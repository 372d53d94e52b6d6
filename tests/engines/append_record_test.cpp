// Appending a record through the engine-neutral interface: the record's
// attributes go in with it, and a value that would not pack is put down to
// its field, ahead of any later field's refusal, although the fields are only
// packed one by one once something has failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "corvane/engines/any_engine.h"
#include "corvane/host/exceptions.h"
#include "engine_support.h"

namespace corvane {
namespace {

using test::Rec;

struct AppendRecord : ::testing::Test {
  test::TempDir dir;
  ScopedThreadLanguage english{"en_US"};

  // `file` in a directory of its own name under dir: some engines name the
  // database after its file.
  std::unique_ptr<TAnyEngine> Writer(std::string_view engine, const std::vector<std::string>& types,
                                     const std::string& subdirectory = "") {
    auto e = TAnyEngine::Create(engine);
    EXPECT_NE(e, nullptr) << engine;
    for (std::size_t i = 0; i < types.size(); ++i) {
      const auto t = e->TypeByName(types[i]);
      EXPECT_TRUE(t) << types[i];
      e->AddField(std::string("f").append(std::to_string(i)), *t, std::nullopt);
    }
    e->Manager().SetDBName("Test");
    e->Manager().SetCreatorID("test");
    e->Manager().SetDatabaseType("DATA");
    const std::string at = subdirectory.empty() ? dir.path() : dir.path() + "/" + subdirectory;
    std::filesystem::create_directories(at);
    e->CreateFile(at, "t.pdb");
    return e;
  }
  // The file without the dates and modification number the writer stamps.
  Rec Undated(const std::string& subdirectory) {
    Rec bytes = test::ReadAll(dir.path() + "/" + subdirectory + "/t.pdb");
    EXPECT_GT(bytes.size(), 78u);
    std::fill(bytes.begin() + 36, bytes.begin() + 52, std::uint8_t{0});
    return bytes;
  }
};

TEST_F(AppendRecord, AttributesGoInWithTheRecordAsIfSetOnItsEntry) {
  struct Case {
    std::string engine, type;
  };
  const Case cases[] = {{"appforge", "AFLong"},    {"pocketstudio", "PSInt32"},
                        {"nsbasic", "NSBInteger"}, {"java", "JInt"},
                        {"sqldriver", "PDLong"},   {"generic", "pdtInteger"}};
  struct Attributes {
    std::uint8_t category;
    TRecFlags flags;
    std::uint32_t unique_id;
  };
  TRecFlags all;
  all.Include(dmRecAttrSecret);
  all.Include(dmRecAttrBusy);
  all.Include(dmRecAttrDirty);
  TRecFlags secret;
  secret.Include(dmRecAttrSecret);
  // The last record keeps attributes: the SQL Driver's structure record,
  // written at the close, must not take them.
  const Attributes records[] = {{0, TRecFlags(), 0},
                                {15, all, 0xFFFFFF},
                                {1, secret, 1},
                                {7, TRecFlags(), 0x123456},
                                {15, all, 0xABCDEF}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.engine);
    // The record's attributes given with it, and set on its entry afterwards.
    auto given = Writer(c.engine, {c.type}, "given");
    auto set = Writer(c.engine, {c.type}, "set");
    std::vector<Variant> values(static_cast<std::size_t>(given->FieldCount()));
    for (std::size_t r = 0; r < std::size(records); ++r) {
      values.back() = Variant(static_cast<long long>(r * 1000 + 1));
      const Attributes& a = records[r];
      given->AppendRecord(values, a.category, a.flags, a.unique_id);
      set->AppendRecord(values);
      TPDBBaseMgr& m = set->Manager();
      TRecordEntry* entry = m.GetRecInLinkedList(m.RecordCount() - 1);
      ASSERT_NE(entry, nullptr);
      entry->Category = a.category;
      entry->Flags = a.flags;
      entry->UniqueID = a.unique_id;
    }
    given->Close();
    set->Close();
    EXPECT_EQ(Undated("given"), Undated("set"));
  }
}

TEST_F(AppendRecord, ACategoryAbove15IsRefusedAndNothingIsPosted) {
  auto e = Writer("nsbasic", {"NSBInteger"});
  try {
    e->AppendRecord(std::vector<Variant>{Variant(1LL)}, 16, TRecFlags(), 0);
    ADD_FAILURE() << "accepted";
  } catch (const EPDBException& ex) {
    EXPECT_EQ(ex.ErrorCode(), 1);
  }
  EXPECT_EQ(e->Manager().RecordCount(), 0);
  e->AppendRecord(std::vector<Variant>{Variant(2LL)}, 15, TRecFlags(), 0);
  EXPECT_EQ(e->Manager().RecordCount(), 1);
  e->Abort();
}

// A date-time this far out sets an NSBTime (any finite date does) but gives
// no time of day to pack.
const Variant kUnpackableTime = Variant::FromDateTime(4.0e6);

TEST_F(AppendRecord, TheFirstFieldInOrderThatFailsIsReported) {
  struct Case {
    std::string what;
    std::vector<std::string> types;
    std::vector<Variant> values;
    std::string message;  // the whole message
    bool convert_error;   // EConvertError, else EPDBException
    int code;             // an EPDBException's
  };
  const std::string long_text(40000, 'x');
  const Case cases[] = {
      {"a field that does not pack, before one that does not set",
       {"NSBTime", "NSBShort"},
       {kUnpackableTime, Variant(70000LL)},
       "field 'f0' (NSBTime): Invalid date/time value",
       true,
       0},
      {"a field that does not set, before one that does not pack",
       {"NSBShort", "NSBTime"},
       {Variant(70000LL), kUnpackableTime},
       "field 'f0' (NSBShort): 70000 is outside 0 to 65535",
       true,
       0},
      {"the last field does not pack",
       {"NSBShort", "NSBString", "NSBTime"},
       {Variant(1LL), Variant(std::string("a")), kUnpackableTime},
       "field 'f2' (NSBTime): Invalid date/time value",
       true,
       0},
      {"the second of two that do not pack",
       {"NSBInteger", "NSBTime", "NSBTime"},
       {Variant(1LL), kUnpackableTime, kUnpackableTime},
       "field 'f1' (NSBTime): Invalid date/time value",
       true,
       0},
      {"every field packs, the record is too long",
       {"NSBString", "NSBString"},
       {Variant(long_text), Variant(long_text)},
       "",
       false,
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto e = Writer("nsbasic", c.types);
    try {
      e->AppendRecord(c.values);
      ADD_FAILURE() << "accepted";
    } catch (const EPDBException& ex) {
      EXPECT_FALSE(c.convert_error) << ex.what();
      EXPECT_EQ(ex.ErrorCode(), c.code);
      // Post's own refusal names no field.
      EXPECT_EQ(std::string(ex.what()).find("field '"), std::string::npos) << ex.what();
    } catch (const EConvertError& ex) {
      EXPECT_TRUE(c.convert_error) << ex.what();
      EXPECT_EQ(std::string(ex.what()), c.message);
    }
    // The refused record left nothing behind: the next one is the first.
    std::vector<Variant> good(c.types.size());
    for (std::size_t i = 0; i < c.types.size(); ++i) {
      good[i] = c.types[i] == "NSBString" ? Variant(std::string("ok"))
                : c.types[i] == "NSBTime" ? Variant::FromDateTime(0.5)
                                          : Variant(static_cast<long long>(i + 1));
    }
    e->AppendRecord(good);
    e->Close();
    auto r = TAnyEngine::Create("nsbasic");
    for (std::size_t i = 0; i < c.types.size(); ++i) {
      r->AddField(std::string("f").append(std::to_string(i)), *r->TypeByName(c.types[i]),
                  std::nullopt);
    }
    r->OpenRead(dir.path(), "t.pdb");
    ASSERT_TRUE(r->NextRecord());
    for (std::size_t i = 0; i < c.types.size(); ++i) {
      EXPECT_EQ(r->Value(static_cast<int>(i)), good[i]) << i;
    }
    EXPECT_FALSE(r->NextRecord());
    r->Close();
  }
}

}  // namespace
}  // namespace corvane
