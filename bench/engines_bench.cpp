// Split and pack cost per record of each engine on a full file (65,535
// records of five fields: an integer, a text, a date, a double and a short
// number), against the core's walk and raw write of the same file.
//
// Every benchmark handles the whole file per iteration and reports records as
// items, so "items_per_second" and the time divided by 65,535 give the cost
// per record; subtract the core's figure for what the engine adds.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/nsbasic_workload.h"
#include "corvane/engines/appforge.h"
#include "corvane/engines/pocketstudio.h"
#include "corvane/host/datetime.h"

namespace corvane::bench {

constexpr int kRecords = 65535;

// --- the three engines, each with its five fields -----------------------------

template <>
struct Workload<TPDBPocketStudio> {
  static constexpr const char* kFile = "ps.pdb";
  static constexpr int kRecords = bench::kRecords;
  static void Define(TPDBPocketStudio& e) {
    for (TPDBPSFieldType t : {PSInt32, PSString, PSDate, PSDouble, PSUInt16})
      e.Fields().Add().SetDataType(t);
  }
  static void Fill(TPDBPocketStudio& e, int i) {
    auto& f = e.Fields();
    f.GetItem(0).SetAsPSInt32(i);
    f.GetItem(1).SetAsPSString(Name(i));
    f.GetItem(2).SetAsPSDate(kDay + i % 1000);
    f.GetItem(3).SetAsPSDouble(i * 0.5);
    f.GetItem(4).SetAsPSUInt16(static_cast<std::uint16_t>(i));
  }
};

template <>
struct Workload<TPDBAppForge> {
  static constexpr const char* kFile = "af.pdb";
  static constexpr int kRecords = bench::kRecords;
  static void Define(TPDBAppForge& e) {
    for (TPDBAFFieldType t : {AFLong, AFString, AFDate, AFDouble, AFInteger})
      e.Fields().Add().SetDataType(t);
  }
  static void Fill(TPDBAppForge& e, int i) {
    auto& f = e.Fields();
    f.GetItem(0).SetAsAFLong(i);
    f.GetItem(1).SetAsAFString(Name(i));
    f.GetItem(2).SetAsAFDate(kDay + i % 1000);
    f.GetItem(3).SetAsAFDouble(i * 0.5);
    f.GetItem(4).SetAsAFInteger(static_cast<std::int16_t>(i));
  }
};

}  // namespace corvane::bench

namespace corvane {
namespace {

using bench::BM_CoreWrite;
using bench::BM_Pack;
using bench::BM_Split;
using bench::FullFile;
using bench::kRecords;
using bench::Prepare;

// --- benchmarks -----------------------------------------------------------------

// The core alone: open the file and move the cursor over every record.
template <class Engine>
void BM_CoreWalk(benchmark::State& state) {
  const std::string& file = FullFile<Engine>();
  for (auto _ : state) {
    TPDBBaseMgr m;
    Prepare(m, file, dmModeReadOnly);
    m.OpenDatabase();
    int n = 1;
    for (; !m.Eof(); ++n) m.Next();
    benchmark::DoNotOptimize(n);
    m.CloseDatabase();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

#define CORVANE_ENGINE_BENCHES(Engine)                                     \
  BENCHMARK_TEMPLATE(BM_CoreWalk, Engine)->Unit(benchmark::kMillisecond);  \
  BENCHMARK_TEMPLATE(BM_Split, Engine)->Unit(benchmark::kMillisecond);     \
  BENCHMARK_TEMPLATE(BM_CoreWrite, Engine)->Unit(benchmark::kMillisecond); \
  BENCHMARK_TEMPLATE(BM_Pack, Engine)->Unit(benchmark::kMillisecond)

CORVANE_ENGINE_BENCHES(TPDBPocketStudio);
CORVANE_ENGINE_BENCHES(TPDBNSBasic);
CORVANE_ENGINE_BENCHES(TPDBAppForge);

}  // namespace
}  // namespace corvane
