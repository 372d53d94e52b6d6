// Helpers shared by the engine tests: plain PDB files built byte by byte, a
// fixture that writes records through an engine or opens hand-built records,
// and the table-driven check of which field types each accessor accepts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/foundation/exception.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/datetime.h"
#include "corvane/host/locale.h"
#include "corvane/pdb/base_mgr.h"
#include "support/temp_dir.h"

namespace corvane::test {

using Rec = std::vector<std::uint8_t>;

// Seconds since 1904-01-01 of 2001-02-03 04:05:06, the creation date every
// fixture database gets.
inline constexpr std::uint32_t kCreated = 3064017906u;
inline TDateTime CreatedDate() { return EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 0); }

inline std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
         (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}
inline std::uint16_t U16At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

// The file the writer makes for `records` (category 0, no flags, unique ID 0)
// and an application-info block, as plain bytes.
inline Rec PlainPdb(const std::string& name, const std::vector<Rec>& records, const Rec& app_info = {}) {
  const std::uint32_t list_end = 78 + 8 * static_cast<std::uint32_t>(records.size()) + 2;
  ByteWriter w;
  w.Str(name, 32).U16(0).U16(0).U32(kCreated).U32(kCreated).U32(0).U32(0);
  w.U32(app_info.empty() ? 0 : list_end).U32(0).Str("DATA", 4).Str("test", 4).U32(0).U32(0);
  w.U16(static_cast<std::uint16_t>(records.size()));
  std::uint32_t at = list_end + static_cast<std::uint32_t>(app_info.size());
  for (const Rec& r : records) {
    w.U32(at).U32(0);
    at += static_cast<std::uint32_t>(r.size());
  }
  w.U16(0).Raw(app_info);
  for (const Rec& r : records) w.Raw(r);
  return w.bytes;
}

// The records of a file, located through its record list.
inline std::vector<Rec> RecordsOf(const Rec& file) {
  const std::uint16_t n = U16At(file, 76);
  std::vector<Rec> out;
  for (std::uint16_t i = 0; i < n; ++i) {
    const std::uint32_t from = U32At(file, 78 + 8u * i);
    const std::uint32_t to = i + 1 < n ? U32At(file, 78 + 8u * (i + 1)) : static_cast<std::uint32_t>(file.size());
    out.emplace_back(file.begin() + from, file.begin() + to);
  }
  return out;
}

struct EngineFixture : ::testing::Test {
  TempDir dir;
  ScopedThreadLanguage english{"en_US"};

  void PrepareWrite(TCorvane& m, const std::string& file = "out.pdb", const std::string& name = "Test") {
    m.SetDirectory(dir.path());
    m.SetPDBFilename(file);
    m.SetOpenMode(dmModeWriteOnly);
    m.SetDBName(name);
    m.SetCreatorID("test");
    m.SetDatabaseType("DATA");
    m.SetCreationDate(CreatedDate());
  }

  void PrepareRead(TCorvane& m, const std::string& file = "out.pdb") {
    m.SetDirectory(dir.path());
    m.SetPDBFilename(file);
    m.SetOpenMode(dmModeReadOnly);
  }

  Rec Out(const std::string& file = "out.pdb") { return ReadAll(dir.File(file)); }

  // Writes one record through `engine` (whose Fields are defined) with the
  // values `set` gives after Append, and returns its bytes.
  template <class Engine>
  Rec PackOne(Engine& engine, const std::function<void()>& set) {
    PrepareWrite(engine);
    engine.CreateDatabase();
    engine.Append();
    set();
    engine.Post();
    engine.CloseDatabase();
    auto records = RecordsOf(Out());
    EXPECT_EQ(records.size(), 1u);
    return records.empty() ? Rec{} : records[0];
  }

  // Writes a plain file holding `records` and opens it through `engine`
  // (which splits the first record on opening).
  template <class Engine>
  void OpenRecords(Engine& engine, const std::vector<Rec>& records, const Rec& app_info = {}) {
    WriteAll(dir.File("in.pdb"), PlainPdb("In", records, app_info));
    PrepareRead(engine, "in.pdb");
    engine.OpenDatabase();
  }
};

// EngineFixture around one engine of the test's kind, with the field
// shorthands: Add defines a field (a size of 0 keeps the type's own width),
// F is the field at an index.
template <class Engine>
struct EngineFieldsFixture : EngineFixture {
  using Field = typename Engine::Field;
  using FieldType = typename Field::TypeEnum;

  Engine engine;

  Field& Add(FieldType type, const std::string& name = "", std::int32_t size = 0) {
    Field& f = engine.Fields().Add();
    f.SetFieldName(name);
    f.SetDataType(type);
    if (size != 0) {
      if constexpr (requires { f.SetSize(size); }) {
        f.SetSize(size);
      } else {
        ADD_FAILURE() << "this engine's fields take no size";
      }
    }
    return f;
  }
  Field& F(int i) { return engine.Fields().GetItem(i); }
};

// Runs `f` and returns the EPDBException's code and message, or -1 when none was raised.
template <class F>
std::pair<int, std::string> PdbError(F&& f) {
  try {
    f();
  } catch (const EPDBException& e) {
    return {e.ErrorCode(), e.what()};
  }
  return {-1, ""};
}

// One accessor and the field types it accepts; any other type must make it
// raise code 1 with the message of the given number.
template <class Field>
struct AccessorRow {
  const char* name;
  int message;
  std::vector<typename Field::TypeEnum> accepted;
  std::function<void(Field&)> call;
};

// Calls every row's accessor on `f` set to each type of `all` in turn.
template <class Field>
void ExpectAccessorsAcceptExactlyTheirTypes(Field& f, const std::vector<AccessorRow<Field>>& rows,
                                            const std::vector<typename Field::TypeEnum>& all) {
  for (const AccessorRow<Field>& row : rows) {
    for (const auto t : all) {
      SCOPED_TRACE(std::string(row.name) + " on type " + std::to_string(t));
      f.SetDataType(t);
      const bool accepted = std::find(row.accepted.begin(), row.accepted.end(), t) != row.accepted.end();
      const auto [code, message] = PdbError([&] { row.call(f); });
      if (accepted) {
        EXPECT_EQ(code, -1) << message;
      } else {
        EXPECT_EQ(code, 1);
        EXPECT_EQ(message, GetLocaleString(row.message));
      }
    }
  }
}

}  // namespace corvane::test
