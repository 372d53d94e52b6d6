// Decoding Palm bitmaps: a 160 x 160 family of scan-line compressed members
// (1, 4 and 8 bits, then the 8-bit one again at double density), the 8-bit
// member alone, and for scale the plain copy of its pixels through the
// palette into an RGBA buffer. Aim: the 8-bit member within 3x of the copy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "corvane/apps/bitmap.h"
#include "corvane/foundation/byte_order.h"

namespace corvane {
namespace {

constexpr std::uint16_t kSide = 160;

// A picture with smooth areas and noise, as icons and photos have.
Bytes Picture() {
  std::mt19937 rng(160);
  Bytes rgba(std::size_t{kSide} * kSide * 4);
  for (std::size_t y = 0; y < kSide; ++y) {
    for (std::size_t x = 0; x < kSide; ++x) {
      std::uint8_t* p = rgba.data() + 4 * (y * kSide + x);
      const bool noisy = (x / 40 + y / 40) % 3 == 0;
      p[0] = static_cast<std::uint8_t>(noisy ? rng() : x * 255 / kSide);
      p[1] = static_cast<std::uint8_t>(noisy ? rng() : y * 255 / kSide);
      p[2] = static_cast<std::uint8_t>((x + y) / 2);
      p[3] = 255;
    }
  }
  return rgba;
}

void Append(Bytes& family, const Bytes& member, bool link_next) {
  const std::size_t at = family.size();
  family.insert(family.end(), member.begin(), member.end());
  family.resize((family.size() + 3) / 4 * 4);
  if (link_next) StoreU16(family.data() + at + 10, static_cast<std::uint16_t>((family.size() - at) / 4));
}

struct Fixture {
  Bytes family;
  Bytes member8;            // the 8-bit member alone
  std::vector<std::uint8_t> plain8;  // its pixels uncompressed, one byte each
  Fixture() {
    const Bytes rgba = Picture();
    Append(family, apps::EncodeBitmap(rgba, kSide, kSide, {1, true, 0}), true);
    Append(family, apps::EncodeBitmap(rgba, kSide, kSide, {4, true, 0}), true);
    member8 = apps::EncodeBitmap(rgba, kSide, kSide, {8, true, 0});
    Append(family, member8, true);
    const std::array<std::uint8_t, 16> separator = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 1};
    family.insert(family.end(), separator.begin(), separator.end());
    const Bytes v3 = apps::EncodeBitmap(rgba, kSide, kSide, {8, true, 144});
    family.insert(family.end(), v3.begin(), v3.end());
    const Bytes plain = apps::EncodeBitmap(rgba, kSide, kSide, {8, false, 0});
    plain8.assign(plain.begin() + 16, plain.end());
  }
};

const Fixture& Data() {
  static const Fixture f;
  return f;
}

void BM_DecodeFamily(benchmark::State& state) {
  const Fixture& f = Data();
  for (auto _ : state) {
    auto family = apps::DecodeBitmapFamily(f.family);
    benchmark::DoNotOptimize(family.data());
  }
  state.SetItemsProcessed(state.iterations() * 4 * kSide * kSide);
  state.counters["compressed_bytes"] = static_cast<double>(f.family.size());
}
BENCHMARK(BM_DecodeFamily);

void BM_DecodeEightBitMember(benchmark::State& state) {
  const Fixture& f = Data();
  const std::vector<apps::BitmapInfo> info = apps::ReadBitmapFamily(f.member8);
  for (auto _ : state) {
    auto rgba = apps::DecodeBitmapPixels(f.member8, info[0]);
    benchmark::DoNotOptimize(rgba.data());
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_DecodeEightBitMember);

// The floor: the uncompressed pixels through the palette into a new buffer.
void BM_CopyPixelsToRgba(benchmark::State& state) {
  const Fixture& f = Data();
  const auto palette = apps::SystemPalette(8);
  for (auto _ : state) {
    std::vector<std::uint8_t> rgba(std::size_t{kSide} * kSide * 4);
    std::uint8_t* out = rgba.data();
    for (const std::uint8_t v : f.plain8) {
      out[0] = palette[v].r;
      out[1] = palette[v].g;
      out[2] = palette[v].b;
      out[3] = 255;
      out += 4;
    }
    benchmark::DoNotOptimize(rgba.data());
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_CopyPixelsToRgba);

}  // namespace
}  // namespace corvane
