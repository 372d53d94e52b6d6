// Independent databases in independent threads, as a program that rescues a
// folder of backups opens them: every thread writes and reads its own files
// through the record-level manager, every engine and the generic manager,
// fills and walks its own dataset, and turns dates and messages into text in
// both languages, while another thread keeps republishing the process-wide
// format settings. Run under the thread sanitizer, any shared state that is
// not guarded shows up here.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "corvane/dataset/virtual_dataset.h"
#include "corvane/engines/any_engine.h"
#include "corvane/foundation/exception.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/locale.h"
#include "corvane/host/variant.h"
#include "corvane/pdb/base_mgr.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

constexpr int kThreads = 4;
constexpr int kRecords = 40;
constexpr int kRounds = 2;

// The fields each engine gets: a text, an integer, a date and a number.
struct EngineLayout {
  const char* engine;
  const char* text;
  const char* integer;
  const char* date;  // nullptr: the engine stores no dates
  const char* number;
};
constexpr EngineLayout kLayouts[] = {
    {"appforge", "AFString", "AFLong", "AFDate", "AFDouble"},
    {"pocketstudio", "PSString", "PSInt32", "PSDateTime", "PSDouble"},
    {"nsbasic", "NSBString", "NSBInteger", "NSBDate", "NSBDouble"},
    {"java", "JString", "JInt", "JDate", nullptr},
    {"sqldriver", "PDChar", "PDInt", nullptr, "PDDouble"},
    {"generic", "pdtString", "pdtInteger", "pdtDate", "pdtDouble"},
};

// One row as every stage of the test sees it.
struct Row {
  std::string name;
  std::int64_t n = 0;
  TDateTime when = 0;
  double number = 0;
  friend bool operator==(const Row&, const Row&) = default;
};

// What the managers' settings (day/month/year, hours:minutes) make of a date.
std::string ManagersDateText(TDateTime dt) {
  const DateParts d = DecodeDate(dt);
  const TimeParts t = DecodeTime(dt);
  char buf[32];
  if (t.hour == 0 && t.minute == 0 && t.second == 0 && t.msec == 0) {
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", d.day, d.month, d.year);
  } else {
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d", d.day, d.month, d.year, t.hour,
                  t.minute);
  }
  return buf;
}

// A date as its parts give it: what a file keeps in seconds or days comes back
// as the same instant, though not always as the same double.
TDateTime Normalized(TDateTime dt) {
  if (dt == 0) return 0;
  const DateParts d = DecodeDate(dt);
  const TimeParts t = DecodeTime(dt);
  return EncodeDate(d.year, d.month, d.day) + EncodeTime(t.hour, t.minute, t.second, t.msec);
}

// The rows thread `t` writes through one engine; keys out of order, so that
// the dataset does not receive them sorted.
std::vector<Row> RowsFor(int t, const EngineLayout& layout, bool date_only) {
  std::vector<Row> rows;
  for (int i = 0; i < kRecords; ++i) {
    const int key = (i * 17 + t) % kRecords;
    Row r;
    r.name = std::string(layout.engine).substr(0, 4) + "-" + std::to_string(t) + "-" +
             std::to_string(key) + "\xE9";
    r.n = (key - kRecords / 2) * 100003LL + t;
    if (layout.date) {
      r.when = EncodeDate(2001 + t, 1 + key % 12, 1 + key % 28);
      if (!date_only) r.when += EncodeTime(key % 24, (key * 7) % 60, 0, 0);
    }
    if (layout.number) r.number = key * 0.25 - 3;
    rows.push_back(r);
  }
  return rows;
}

