// Exporting a full flat-file table (a JFile 5 table of 65,535 rows holding the
// NS Basic workload's values: an integer, a text, a date, a float and a short
// number), run in process, against:
//   TableExportCsv     vs  EngineExportCsv: the engine's CSV export of the same
//                          values from the NS Basic full file (aim: within 2x);
//   TableExportSqlite  vs  SqliteBulkInsert: SQLite's own insert of the same
//                          values, ready-made, as durable as the export: a new
//                          file with the same pragmas, one transaction, fsync,
//                          rename, the folder synced (aim: within 1.5x).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/nsbasic_workload.h"
#include "corvane/apps/jfile.h"
#include "corvane/pdb/base_mgr.h"
#include "tools/cli.h"
#include "tools/commands.h"

namespace corvane {
namespace {

using bench::Dir;

constexpr int kRows = 65535;

struct RowValues {
  std::int64_t id;
  const std::string* name;
  apps::TableDate day;
  double amount;
  std::int64_t count;
};

RowValues Values(int i) {
  const DateParts d = DecodeDate(bench::kDay + i % 1000);
  return {i, &bench::Name(i), {d.year, d.month, d.day}, i * 0.5, static_cast<std::uint16_t>(i)};
}

// The JFile table, written once.
const std::string& TableFile() {
  static const std::string name = [] {
    apps::JFileTable t = apps::JFileTable::New(apps::JFileVersion::k5);
    for (const auto& [n, type] :
         std::vector<std::pair<const char*, std::uint16_t>>{{"id", apps::kJFileInteger},
                                                            {"name", apps::kJFileText},
                                                            {"day", apps::kJFileDate},
                                                            {"amount", apps::kJFileFloat},
                                                            {"count", apps::kJFileInteger}}) {
      apps::JFileField f;
      f.name = n;
      f.type = type;
      t.fields.push_back(f);
    }
    TPDBBaseMgr m;
    bench::Prepare(m, "table.pdb", dmModeWriteOnly);
    m.SetCreatorID("JFi5");
    m.SetDatabaseType("JfD5");
    m.CreateDatabase();
    m.SetAppInfoP(apps::EncodeJFileTable(t));
    apps::JFileRow row;
    row.values.resize(5);
    for (int i = 0; i < kRows; ++i) {
      const RowValues v = Values(i);
      row.values[0] = apps::JFileStoredText(v.id);
      row.values[1] = *v.name;
      row.values[2] = apps::JFileStoredText(v.day);
      row.values[3] = apps::JFileStoredText(v.amount);
      row.values[4] = apps::JFileStoredText(v.count);
      m.WriteRawRecord(apps::EncodeJFileRow(t, row));
    }
    m.CloseDatabase();
    return Dir() + "/table.pdb";
  }();
  return name;
}

[[gnu::noinline]] int RunExport(const std::vector<std::string>& args) {
  std::FILE* null = std::fopen("/dev/null", "w");
  cli::Output out(null);
  const int rc = cli::kExportCommand.run(cli::ParseArgs(args, cli::kExportCommand.options), out);
  out.Finish();
  std::fclose(null);
  return rc;
}

void BM_TableExportCsv(benchmark::State& state) {
  const std::vector<std::string> args = {"--format", "csv", TableFile()};
  for (auto _ : state) {
    if (RunExport(args) != 0) state.SkipWithError("export failed");
  }
}
BENCHMARK(BM_TableExportCsv)->Unit(benchmark::kMillisecond);

void BM_EngineExportCsv(benchmark::State& state) {
  const std::vector<std::string> args = {
      "--engine",         "nsbasic",     "--field",
      "id:NSBInteger",    "--field",     "name:NSBString",
      "--field",          "day:NSBDate", "--field",
      "amount:NSBDouble", "--field",     "count:NSBShort",
      "--format",         "csv",         Dir() + "/" + bench::FullFile<TPDBNSBasic>()};
  for (auto _ : state) {
    if (RunExport(args) != 0) state.SkipWithError("export failed");
  }
}
BENCHMARK(BM_EngineExportCsv)->Unit(benchmark::kMillisecond);

void BM_TableExportSqlite(benchmark::State& state) {
  const std::vector<std::string> args = {"--format", "sqlite", "-o", Dir() + "/table.sqlite",
                                         TableFile()};
  for (auto _ : state) {
    if (RunExport(args) != 0) state.SkipWithError("export failed");
  }
}
BENCHMARK(BM_TableExportSqlite)->Unit(benchmark::kMillisecond);

void SyncPath(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags);
  fsync(fd);
  close(fd);
}

// One insert of the ready-made values; a function of its own so that a
// profiler can count it alone.
[[gnu::noinline]] void BulkInsert(const std::vector<RowValues>& rows,
                                  const std::vector<std::string>& days) {
  const std::string temp = Dir() + "/.bulk.sqlite", target = Dir() + "/bulk.sqlite";
  std::remove(temp.c_str());
  sqlite3* db = nullptr;
  sqlite3_open_v2(temp.c_str(), &db,
                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_exec(db,
               "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN; CREATE TABLE t "
               "(id INTEGER, name TEXT, day TEXT, amount REAL, count INTEGER)",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?)", -1, &st, nullptr);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    sqlite3_bind_int64(st, 1, rows[i].id);
    sqlite3_bind_text(st, 2, rows[i].name->data(), static_cast<int>(rows[i].name->size()),
                      SQLITE_STATIC);
    sqlite3_bind_text(st, 3, days[i].data(), static_cast<int>(days[i].size()), SQLITE_STATIC);
    sqlite3_bind_double(st, 4, rows[i].amount);
    sqlite3_bind_int64(st, 5, rows[i].count);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  SyncPath(temp, O_RDONLY);
  std::rename(temp.c_str(), target.c_str());
  SyncPath(Dir(), O_RDONLY | O_DIRECTORY);
}

void BM_SqliteBulkInsert(benchmark::State& state) {
  // The values ready-made, as SQLite would be handed them.
  std::vector<RowValues> rows;
  std::vector<std::string> days;
  for (int i = 0; i < kRows; ++i) {
    rows.push_back(Values(i));
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", rows.back().day.year, rows.back().day.month,
                  rows.back().day.day);
    days.emplace_back(buf);
  }
  for (auto _ : state) BulkInsert(rows, days);
}
BENCHMARK(BM_SqliteBulkInsert)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
