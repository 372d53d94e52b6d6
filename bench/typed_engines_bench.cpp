// Split and pack cost of the Java and SQL Driver engines and the generic
// typed-record manager on a full file (65,535 records of five fields: an
// integer, a text, a date or a second integer, a double and a short number;
// the SQL Driver table holds 65,534 rows besides its structure record).
// Records are reported as items; each pack has the core's raw write of the
// same records beside it to compare with.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/bench_support.h"
#include "corvane/engines/data_fields.h"
#include "corvane/engines/java.h"
#include "corvane/engines/sqldriver.h"
#include "corvane/host/datetime.h"

namespace corvane::bench {

// --- each engine with its five fields ------------------------------------------

template <>
struct Workload<TPDBJava> {
  static constexpr const char* kFile = "java.pdb";
  static constexpr int kRecords = 65535;
  static void Define(TPDBJava& e) {
    for (TPDBJavaFieldType t : {JInt, JString, JDate, JLong, JShort})
      e.Fields().Add().SetDataType(t);
  }
  static void Fill(TPDBJava& e, int i) {
    auto& f = e.Fields();
    f.GetItem(0).SetAsInt(i);
    f.GetItem(1).SetAsString(Name(i));
    f.GetItem(2).SetAsDate(kDay + i % 1000);
    f.GetItem(3).SetAsLong(std::int64_t{i} * 1000003);
    f.GetItem(4).SetAsShort(static_cast<std::int16_t>(i));
  }
};

// RowID is the engine's own first field.
template <>
struct Workload<TPDBSQLDriver> {
  static constexpr const char* kFile = "sql.pdb";
  static constexpr int kRecords = 65534;
  static void Define(TPDBSQLDriver& e) {
    for (TPDBSQLDriverFieldType t : {PDChar, PDInt, PDDouble, PDShort})
      e.Fields().Add().SetDataType(t);
    e.Fields().GetItem(1).SetSize(16);
  }
  static void Fill(TPDBSQLDriver& e, int i) {
    auto& f = e.Fields();
    f.GetItem(1).SetAsChar(Name(i));
    f.GetItem(2).SetAsInt(i);
    f.GetItem(3).SetAsDouble(i * 0.5);
    f.GetItem(4).SetAsShort(static_cast<std::int16_t>(i));
  }
};

template <>
struct Workload<TPDBDataFields> {
  static constexpr const char* kFile = "generic.pdb";
  static constexpr int kRecords = 65535;
  static void Define(TPDBDataFields& e) {
    for (TPDBFieldType t : {pdtInteger, pdtString, pdtPSDateTime, pdtDouble, pdtPSInt16}) {
      e.Fields().Add().SetDataType(t);
    }
  }
  static void Fill(TPDBDataFields& e, int i) {
    auto& f = e.Fields();
    f.GetItem(0).SetAsInteger(i);
    f.GetItem(1).SetAsString(Name(i));
    f.GetItem(2).SetAsPSDateTime(kDay + i % 1000);
    f.GetItem(3).SetAsDouble(i * 0.5);
    f.GetItem(4).SetAsPSInt16(static_cast<std::int16_t>(i));
  }
};

}  // namespace corvane::bench

namespace corvane {
namespace {

using bench::BM_CoreWrite;
using bench::BM_Pack;
using bench::BM_Split;

#define CORVANE_ENGINE_BENCHES(Engine)                                     \
  BENCHMARK_TEMPLATE(BM_Split, Engine)->Unit(benchmark::kMillisecond);     \
  BENCHMARK_TEMPLATE(BM_CoreWrite, Engine)->Unit(benchmark::kMillisecond); \
  BENCHMARK_TEMPLATE(BM_Pack, Engine)->Unit(benchmark::kMillisecond)

CORVANE_ENGINE_BENCHES(TPDBJava);
CORVANE_ENGINE_BENCHES(TPDBSQLDriver);
CORVANE_ENGINE_BENCHES(TPDBDataFields);

}  // namespace
}  // namespace corvane
