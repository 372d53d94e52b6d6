// Split and pack cost of the Java and SQL Driver engines and the generic
// typed-record manager on a full file (65,535 records of five fields: an
// integer, a text, a date or a second integer, a double and a short number;
// the SQL Driver table holds 65,534 rows besides its structure record).
// Records are reported as items; engines_bench.cpp gives the core's walk and
// raw write of a file of the same size to compare with.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <type_traits>
#include <vector>

#include <benchmark/benchmark.h>

#include "corvane/engines/data_fields.h"
#include "corvane/engines/java.h"
#include "corvane/engines/sqldriver.h"
#include "corvane/host/datetime.h"

namespace corvane {
namespace {

struct Scratch {
  std::string dir;
  Scratch() {
    std::error_code ec;
    const std::string base =
        std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path().string();
    std::string tmpl = base + "/corvane-bench-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr) std::abort();
    dir = buf.data();
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

const std::string& Dir() {
  static const Scratch scratch;
  return scratch.dir;
}

void Prepare(TCorvane& m, const std::string& file, TOpenMode mode) {
  m.SetDirectory(Dir());
  m.SetPDBFilename(file);
  m.SetOpenMode(mode);
  if (mode == dmModeWriteOnly) {
    m.SetDBName("Bench");
    m.SetCreatorID("test");
    m.SetDatabaseType("DATA");
    m.SetCreationDate(EncodeDate(2001, 2, 3));
  }
}

std::string Name(int i) { return "customer " + std::to_string(i); }
const TDateTime kDay = EncodeDate(2003, 7, 15);

// --- each engine with its five fields ------------------------------------------

void Define(TPDBJava& e) {
  for (TPDBJavaFieldType t : {JInt, JString, JDate, JLong, JShort}) e.Fields().Add().SetDataType(t);
}
void Fill(TPDBJava& e, int i) {
  auto& f = e.Fields();
  f.GetItem(0).SetAsInt(i);
  f.GetItem(1).SetAsString(Name(i));
  f.GetItem(2).SetAsDate(kDay + i % 1000);
  f.GetItem(3).SetAsLong(std::int64_t{i} * 1000003);
  f.GetItem(4).SetAsShort(static_cast<std::int16_t>(i));
}

// RowID is the engine's own first field.
void Define(TPDBSQLDriver& e) {
  for (TPDBSQLDriverFieldType t : {PDChar, PDInt, PDDouble, PDShort}) e.Fields().Add().SetDataType(t);
  e.Fields().GetItem(1).SetSize(16);
}
void Fill(TPDBSQLDriver& e, int i) {
  auto& f = e.Fields();
  f.GetItem(1).SetAsChar(Name(i));
  f.GetItem(2).SetAsInt(i);
  f.GetItem(3).SetAsDouble(i * 0.5);
  f.GetItem(4).SetAsShort(static_cast<std::int16_t>(i));
}

void Define(TPDBDataFields& e) {
  for (TPDBFieldType t : {pdtInteger, pdtString, pdtPSDateTime, pdtDouble, pdtPSInt16}) {
    e.Fields().Add().SetDataType(t);
  }
}
void Fill(TPDBDataFields& e, int i) {
  auto& f = e.Fields();
  f.GetItem(0).SetAsInteger(i);
  f.GetItem(1).SetAsString(Name(i));
  f.GetItem(2).SetAsPSDateTime(kDay + i % 1000);
  f.GetItem(3).SetAsDouble(i * 0.5);
  f.GetItem(4).SetAsPSInt16(static_cast<std::int16_t>(i));
}

template <class Engine>
constexpr int RecordsOf() {
  return std::is_same_v<Engine, TPDBSQLDriver> ? 65534 : 65535;
}

template <class Engine>
std::string FileOf() {
  if constexpr (std::is_same_v<Engine, TPDBJava>) return "java.pdb";
  else if constexpr (std::is_same_v<Engine, TPDBSQLDriver>) return "sql.pdb";
  else return "generic.pdb";
}

template <class Engine>
void WriteFull(const std::string& file) {
  Engine e;
  Define(e);
  Prepare(e, file, dmModeWriteOnly);
  e.CreateDatabase();
  for (int i = 0; i < RecordsOf<Engine>(); ++i) {
    e.Append();
    Fill(e, i);
    e.Post();
  }
  e.CloseDatabase();
}

template <class Engine>
const std::string& FullFile() {
  static const std::string file = [] {
    WriteFull<Engine>(FileOf<Engine>());
    return FileOf<Engine>();
  }();
  return file;
}

// Opening and walking the whole file, every record split into its fields.
template <class Engine>
void BM_Split(benchmark::State& state) {
  const std::string& file = FullFile<Engine>();
  for (auto _ : state) {
    Engine e;
    Define(e);
    Prepare(e, file, dmModeReadOnly);
    e.OpenDatabase();
    int n = 1;
    for (; !e.Eof(); ++n) e.Next();
    benchmark::DoNotOptimize(n);
    e.CloseDatabase();
  }
  state.SetItemsProcessed(state.iterations() * RecordsOf<Engine>());
}

// Append, the setters and Post per record, then the file written.
template <class Engine>
void BM_Pack(benchmark::State& state) {
  for (auto _ : state) WriteFull<Engine>("pack-out.pdb");
  state.SetItemsProcessed(state.iterations() * RecordsOf<Engine>());
}

BENCHMARK_TEMPLATE(BM_Split, TPDBJava)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Pack, TPDBJava)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Split, TPDBSQLDriver)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Pack, TPDBSQLDriver)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Split, TPDBDataFields)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Pack, TPDBDataFields)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
