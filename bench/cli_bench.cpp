// The command's export and import on a full NS Basic file (65,535 records of
// an integer, a text, a date, a double and a short number), run in process
// with the output going to /dev/null, against baselines that do the same work
// by hand:
//   ExportCsv / ExportJson  vs  BaselineDecodeAndPrintCsv / ...Json: read the
//     file, walk its record list, decode each field and print it with
//     std::to_chars into one buffer;
//   ImportCsv  vs  BaselineParseAndRawWrite: split the same CSV text, convert
//     the cells and raw-write the records through the core.
// Aims: export within 2x, import within 3x of its baseline.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "bench/nsbasic_workload.h"
#include "corvane/engines/any_engine.h"
#include "corvane/foundation/byte_order.h"
#include "corvane/host/binary_file.h"
#include "tools/cli.h"
#include "tools/commands.h"

namespace corvane {
namespace {

using bench::Dir;
using bench::FullFile;

constexpr std::size_t kFlushAt = 1 << 16;

const std::vector<std::string>& FieldArgs() {
  static const std::vector<std::string> args = {
      "--engine", "nsbasic",     "--field", "id:NSBInteger",    "--field", "name:NSBString",
      "--field",  "day:NSBDate", "--field", "amount:NSBDouble", "--field", "count:NSBShort"};
  return args;
}

// Runs a command of the program as main() would, its output to /dev/null.
int RunCommand(const cli::Command& command, std::vector<std::string> args) {
  std::FILE* null = std::fopen("/dev/null", "w");
  cli::Output out(null);
  const int rc = command.run(cli::ParseArgs(args, command.options), out);
  out.Finish();
  std::fclose(null);
  return rc;
}

std::vector<std::string> ExportArgs(const char* format) {
  std::vector<std::string> args = FieldArgs();
  args.insert(args.end(), {"--format", format, Dir() + "/" + FullFile<TPDBNSBasic>()});
  return args;
}

// The CSV that `export --format csv` prints for the full file: the import's input.
const std::string& CsvFile() {
  static const std::string path = [] {
    const std::string p = Dir() + "/nsb.csv";
    std::FILE* f = std::fopen(p.c_str(), "w");
    cli::Output out(f);
    std::vector<std::string> args = ExportArgs("csv");
    cli::kExportCommand.run(cli::ParseArgs(args, cli::kExportCommand.options), out);
    out.Finish();
    std::fclose(f);
    return p;
  }();
  return path;
}

void BM_ExportCsv(benchmark::State& state) {
  const std::vector<std::string> args = ExportArgs("csv");
  for (auto _ : state) {
    if (RunCommand(cli::kExportCommand, args) != 0) state.SkipWithError("export failed");
  }
  state.SetItemsProcessed(state.iterations() * 65535);
}
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond);

void BM_ExportJson(benchmark::State& state) {
  const std::vector<std::string> args = ExportArgs("json");
  for (auto _ : state) {
    if (RunCommand(cli::kExportCommand, args) != 0) state.SkipWithError("export failed");
  }
  state.SetItemsProcessed(state.iterations() * 65535);
}
BENCHMARK(BM_ExportJson)->Unit(benchmark::kMillisecond);

// What export spends before it prints anything: the engine's walk over the
// file, each record split, measured and read as views (no output).
void BM_WalkAndViewRecords(benchmark::State& state) {
  for (auto _ : state) {
    std::unique_ptr<TAnyEngine> e = TAnyEngine::Create("nsbasic");
    for (const char* f :
         {"id:NSBInteger", "name:NSBString", "day:NSBDate", "amount:NSBDouble", "count:NSBShort"}) {
      const std::string_view definition(f);
      const std::size_t colon = definition.find(':');
      e->AddField(std::string(definition.substr(0, colon)),
                  *e->TypeByName(definition.substr(colon + 1)), {});
    }
    e->OpenReadFile(Dir() + "/" + FullFile<TPDBNSBasic>());
    std::vector<TAnyValueView> views(5);
    std::vector<std::string> scratch(5);
    std::size_t unused = 0;
    while (e->NextRecord()) {
      unused += e->UnusedBytes();
      e->RecordView(views, scratch);
      benchmark::DoNotOptimize(views.data());
    }
    benchmark::DoNotOptimize(unused);
    e->Close();
  }
  state.SetItemsProcessed(state.iterations() * 65535);
}
BENCHMARK(BM_WalkAndViewRecords)->Unit(benchmark::kMillisecond);

// --- the export baselines ---------------------------------------------------------

template <class T>
void AppendNumber(std::string& out, T v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void AppendTwo(std::string& out, int v) {
  out += static_cast<char>('0' + v / 10);
  out += static_cast<char>('0' + v % 10);
}

// The decimal date number (year - 1900) * 10000 + month * 100 + day as YYYY-MM-DD.
void AppendDate(std::string& out, double number) {
  const auto n = static_cast<std::int32_t>(number);
  AppendNumber(out, n / 10000 + 1900);
  out += '-';
  AppendTwo(out, n / 100 % 100);
  out += '-';
  AppendTwo(out, n % 100);
}

// The text of a record at `p`, up to its zero byte; Windows-1252 bytes above
// 0x7F would need converting, which the names here do not have.
std::string_view TextAt(const std::uint8_t* p, const std::uint8_t* end) {
  const auto* zero =
      static_cast<const std::uint8_t*>(std::memchr(p, 0, static_cast<std::size_t>(end - p)));
  return std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(zero - p));
}

// A record-list entry's attribute byte (flags and category) and unique ID.
struct Entry {
  std::uint8_t attributes;
  std::uint32_t unique_id;
};

template <class PrintRecord>
void DecodeAndPrint(benchmark::State& state, std::string_view head, std::string_view tail,
                    PrintRecord&& print) {
  const std::string path = Dir() + "/" + FullFile<TPDBNSBasic>();
  std::FILE* null = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    const std::string image = ReadFileBytes(path);
    const auto* p = reinterpret_cast<const std::uint8_t*>(image.data());
    const std::uint16_t n = LoadU16(p + 76);
    std::string out(head);
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint8_t* e = p + 78 + 8 * i;
      const std::uint32_t start = LoadU32(e);
      const std::uint32_t end =
          i + 1 < n ? LoadU32(e + 8) : static_cast<std::uint32_t>(image.size());
      const std::uint8_t* r = p + start;
      const std::string_view name = TextAt(r + 4, p + end);
      const std::uint8_t* after = r + 4 + name.size() + 1;
      const Entry entry{e[4], LoadU32(e + 4) & 0xFFFFFF};
      print(out, static_cast<std::int32_t>(LoadU32(r)), name, LoadDouble(after),
            LoadDouble(after + 8), LoadU16(after + 16), entry);
      if (out.size() >= kFlushAt) {
        std::fwrite(out.data(), 1, out.size(), null);
        out.clear();
      }
    }
    out += tail;
    std::fwrite(out.data(), 1, out.size(), null);
    std::fflush(null);
  }
  std::fclose(null);
  state.SetItemsProcessed(state.iterations() * 65535);
}

