// The e-book compression on a 1 MB book of English-like text: expanding the
// whole book (aim: above 200 MB/s of text) and compressing it; and, for scale,
// copying the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "corvane/apps/doc.h"

namespace corvane {
namespace {

const std::string& Book() {
  static const std::string text = [] {
    static constexpr const char* kWords[] = {
        "the ",  "of ",     "and ",   "a ",      "to ",       "in ",     "handheld ", "record ",
        "was ",  "that ",   "it ",    "with ",   "for ",      "as ",     "his ",      "on ",
        "be ",   "at ",     "by ",    "had ",    "database ", "not ",    "were ",     "but ",
        "from ", "this ",   "which ", "memory ", "said ",     "all ",    "she ",      "they ",
        "Palm ", "stylus ", "sync ",  "cradle ", "battery ",  "screen ", "category ", "note ",
        ". ",    ", ",      "\n",     "\n\n"};
    std::mt19937 rng(2026);
    std::string s;
    s.reserve((1 << 20) + 16);
    while (s.size() < (1 << 20)) s += kWords[rng() % std::size(kWords)];
    s.resize(1 << 20);
    return s;
  }();
  return text;
}

struct Compressed {
  apps::DocHeader header;
  Bytes head;
  std::vector<Bytes> records;
  std::vector<std::span<const std::uint8_t>> spans;
};

const Compressed& Packed() {
  static const Compressed c = [] {
    Compressed c;
    c.records = apps::EncodeDocText(Book(), c.header);
    c.head = apps::EncodeDocHeader(c.header);
    c.spans.emplace_back(c.head);
    for (const Bytes& r : c.records) c.spans.emplace_back(r);
    return c;
  }();
  return c;
}

void DecompressBook(benchmark::State& state) {
  const Compressed& c = Packed();
  for (auto _ : state) {
    std::string text = apps::DecodeDocText(c.header, c.spans);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Book().size()));
  std::size_t stored = 0;
  for (const Bytes& r : c.records) stored += r.size();
  state.counters["ratio"] = static_cast<double>(stored) / static_cast<double>(Book().size());
}
BENCHMARK(DecompressBook)->Unit(benchmark::kMillisecond);

void CompressBook(benchmark::State& state) {
  for (auto _ : state) {
    apps::DocHeader h;
    std::vector<Bytes> records = apps::EncodeDocText(Book(), h);
    benchmark::DoNotOptimize(records.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Book().size()));
}
BENCHMARK(CompressBook)->Unit(benchmark::kMillisecond);

void BaselineCopyBook(benchmark::State& state) {
  const std::string& book = Book();
  for (auto _ : state) {
    std::string copy(book.size(), '\0');
    std::memcpy(copy.data(), book.data(), book.size());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Book().size()));
}
BENCHMARK(BaselineCopyBook)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane
