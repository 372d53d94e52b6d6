// The PDB core on a full file: 65,535 records of about 100 bytes with the
// category table. Each benchmark handles the whole file per iteration; the
// baselines beside them show what the same work costs without the library:
//   OpenAndWalk   / BaselineReadAndWalkList     should stay within 2x,
//   Write         / BaselineWriteBytesDurably   should stay within 1.5x
//                   (both replace the file through a synced temporary file;
//                   Write copies each record in, WriteSharedBlocks shares them),
//   WriteInMemory / BaselineCopyImage           the writer's own cost, no file system.
// BaselineWriteBytes (a plain open, write, close) shows what durability costs;
// BaselineAssembleAndWriteDurably, what building the file from the caller's
// records costs a writer that does nothing else.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "corvane/foundation/byte_order.h"
#include "corvane/host/binary_file.h"
#include "corvane/host/datetime.h"
#include "corvane/pdb/base_mgr.h"

namespace corvane {
namespace {

constexpr int kRecords = 65535;

using bench::Dir;

// The records' bytes, built once: 90 to 110 bytes each.
const std::vector<std::shared_ptr<const Bytes>>& Records() {
  static const auto records = [] {
    std::vector<std::shared_ptr<const Bytes>> r;
    r.reserve(kRecords);
    for (int i = 0; i < kRecords; ++i) {
      std::string s = "record " + std::to_string(i) + " ";
      const std::size_t size = 90 + static_cast<std::size_t>(i % 21);
      while (s.size() < size) s += static_cast<char>('a' + (s.size() + i) % 26);
      r.push_back(std::make_shared<const Bytes>(s.begin(), s.end()));
    }
    return r;
  }();
  return records;
}

// How a benchmark hands the records over: copies of the caller's bytes, or
// the caller's own blocks shared with the manager.
enum class Handover { kCopy, kShare };

// Writes the full file to `name` in Dir(), or into memory when `name` is
// empty; returns the bytes written into memory. With `abort`, the records are
// collected and then dropped unwritten.
Bytes WriteFile(const std::string& name, bool abort = false, Handover how = Handover::kCopy) {
  TPDBBaseMgr db;
  bench::Prepare(db, name.empty() ? "memory.pdb" : name, dmModeWriteOnly);
  if (name.empty()) {
    db.CreateDatabaseInMemory("memory");
  } else {
    db.CreateDatabase();
  }
  db.SetWriteCategory(true);
  db.SetCategory(0, "Unfiled");
  db.SetCategory(1, "Business");
  const auto& records = Records();
  for (int i = 0; i < kRecords; ++i) {
    const auto& record = records[static_cast<std::size_t>(i)];
    db.SetRecCategory(static_cast<std::uint8_t>(i % 2));
    db.SetRecUniqueID(i + 1);
    if (how == Handover::kCopy) {
      db.WriteRawRecord(*record);
    } else {
      db.SetCurrentRecord(record);
      db.WriteRawRecord();
    }
  }
  if (abort) {
    db.AbortDatabase();
  } else {
    db.CloseDatabase();
  }
  return db.TakeWrittenImage();
}

const std::string& FullFile() {
  static const std::string name = [] {
    WriteFile("full.pdb");
    return std::string("full.pdb");
  }();
  return name;
}

void BM_OpenAndWalk(benchmark::State& state) {
  const std::string& name = FullFile();
  for (auto _ : state) {
    TPDBBaseMgr db;
    db.SetDirectory(Dir());
    db.SetPDBFilename(name);
    db.OpenDatabase();
    std::uint64_t sum = 0;
    for (db.First(); !db.Eof(); db.Next()) {
      const auto rec = db.CurrentRecord();
      sum += rec.size() + (rec.empty() ? 0 : rec.back()) + db.GetRecCategory();
    }
    benchmark::DoNotOptimize(sum);
    db.CloseDatabase();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_OpenAndWalk)->Unit(benchmark::kMillisecond);

// The same through GetRecord, which hands out a copy of every record.
void BM_OpenAndGetRecord(benchmark::State& state) {
  const std::string& name = FullFile();
  for (auto _ : state) {
    TCorvane db;
    db.SetDirectory(Dir());
    db.SetPDBFilename(name);
    db.OpenDatabase();
    std::uint64_t sum = 0;
    std::shared_ptr<Bytes> data;
    std::int32_t size = 0, uid = 0;
    TRecFlags flags;
    std::uint8_t category = 0;
    for (std::int32_t i = 0; i < db.RecordCount(); ++i) {
      db.GetRecord(i, data, size, flags, uid, category);
      sum += static_cast<std::uint64_t>(size) + data->back() + category;
    }
    benchmark::DoNotOptimize(sum);
    db.CloseDatabase();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_OpenAndGetRecord)->Unit(benchmark::kMillisecond);

// Baseline: read the file into memory and walk its record list, touching
// each record's bytes as the walk above does.
void BM_BaselineReadAndWalkList(benchmark::State& state) {
  const std::string path = Dir() + "/" + FullFile();
  for (auto _ : state) {
    const std::string image = ReadFileBytes(path);
    const auto* p = reinterpret_cast<const std::uint8_t*>(image.data());
    const std::uint16_t n = LoadU16(p + 76);
    std::uint64_t sum = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint8_t* e = p + 78 + 8 * i;
      const std::uint32_t start = LoadU32(e);
      const std::uint32_t end =
          i + 1 < n ? LoadU32(e + 8) : static_cast<std::uint32_t>(image.size());
      sum += (end - start) + p[end - 1] + (e[4] & 0x0F);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_BaselineReadAndWalkList)->Unit(benchmark::kMillisecond);

void BM_Write(benchmark::State& state) {
  Records();
  for (auto _ : state) WriteFile("written.pdb");
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond);

// The same with each record a block of the caller's that the manager shares
// rather than copies: a reference count per record instead of a copy of ~100
// bytes, and a piece per record for the writer to gather.
void BM_WriteSharedBlocks(benchmark::State& state) {
  Records();
  for (auto _ : state) WriteFile("written.pdb", false, Handover::kShare);
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_WriteSharedBlocks)->Unit(benchmark::kMillisecond);

// Baseline: write the finished file's bytes once.
void BM_BaselineWriteBytes(benchmark::State& state) {
  const std::string image = ReadFileBytes(Dir() + "/" + FullFile());
  const std::string path = Dir() + "/baseline.pdb";
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, image.data(), image.size()) != static_cast<ssize_t>(image.size())) {
      state.SkipWithError("cannot write the baseline file");
    }
    if (fd >= 0) ::close(fd);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_BaselineWriteBytes)->Unit(benchmark::kMillisecond);

// `size` bytes written to `path` in Dir() as safely as the writer writes:
// into a new temporary file beside it, synced, renamed over it, and the
// directory synced.
bool WriteDurably(const std::string& path, const void* data, std::size_t size) {
  std::string temp = Dir() + "/.tmpXXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  bool ok = fd >= 0 && ::write(fd, data, size) == static_cast<ssize_t>(size) && ::fsync(fd) == 0;
  if (fd >= 0) ok = ::close(fd) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
  const int dir = ::open(Dir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return ok;
}

// Baseline: write the finished file's bytes once as safely as the writer
// does: into a new temporary file beside the target, synced, renamed over
// the target, and the directory synced.
void BM_BaselineWriteBytesDurably(benchmark::State& state) {
  const std::string image = ReadFileBytes(Dir() + "/" + FullFile());
  const std::string path = Dir() + "/durable.pdb";
  for (auto _ : state) {
    if (!WriteDurably(path, image.data(), image.size())) {
      state.SkipWithError("cannot write the baseline file");
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_BaselineWriteBytesDurably)->Unit(benchmark::kMillisecond);

// Baseline: what a hand-written writer does with the same records: one new
// block for the file, its header and record list, each record copied in after
// them, and the block written as durably as above. Where BaselineWriteBytesDurably
// starts from the finished file, this one starts where the library does, from
// the caller's records.
void BM_BaselineAssembleAndWriteDurably(benchmark::State& state) {
  const auto& records = Records();
  const std::string path = Dir() + "/assembled.pdb";
  for (auto _ : state) {
    const std::size_t list_end = 78 + 8 * records.size() + 2;
    std::size_t size = list_end;
    for (const auto& r : records) size += r->size();
    const auto image = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    std::memset(image.get(), 0, list_end);
    StoreU16(image.get() + 76, static_cast<std::uint16_t>(records.size()));
    std::uint8_t* entry = image.get() + 78;
    std::size_t at = list_end;
    for (std::size_t i = 0; i < records.size(); ++i, entry += 8) {
      StoreU32(entry, static_cast<std::uint32_t>(at));
      entry[4] = static_cast<std::uint8_t>(i % 2);
      entry[7] = static_cast<std::uint8_t>(i + 1);
      std::memcpy(image.get() + at, records[i]->data(), records[i]->size());
      at += records[i]->size();
    }
    if (!WriteDurably(path, image.get(), size)) state.SkipWithError("cannot write the baseline file");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_BaselineAssembleAndWriteDurably)->Unit(benchmark::kMillisecond);

// The writer into memory: everything it does but the file system's part.
void BM_WriteInMemory(benchmark::State& state) {
  Records();
  for (auto _ : state) {
    const Bytes image = WriteFile("");
    benchmark::DoNotOptimize(image.data());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_WriteInMemory)->Unit(benchmark::kMillisecond);

// The caller's part of the two above: the records handed to the manager one
// by one and released, nothing written. What the writer itself costs is the
// difference.
void BM_CollectRecords(benchmark::State& state) {
  Records();
  for (auto _ : state) WriteFile("", true);
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_CollectRecords)->Unit(benchmark::kMillisecond);

// Baseline: the finished file's bytes copied once into a new block, as the
// writer into memory hands them over.
void BM_BaselineCopyImage(benchmark::State& state) {
  const std::string read = ReadFileBytes(Dir() + "/" + FullFile());
  const Bytes image(read.begin(), read.end());
  for (auto _ : state) {
    const Bytes copy(image.begin(), image.end());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_BaselineCopyImage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