void BM_BaselineDecodeAndPrintCsv(benchmark::State& state) {
  DecodeAndPrint(state, "id,name,day,amount,count\r\n", "",
                 [](std::string& out, std::int32_t id, std::string_view name, double day,
                    double amount, std::uint16_t count, const Entry&) {
                   AppendNumber(out, id);
                   out += ',';
                   bool quote = false;
                   for (const char c : name)
                     quote |= c == ',' || c == '"' || c == '\r' || c == '\n';
                   if (quote) {
                     out += '"';
                     for (const char c : name) out.append(c == '"' ? 2 : 1, c);
                     out += '"';
                   } else {
                     out += name;
                   }
                   out += ',';
                   AppendDate(out, day);
                   out += ',';
                   AppendNumber(out, amount);
                   out += ',';
                   AppendNumber(out, count);
                   out += "\r\n";
                 });
}
BENCHMARK(BM_BaselineDecodeAndPrintCsv)->Unit(benchmark::kMillisecond);

// One record's fields as the JSON baselines print them.
void AppendJsonFields(std::string& out, std::int32_t id, std::string_view name, double day,
                      double amount, std::uint16_t count) {
  out += "    {\"id\": ";
  AppendNumber(out, id);
  out += ", \"name\": \"";
  for (char c : name) {
    if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20) out += '\\';
    out += c;
  }
  out += "\", \"day\": \"";
  AppendDate(out, day);
  out += "\", \"amount\": ";
  AppendNumber(out, amount);
  out += ", \"count\": ";
  AppendNumber(out, count);
}

void BM_BaselineDecodeAndPrintJson(benchmark::State& state) {
  DecodeAndPrint(state, "{\n  \"records\": [\n", "\n  ]\n}\n",
                 [](std::string& out, std::int32_t id, std::string_view name, double day,
                    double amount, std::uint16_t count, const Entry&) {
                   AppendJsonFields(out, id, name, day, amount, count);
                   out += "},\n";
                 });
}
BENCHMARK(BM_BaselineDecodeAndPrintJson)->Unit(benchmark::kMillisecond);

