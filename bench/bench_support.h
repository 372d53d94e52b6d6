// What the benchmark programs share: the scratch directory their files go to,
// the header every written file gets, and the full-file workload of an engine:
// a file of Workload<Engine>::kRecords records, split by walking it and packed
// by writing it again.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvane/host/datetime.h"
#include "corvane/pdb/base_mgr.h"
#include "fuzz/scratch.h"

namespace corvane::bench {

inline const std::string& Dir() {
  static const fuzz::ScratchDir scratch("corvane-bench");
  return scratch.path();
}

// Points `m` at `file` in Dir(); a file to be written gets a fixed header.
inline void Prepare(TCorvane& m, const std::string& file, TOpenMode mode) {
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

// The text value of record i ("customer i"). The texts are made once, so that
// a pack benchmark times the engine (Append, the setters, Post) rather than
// the formatting of its caller's values, as the raw write it is compared with
// gets its records ready-made.
inline const std::string& Name(int i) {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v(65536);
    for (std::size_t n = 0; n < v.size(); ++n) v[n] = "customer " + std::to_string(n);
    return v;
  }();
  return names[static_cast<std::size_t>(i) % names.size()];
}
inline const TDateTime kDay = EncodeDate(2003, 7, 15);

// Each program specialises this for the engines it measures:
//   static constexpr const char* kFile;  the full file's name in Dir()
//   static constexpr int kRecords;       how many records it holds
//   static void Define(Engine&);         adds the fields
//   static void Fill(Engine&, int i);    sets record i's values after Append
template <class Engine>
struct Workload;

// Writes the engine's full file: the pack benchmark's body, and the split
// benchmark's input.
template <class Engine>
void WriteFull(const std::string& file) {
  using W = Workload<Engine>;
  Engine e;
  W::Define(e);
  Prepare(e, file, dmModeWriteOnly);
  e.CreateDatabase();
  for (int i = 0; i < W::kRecords; ++i) {
    e.Append();
    W::Fill(e, i);
    e.Post();
  }
  e.CloseDatabase();
}

template <class Engine>
const std::string& FullFile() {
  static const std::string file = [] {
    WriteFull<Engine>(Workload<Engine>::kFile);
    return std::string(Workload<Engine>::kFile);
  }();
  return file;
}

// Opening and walking the whole file through the engine, which splits every
// record into its fields.
template <class Engine>
void BM_Split(benchmark::State& state) {
  const std::string& file = FullFile<Engine>();
  for (auto _ : state) {
    Engine e;
    Workload<Engine>::Define(e);
    Prepare(e, file, dmModeReadOnly);
    e.OpenDatabase();
    int n = 1;
    for (; !e.Eof(); ++n) e.Next();
    benchmark::DoNotOptimize(n);
    e.CloseDatabase();
  }
  state.SetItemsProcessed(state.iterations() * Workload<Engine>::kRecords);
}

// Append, the setters and Post per record, then the file written.
template <class Engine>
void BM_Pack(benchmark::State& state) {
  for (auto _ : state) WriteFull<Engine>("pack-out.pdb");
  state.SetItemsProcessed(state.iterations() * Workload<Engine>::kRecords);
}

// The baseline of BM_Pack: the core alone writing the engine's own records
// (every record of its full file, taken once) as ready-made blocks.
template <class Engine>
void BM_CoreWrite(benchmark::State& state) {
  std::vector<std::shared_ptr<const Bytes>> records;
  {
    TPDBBaseMgr m;
    Prepare(m, FullFile<Engine>(), dmModeReadOnly);
    m.OpenDatabase();
    for (; !m.Eof(); m.Next()) {
      const auto r = m.CurrentRecord();
      records.push_back(std::make_shared<const Bytes>(r.begin(), r.end()));
    }
    m.CloseDatabase();
  }
  for (auto _ : state) {
    TPDBBaseMgr m;
    Prepare(m, "core-out.pdb", dmModeWriteOnly);
    m.CreateDatabase();
    for (const auto& r : records) {
      m.SetCurrentRecord(r);
      m.WriteRawRecord();
    }
    m.CloseDatabase();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(records.size()));
}

}  // namespace corvane::bench
