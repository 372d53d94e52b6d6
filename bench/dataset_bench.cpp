// The in-memory dataset against an in-memory SQLite table and std::sort, same
// rows, same binary: appending a full table of 65,535 rows of five fields
// (integer, float, 40-byte string, boolean, date-time), walking it from the
// first row to the last reading every field, editing every row, sorting it by
// the string and by the float, and looking for a string that is not there.
// The PDB dataset loads the same rows from a PocketStudio file and writes them
// back; SQLite's insert of them in one transaction is its yardstick.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "corvane/dataset/pdb_dataset.h"
#include "corvane/dataset/virtual_dataset.h"

#ifndef CORVANE_NO_SQLITE
#include <sqlite3.h>
#endif

namespace {

using namespace corvane;

constexpr int kRows = 65535;

struct Rows {
  std::vector<std::string> text;
  Rows() {
    text.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
      std::string s = "customer name and address line " + std::to_string(i);
      s.resize(40, '.');
      text.push_back(std::move(s));
    }
  }
  static double Float(int i) { return i * 0.5 + 0.25; }
  static bool Bool(int i) { return (i & 1) != 0; }
  static double Stamp(int i) { return 45000.0 + i / 1440.0; }
};

const Rows& TheRows() {
  static const Rows rows;
  return rows;
}

struct Table {
  TPDBVirtualDataSet ds;
  TField* id;
  TField* amount;
  TField* name;
  TField* active;
  TField* stamp;
  Table() {
    ds.FieldDefs().Add("Id", ftInteger);
    ds.FieldDefs().Add("Amount", ftFloat);
    ds.FieldDefs().Add("Name", ftString, 40);
    ds.FieldDefs().Add("Active", ftBoolean);
    ds.FieldDefs().Add("Stamp", ftDateTime);
    ds.Open();
    id = &ds.FieldByName("Id");
    amount = &ds.FieldByName("Amount");
    name = &ds.FieldByName("Name");
    active = &ds.FieldByName("Active");
    stamp = &ds.FieldByName("Stamp");
  }
  // Row i holds the values of row order[i] (all rows in order by default).
  void Fill(const std::vector<int>* order = nullptr) {
    const Rows& rows = TheRows();
    for (int i = 0; i < kRows; ++i) {
      const int v = order ? (*order)[static_cast<std::size_t>(i)] : i;
      ds.Append();
      id->SetAsInteger(i);
      amount->SetAsFloat(Rows::Float(v));
      name->SetAsString(rows.text[static_cast<std::size_t>(v)]);
      active->SetAsBoolean(Rows::Bool(v));
      stamp->SetAsDateTime(Rows::Stamp(v));
      ds.Post();
    }
  }
};

// A fixed shuffle of the rows, so sorts start from the same disorder.
const std::vector<int>& Shuffled() {
  static const std::vector<int> order = [] {
    std::vector<int> v(kRows);
    std::iota(v.begin(), v.end(), 0);
    std::shuffle(v.begin(), v.end(), std::mt19937(20240607));
    return v;
  }();
  return order;
}

