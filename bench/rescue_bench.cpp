// rescue over a folder of 200 files made from the shared corpus (its Palm
// databases, each copied under several names), in process:
//   Rescue/1, Rescue/2      the whole run on one and on two threads;
//   SingleExports           what it replaces: one export per file in the form
//                           rescue writes (vCard, iCalendar, text, JSON, the
//                           resources folder, the photo; a table as CSV and as
//                           SQLite, which tables.sqlite stands for), each into
//                           a file as a person would redirect it, and the copy
//                           of the original.
// Aims: Rescue/2 at most 0.6x Rescue/1; Rescue/1 at most 1.3x SingleExports.
// Without the corpus (CORVANE_SHARED_DIR) the benchmarks report an error.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "corvane/rescue/detect.h"
#include "corvane/rescue/rescue.h"
#include "tools/cli.h"
#include "tools/commands.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

struct Input {
  std::string path;
  rescue::Kind kind;
};

// The folder of 200 files, made once.
const std::vector<Input>& Inputs() {
  static const std::vector<Input> inputs = [] {
    std::vector<Input> v;
    const fs::path corpus = fs::path(CORVANE_SHARED_DIR) / "corpus";
    if (!fs::is_directory(corpus)) return v;
    std::vector<fs::path> palm;
    for (const auto& e : fs::directory_iterator(corpus)) {
      const std::string name = e.path().filename().string();
      if (name.starts_with("neg-") || !e.is_regular_file()) continue;
      if (name.ends_with(".pdb") || name.ends_with(".prc")) palm.push_back(e.path());
    }
    std::sort(palm.begin(), palm.end());
    const fs::path in = fs::path(bench::Dir()) / "rescue-in";
    fs::create_directories(in);
    for (std::size_t i = 0; i < 200 && !palm.empty(); ++i) {
      const fs::path& src = palm[i % palm.size()];
      const fs::path dst = in / (std::to_string(i) + "-" + src.filename().string());
      fs::copy_file(src, dst, fs::copy_options::overwrite_existing);
      std::vector<std::uint8_t> bytes(fs::file_size(dst));
      std::FILE* f = std::fopen(dst.c_str(), "rb");
      const std::size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
      bytes.resize(n);
      v.push_back({dst.string(), rescue::Detect(bytes).kind});
    }
    return v;
  }();
  return inputs;
}

void Rescue(benchmark::State& state) {
  if (Inputs().empty()) {
    state.SkipWithError("no corpus");
    return;
  }
  const std::string out = bench::Dir() + "/rescue-out";
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(out);
    state.ResumeTiming();
    rescue::Options o;
    o.inputs = {bench::Dir() + "/rescue-in"};
    o.output = out;
    o.jobs = static_cast<unsigned>(state.range(0));
    benchmark::DoNotOptimize(rescue::Run(o));
  }
  state.counters["files"] = static_cast<double>(Inputs().size());
}
BENCHMARK(Rescue)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

int RunCommand(const cli::Command& command, std::vector<std::string> args,
               const std::string& to) {
  std::FILE* file = std::fopen(to.c_str(), "w");
  if (file == nullptr) return 1;
  cli::Output out(file);
  int rc = 1;
  try {
    rc = command.run(cli::ParseArgs(args, command.options), out);
  } catch (const std::exception&) {
    // A file export refuses costs its time all the same.
  }
  out.Finish();
  std::fclose(file);
  return rc;
}

void SingleExports(benchmark::State& state) {
  if (Inputs().empty()) {
    state.SkipWithError("no corpus");
    return;
  }
  const std::string out = bench::Dir() + "/exports-out";
  using rescue::Kind;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(out);
    fs::create_directories(out);
    state.ResumeTiming();
    int i = 0;
    for (const Input& in : Inputs()) {
      const std::string target = out + "/" + std::to_string(i++);
      fs::copy_file(in.path, target + ".original");
      std::vector<std::string> args;
      std::string ext = ".json";
      switch (in.kind) {
        case Kind::kAddress:
        case Kind::kContacts:
          args = {"--format", "vcard", in.path};
          ext = ".vcf";
          break;
        case Kind::kDatebook:
        case Kind::kCalendar:
        case Kind::kToDo:
        case Kind::kTasks:
          args = {"--format", "ical", in.path};
          ext = ".ics";
          break;
        case Kind::kMemo:
        case Kind::kMemos:
        case Kind::kEbook:
          args = {"--format", "text", in.path};
          ext = ".txt";
          break;
        case Kind::kEngine:  // the only engine recognised is AppForge
          args = {"--engine", "appforge", "--format", "csv", in.path};
          ext = ".csv";
          break;
        case Kind::kResource:
          args = {"--resources", "-o", target, in.path};
          break;
        case Kind::kPhoto:
          args = {"--app", "photo", "-o", target + ".jpg", in.path};
          break;
        case Kind::kJFile:
        case Kind::kMobileDB:
          args = {"--format", "csv", in.path};
          ext = ".csv";
          RunCommand(cli::kExportCommand,
                     {"--format", "sqlite", "-o", target + ".sqlite", in.path},
                     target + ".sqlite-messages");
          break;
        default:
          args = {"--app", "raw", in.path};
          break;
      }
      RunCommand(cli::kExportCommand, args, target + ext);
    }
  }
}
BENCHMARK(SingleExports)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace corvane