// Writes `rows` through the engine, reads them back and returns what it read.
std::vector<Row> ThroughEngine(const std::string& dir, const EngineLayout& layout,
                               const std::vector<Row>& rows) {
  // The writer and the reader are separate managers, as in separate programs.
  const auto defined = [&layout] {
    auto e = TAnyEngine::Create(layout.engine);
    const auto add = [&e](const char* name, const char* type) {
      if (type == nullptr) return;
      const int t = *e->TypeByName(type);
      e->AddField(name, t, e->TypeInfo(t).Sized ? std::optional<std::int32_t>(24) : std::nullopt);
    };
    add("Name", layout.text);
    add("N", layout.integer);
    add("When", layout.date);
    add("Number", layout.number);
    return e;
  };
  auto e = defined();
  const int first = e->ImplicitField().empty() ? 0 : 1;

  const std::string file = std::string(layout.engine) + ".pdb";
  e->Manager().SetDBName(std::string("Rescue ") + layout.engine);
  e->Manager().SetCreatorID("Resc");
  e->Manager().SetDatabaseType("DATA");
  e->CreateFile(dir, file);
  for (const Row& r : rows) {
    std::vector<Variant> values;
    if (first) values.emplace_back();
    values.emplace_back(r.name);
    values.emplace_back(r.n);
    if (layout.date) values.push_back(Variant::FromDateTime(r.when));
    if (layout.number) values.emplace_back(r.number);
    e->AppendRecord(values);
  }
  e->Close();

  std::vector<Row> read;
  e = defined();
  e->OpenRead(dir, file);
  while (e->NextRecord()) {
    int at = first;
    Row r;
    r.name = e->Value(at++).AsString();
    r.n = e->Value(at++).AsInt64();
    if (layout.date) {
      const Variant when = e->Value(at++);
      r.when = Normalized(when.AsDateTime());
      // Through the process-wide settings that every manager made.
      EXPECT_EQ(when.AsString(), ManagersDateText(r.when)) << layout.engine;
    }
    if (layout.number) r.number = e->Value(at++).AsDouble();
    read.push_back(r);
  }
  e->Close();
  return read;
}

// Raw records with categories through TPDBBaseMgr, read back through TCorvane.
void ThroughManagers(const std::string& dir, int t) {
  const TDateTime created = EncodeDate(2020, 1 + t, 2) + EncodeTime(3, 4, 0, 0);
  {
    TPDBBaseMgr out;
    out.SetDirectory(dir);
    out.SetPDBFilename("raw.pdb");
    out.SetOpenMode(dmModeWriteOnly);
    out.SetDBName("Raw " + std::to_string(t));
    out.SetDatabaseType("DATA");
    out.SetCreatorID("Resc");
    out.CreateDatabase();
    out.SetCreationDate(created);
    out.SetWriteCategory(true);
    out.SetCategory(1, "Thread " + std::to_string(t));
    for (int i = 0; i < kRecords; ++i) {
      out.SetCurrentRecord(
          Bytes(static_cast<std::size_t>(i + 1), static_cast<std::uint8_t>(t * 16 + i)));
      out.SetRecCategory(static_cast<std::uint8_t>(i % 2));
      out.WriteRawRecord();
    }
    out.CloseDatabase();
  }
  TCorvane in;
  in.SetDirectory(dir);
  in.SetPDBFilename("raw.pdb");
  in.OpenDatabase();
  EXPECT_EQ(in.DatabaseName(), "Raw " + std::to_string(t));
  EXPECT_EQ(DateTimeToStr(in.CreationDate()), ManagersDateText(created));
  ASSERT_EQ(in.RecordCount(), kRecords);
  EXPECT_EQ(in.GetCategory(1), "Thread " + std::to_string(t));
  for (std::int32_t i = 0; i < kRecords; ++i) {
    std::shared_ptr<Bytes> data;
    std::int32_t size = 0, unique_id = 0;
    TRecFlags flags;
    std::uint8_t category = 0;
    in.GetRecord(i, data, size, flags, unique_id, category);
    ASSERT_TRUE(data);
    EXPECT_EQ(*data, Bytes(static_cast<std::size_t>(i + 1), static_cast<std::uint8_t>(t * 16 + i)));
    EXPECT_EQ(category, i % 2);
  }
  in.CloseDatabase();
}

// The thread's language decides the message; the other language's twin is
// one id further.
void MessagesInBothLanguages(const std::string& dir) {
  for (const char* language : {"pt_BR.UTF-8", "en_US.UTF-8"}) {
    const ScopedThreadLanguage scoped(language);
    const bool pt = language[0] == 'p';
    TCorvane m;
    m.SetDirectory(dir);
    m.SetPDBFilename("missing.pdb");
    try {
      m.OpenDatabase();
      ADD_FAILURE() << "a missing file opened";
    } catch (const EPDBException& e) {
      EXPECT_EQ(e.ErrorCode(), 4);
      EXPECT_EQ(std::string(e.what()), CatalogueText(pt ? 14031 : 14030));
    }
    EXPECT_EQ(GetLocaleString(14060), CatalogueText(pt ? 14061 : 14060));
    // Dates and numbers as text do not depend on the language.
    EXPECT_EQ(DateTimeToStr(EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 0, 0)),
              "31/12/1999 23:59");
    EXPECT_EQ(StrToDateTime("01/02/2003 04:05"), EncodeDate(2003, 2, 1) + EncodeTime(4, 5, 0, 0));
    EXPECT_DOUBLE_EQ(Variant(std::string("1.25")).AsDouble(), 1.25);
  }
}

// The thread's own dataset, filled from what the engines read back, walked
// both ways.
void ThroughDataset(const std::vector<Row>& rows) {
  TPDBVirtualDataSet ds;
  auto& name = ds.NewField<TStringField>("Name", 24);
  auto& n = ds.NewField<TLargeintField>("N");
  auto& when = ds.NewField<TDateTimeField>("When");
  auto& number = ds.NewField<TFloatField>("Number");
  ds.Open();
  for (const Row& r : rows) {
    ds.Append();
    name.SetAsString(r.name);
    n.SetAsLargeInt(r.n);
    if (r.when != 0) when.SetAsDateTime(r.when);
    number.SetAsFloat(r.number);
    ds.Post();
  }
  ds.SortDataSet("Name;N", false, false);

  std::vector<Row> forward, backward;
  const auto shown = [&] {
    Row r;
    r.name = name.AsString();
    r.n = n.AsLargeInt();
    r.when = when.IsNull() ? 0 : Normalized(when.AsDateTime());
    if (!when.IsNull()) {
      EXPECT_EQ(when.AsString(), ManagersDateText(r.when));
    }
    r.number = number.AsFloat();
    return r;
  };
  for (ds.First(); !ds.Eof(); ds.Next()) forward.push_back(shown());
  for (ds.Last(); !ds.Bof(); ds.Prior()) backward.push_back(shown());
  std::reverse(backward.begin(), backward.end());
  EXPECT_EQ(forward, backward);
  EXPECT_TRUE(std::is_permutation(forward.begin(), forward.end(), rows.begin(), rows.end()));
  EXPECT_EQ(ds.RecordCount(), static_cast<int>(rows.size()));
  ds.Close();
}

void RunOneThread(int t) {
  test::TempDir dir;
  // Half the threads speak Portuguese: errors raised inside the engines must
  // not leak one thread's language into another's.
  const ScopedThreadLanguage language(t % 2 ? "pt_BR" : "en_US");
  for (int round = 0; round < kRounds; ++round) {
    ThroughManagers(dir.path(), t);
    std::vector<Row> all;
    for (const EngineLayout& layout : kLayouts) {
      const auto e = TAnyEngine::Create(layout.engine);
      const bool date_only =
          layout.date && e->TypeInfo(*e->TypeByName(layout.date)).Kind == TValueKind::Date;
      const std::vector<Row> rows = RowsFor(t, layout, date_only);
      const std::vector<Row> read = ThroughEngine(dir.path(), layout, rows);
      EXPECT_EQ(read, rows) << layout.engine << " in thread " << t;
      all.insert(all.end(), read.begin(), read.end());
    }
    ThroughDataset(all);
    MessagesInBothLanguages(dir.path());
  }
}

void OneThread(int t) noexcept {
  try {
    RunOneThread(t);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "thread " << t << ": " << e.what();
  }
}

TEST(Threads, IndependentDatabasesInSeparateThreads) {
  const FormatSettings saved = DefaultFormatSettings();
  TCorvane first;  // the managers' settings in force before any thread starts

  // Republishes the settings in another spelling of the same formats (format
  // letters are read in either case), so that the text every thread expects
  // stays the same while the settings change under it.
  std::atomic<bool> done{false};
  std::thread changer([&done] {
    for (int i = 0; !done.load(std::memory_order_relaxed); ++i) {
      ChangeDefaultFormatSettings([i](FormatSettings& fs) {
        fs.ShortDateFormat = i % 2 ? "DD/MM/YYYY" : "dd/mm/yyyy";
        fs.LongTimeFormat = i % 2 ? "HH:NN" : "hh:nn";
      });
      std::this_thread::yield();
    }
  });

  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) workers.emplace_back(OneThread, t);
  for (std::thread& w : workers) w.join();
  done = true;
  changer.join();
  SetDefaultFormatSettings(saved);
}

}  // namespace
}  // namespace corvane