void BM_DataSetAppend(benchmark::State& state) {
  TheRows();
  for (auto _ : state) {
    auto table = std::make_unique<Table>();
    table->Fill();
    benchmark::DoNotOptimize(table->ds.RecordCount());
    state.PauseTiming();
    table.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_DataSetAppend)->Unit(benchmark::kMillisecond);

void BM_DataSetWalk(benchmark::State& state) {
  Table table;
  table.Fill();
  for (auto _ : state) {
    std::int64_t sum = 0;
    double fsum = 0;
    std::size_t chars = 0;
    for (table.ds.First(); !table.ds.Eof(); table.ds.Next()) {
      sum += table.id->AsInteger();
      fsum += table.amount->AsFloat();
      chars += table.name->AsString().size();
      sum += table.active->AsBoolean();
      fsum += table.stamp->AsDateTime();
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(fsum);
    benchmark::DoNotOptimize(chars);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_DataSetWalk)->Unit(benchmark::kMillisecond);

// Editing every row, the window of record buffers the argument: finding the
// edited row again on post must not grow with its place in the table, so a
// wide window costs about what a narrow one does.
void BM_DataSetEditEvery(benchmark::State& state) {
  Table table;
  table.ds.SetBufferCount(static_cast<int>(state.range(0)));
  table.Fill();
  std::int32_t delta = 0;
  for (auto _ : state) {
    ++delta;
    for (table.ds.First(); !table.ds.Eof(); table.ds.Next()) {
      table.ds.Edit();
      table.id->SetAsInteger(table.id->AsInteger() + delta);
      table.ds.Post();
    }
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_DataSetEditEvery)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);

// The same rows in a PocketStudio file, for the PDB dataset to load.
void DefinePS(TPDBPSFields& fields) {
  const std::pair<const char*, TPDBPSFieldType> defs[] = {{"Id", PSInt32},
                                                          {"Amount", PSDouble},
                                                          {"Name", PSString},
                                                          {"Active", PSBoolean},
                                                          {"Stamp", PSDateTime}};
  for (const auto& [name, type] : defs) {
    TPDBPSField& f = fields.Add();
    f.SetFieldName(name);
    f.SetDataType(type);
  }
}

const std::string& PSFile() {
  static const std::string file = [] {
    const Rows& rows = TheRows();
    TPDBPocketStudio e;
    DefinePS(e.Fields());
    bench::Prepare(e, "dataset-ps.pdb", dmModeWriteOnly);
    e.CreateDatabase();
    for (int i = 0; i < kRows; ++i) {
      e.Append();
      e.Fields().GetItem(0).SetAsPSInt32(i);
      e.Fields().GetItem(1).SetAsPSDouble(Rows::Float(i));
      e.Fields().GetItem(2).SetAsPSString(rows.text[static_cast<std::size_t>(i)]);
      e.Fields().GetItem(3).SetAsPSBoolean(Rows::Bool(i));
      e.Fields().GetItem(4).SetAsPSDateTime(Rows::Stamp(i));
      e.Post();
    }
    e.CloseDatabase();
    return std::string("dataset-ps.pdb");
  }();
  return file;
}

void PointAt(TPDBDataSet& ds, const std::string& file) {
  ds.SetEngine(PocketStudio);
  ds.SetDirectory(bench::Dir());
  ds.SetPDBFilename(file);
  DefinePS(ds.FieldsPocketStudio());
}

// Opening loads every record into a row.
void BM_PDBDataSetLoad(benchmark::State& state) {
  const std::string& file = PSFile();
  for (auto _ : state) {
    auto ds = std::make_unique<TPDBDataSet>();
    PointAt(*ds, file);
    ds->Open();
    benchmark::DoNotOptimize(ds->RecordCount());
    state.PauseTiming();
    ds->Close();
    ds.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_PDBDataSetLoad)->Unit(benchmark::kMillisecond);

// Loading and writing back, the whole round of an application's use.
void BM_PDBDataSetLoadAndWrite(benchmark::State& state) {
  const std::string& file = PSFile();
  for (auto _ : state) {
    TPDBDataSet ds;
    PointAt(ds, file);
    ds.Open();
    ds.Close();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_PDBDataSetLoadAndWrite)->Unit(benchmark::kMillisecond);

// Sorting the shuffled table by a string or a float field; between runs the
// rows go back to their shuffled order (sorted by Id, not timed).
void SortDataSet(benchmark::State& state, const char* field) {
  Table table;
  table.Fill(&Shuffled());
  for (auto _ : state) {
    state.PauseTiming();
    table.ds.SortDataSet("Id");
    table.ds.First();
    state.ResumeTiming();
    table.ds.SortDataSet(field);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
void BM_DataSetSortString(benchmark::State& state) {
  SortDataSet(state, "Name");
}
void BM_DataSetSortFloat(benchmark::State& state) {
  SortDataSet(state, "Amount");
}
BENCHMARK(BM_DataSetSortString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DataSetSortFloat)->Unit(benchmark::kMillisecond);

// std::sort of the same values in the same disorder.
template <class T, class Get>
void StdSort(benchmark::State& state, Get get) {
  std::vector<T> values;
  for (int v : Shuffled()) values.push_back(get(v));
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<T> work = values;
    state.ResumeTiming();
    std::sort(work.begin(), work.end());
    benchmark::DoNotOptimize(work.data());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
void BM_StdSortString(benchmark::State& state) {
  StdSort<std::string>(state, [](int v) { return TheRows().text[static_cast<std::size_t>(v)]; });
}
void BM_StdSortFloat(benchmark::State& state) {
  StdSort<double>(state, [](int v) { return Rows::Float(v); });
}
BENCHMARK(BM_StdSortString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSortFloat)->Unit(benchmark::kMillisecond);

// Locate of a text no row holds: every row is compared, the cursor stays.
void BM_DataSetLocateMissing(benchmark::State& state) {
  Table table;
  table.Fill(&Shuffled());
  table.ds.First();
  const Variant key("customer name and address line 99999....");
  for (auto _ : state) benchmark::DoNotOptimize(table.ds.Locate("Name", key));
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_DataSetLocateMissing)->Unit(benchmark::kMillisecond);

// Locate of a number no row holds, read in place from every row, beside two
// plain loops that look for it: over the same values in a vector, and over
// the dataset's own rows (the slot's null flag, then its double).
void BM_DataSetLocateMissingFloat(benchmark::State& state) {
  Table table;
  table.Fill(&Shuffled());
  table.ds.First();
  const Variant key(0.3);
  for (auto _ : state) benchmark::DoNotOptimize(table.ds.Locate("Amount", key));
  state.SetItemsProcessed(state.iterations() * kRows);
}
void BM_DataSetLocateMissingInteger(benchmark::State& state) {
  Table table;
  table.Fill(&Shuffled());
  table.ds.First();
  const Variant key(static_cast<long long>(kRows) + 7);
  for (auto _ : state) benchmark::DoNotOptimize(table.ds.Locate("Id", key));
  state.SetItemsProcessed(state.iterations() * kRows);
}
void BM_PlainLoopMissingFloat(benchmark::State& state) {
  std::vector<double> values;
  for (int v : Shuffled()) values.push_back(Rows::Float(v));
  double key = 0.3;
  for (auto _ : state) {
    benchmark::DoNotOptimize(key);
    int found = -1;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (values[i] == key) {
        found = static_cast<int>(i);
        break;
      }
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
void BM_PlainLoopMissingFloatInRows(benchmark::State& state) {
  Table table;
  table.Fill(&Shuffled());
  const int offset = table.ds.OffsetTable()[1];  // Amount's slot
  double key = 0.3;
  for (auto _ : state) {
    benchmark::DoNotOptimize(key);
    int found = -1;
    for (int i = 0; i < table.ds.MemoryRecordCount(); ++i) {
      const std::uint8_t* slot = table.ds.GetMemoryRecord(i).Data().data() + offset;
      double v;
      std::memcpy(&v, slot + 1, sizeof v);
      if (slot[0] != 0 && v == key) {
        found = i;
        break;
      }
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_DataSetLocateMissingFloat)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DataSetLocateMissingInteger)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainLoopMissingFloat)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainLoopMissingFloatInRows)->Unit(benchmark::kMicrosecond);

#ifndef CORVANE_NO_SQLITE

void Check(int rc, int want, sqlite3* db, benchmark::State& state) {
  if (rc != want) state.SkipWithError(sqlite3_errmsg(db));
}

sqlite3* OpenSQLite(benchmark::State& state) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(":memory:", &db), SQLITE_OK, db, state);
  Check(sqlite3_exec(
            db, "CREATE TABLE t (id INTEGER, amount REAL, name TEXT, active INTEGER, stamp REAL)",
            nullptr, nullptr, nullptr),
        SQLITE_OK, db, state);
  return db;
}

void FillSQLite(sqlite3* db, benchmark::State& state, const std::vector<int>* order = nullptr) {
  const Rows& rows = TheRows();
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK, db, state);
  Check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?)", -1, &insert, nullptr),
        SQLITE_OK, db, state);
  for (int i = 0; i < kRows; ++i) {
    const int v = order ? (*order)[static_cast<std::size_t>(i)] : i;
    const std::string& s = rows.text[static_cast<std::size_t>(v)];
    sqlite3_bind_int(insert, 1, i);
    sqlite3_bind_double(insert, 2, Rows::Float(v));
    sqlite3_bind_text(insert, 3, s.data(), static_cast<int>(s.size()), SQLITE_STATIC);
    sqlite3_bind_int(insert, 4, Rows::Bool(v));
    sqlite3_bind_double(insert, 5, Rows::Stamp(v));
    Check(sqlite3_step(insert), SQLITE_DONE, db, state);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK, db, state);
}

void BM_SQLiteInsert(benchmark::State& state) {
  TheRows();
  for (auto _ : state) {
    sqlite3* db = OpenSQLite(state);
    FillSQLite(db, state);
    state.PauseTiming();
    sqlite3_close(db);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SQLiteInsert)->Unit(benchmark::kMillisecond);

void BM_SQLiteRead(benchmark::State& state) {
  sqlite3* db = OpenSQLite(state);
  FillSQLite(db, state);
  for (auto _ : state) {
    sqlite3_stmt* select = nullptr;
    Check(sqlite3_prepare_v2(db, "SELECT id, amount, name, active, stamp FROM t", -1, &select,
                             nullptr),
          SQLITE_OK, db, state);
    std::int64_t sum = 0;
    double fsum = 0;
    std::size_t chars = 0;
    while (sqlite3_step(select) == SQLITE_ROW) {
      sum += sqlite3_column_int(select, 0);
      fsum += sqlite3_column_double(select, 1);
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select, 2));
      chars += std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(select, 2))).size();
      sum += sqlite3_column_int(select, 3) != 0;
      fsum += sqlite3_column_double(select, 4);
    }
    sqlite3_finalize(select);
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(fsum);
    benchmark::DoNotOptimize(chars);
  }
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_SQLiteRead)->Unit(benchmark::kMillisecond);

// Runs a query over the shuffled table and steps through every result row.
void SQLiteQuery(benchmark::State& state, const char* sql, const char* text = nullptr) {
  sqlite3* db = OpenSQLite(state);
  FillSQLite(db, state, &Shuffled());
  sqlite3_stmt* query = nullptr;
  Check(sqlite3_prepare_v2(db, sql, -1, &query, nullptr), SQLITE_OK, db, state);
  for (auto _ : state) {
    if (text) sqlite3_bind_text(query, 1, text, -1, SQLITE_STATIC);
    std::int64_t rows = 0;
    while (sqlite3_step(query) == SQLITE_ROW) ++rows;
    sqlite3_reset(query);
    benchmark::DoNotOptimize(rows);
  }
  sqlite3_finalize(query);
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}
void BM_SQLiteOrderByString(benchmark::State& state) {
  SQLiteQuery(state, "SELECT id FROM t ORDER BY name");
}
void BM_SQLiteOrderByFloat(benchmark::State& state) {
  SQLiteQuery(state, "SELECT id FROM t ORDER BY amount");
}
void BM_SQLiteFindMissing(benchmark::State& state) {
  SQLiteQuery(state, "SELECT id FROM t WHERE name = ?1",
              "customer name and address line 99999....");
}
BENCHMARK(BM_SQLiteOrderByString)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SQLiteOrderByFloat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SQLiteFindMissing)->Unit(benchmark::kMillisecond);

#endif

}  // namespace