// The same with what export prints beside the fields: each record's
// category, flags and unique ID from its record-list entry.
void BM_BaselineDecodeAndPrintJsonWithAttributes(benchmark::State& state) {
  DecodeAndPrint(
      state, "{\n  \"records\": [\n", "\n  ]\n}\n",
      [](std::string& out, std::int32_t id, std::string_view name, double day, double amount,
         std::uint16_t count, const Entry& entry) {
        AppendJsonFields(out, id, name, day, amount, count);
        out += ", \"category\": ";
        AppendNumber(out, entry.attributes & 0x0F);
        out += ", \"flags\": [";
        constexpr std::pair<std::uint8_t, std::string_view> kFlags[] = {
            {0x10, "\"secret\""}, {0x20, "\"busy\""}, {0x40, "\"dirty\""}, {0x80, "\"delete\""}};
        bool first = true;
        for (const auto& [bit, flag] : kFlags) {
          if ((entry.attributes & bit) == 0) continue;
          if (!first) out += ", ";
          first = false;
          out += flag;
        }
        out += "], \"uniqueID\": ";
        AppendNumber(out, entry.unique_id);
        out += "},\n";
      });
}
BENCHMARK(BM_BaselineDecodeAndPrintJsonWithAttributes)->Unit(benchmark::kMillisecond);

// --- import -------------------------------------------------------------------------

void BM_ImportCsv(benchmark::State& state) {
  std::vector<std::string> args = FieldArgs();
  args.insert(args.end(), {"--name", "Bench", "--creator", "test", "--type", "DATA", "--input",
                           CsvFile(), "-o", Dir() + "/imported.pdb"});
  for (auto _ : state) {
    if (RunCommand(cli::kImportCommand, args) != 0) state.SkipWithError("import failed");
  }
  state.SetItemsProcessed(state.iterations() * 65535);
}
BENCHMARK(BM_ImportCsv)->Unit(benchmark::kMillisecond);

// One CSV cell from `at` to the next comma or line end; `at` moves past it.
std::string_view Cell(std::string_view text, std::size_t& at) {
  const std::size_t from = at;
  while (at < text.size() && text[at] != ',' && text[at] != '\r' && text[at] != '\n') ++at;
  const std::string_view cell = text.substr(from, at - from);
  if (at < text.size() && text[at] == ',') {
    ++at;
  } else {
    if (at < text.size() && text[at] == '\r') ++at;
    if (at < text.size() && text[at] == '\n') ++at;
  }
  return cell;
}

template <class T>
T Parse(std::string_view cell) {
  T v{};
  std::from_chars(cell.data(), cell.data() + cell.size(), v);
  return v;
}

void BM_BaselineParseAndRawWrite(benchmark::State& state) {
  const std::string path = CsvFile();
  for (auto _ : state) {
    const std::string text = ReadFileBytes(path);
    std::size_t at = text.find('\n') + 1;  // past the header row
    TPDBBaseMgr db;
    bench::Prepare(db, "raw-imported.pdb", dmModeWriteOnly);
    db.CreateDatabase();
    while (at < text.size()) {
      const auto id = Parse<std::int32_t>(Cell(text, at));
      const std::string_view name = Cell(text, at);
      const std::string_view day = Cell(text, at);
      const auto amount = Parse<double>(Cell(text, at));
      const auto count = Parse<std::uint16_t>(Cell(text, at));
      const double day_number = (Parse<int>(day.substr(0, 4)) - 1900) * 10000.0 +
                                Parse<int>(day.substr(5, 2)) * 100 + Parse<int>(day.substr(8, 2));
      Bytes record(4 + name.size() + 1 + 8 + 8 + 2);
      std::uint8_t* p = record.data();
      StoreU32(p, static_cast<std::uint32_t>(id));
      std::memcpy(p + 4, name.data(), name.size());
      p += 4 + name.size();
      *p++ = 0;
      StoreDouble(p, day_number);
      StoreDouble(p + 8, amount);
      StoreU16(p + 16, count);
      db.SetCurrentRecord(std::move(record));
      db.WriteRawRecord();
    }
    db.CloseDatabase();
  }
  state.SetItemsProcessed(state.iterations() * 65535);
}
BENCHMARK(BM_BaselineParseAndRawWrite)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
