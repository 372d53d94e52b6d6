#include "corvane/apps/bitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/exception.h"

namespace corvane::apps {

namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kV3MinHeader = 24;
constexpr std::uint8_t kSeparatorDepth = 0xFF;
// The most bytes one byte of compressed data can stand for (an RLE pair of
// two bytes gives 255): no decoder honours a claim beyond it.
constexpr std::uint64_t kMaxExpansion = 128;
constexpr std::uint64_t kMaxPixelBytes = 64u << 20;

[[noreturn]] void Fail(std::size_t at, const std::string& what) {
  throw EPDBException(1, "bitmap at byte " + std::to_string(at) + ": " + what);
}

constexpr std::array<std::uint8_t, 6> kCubeLevels = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};

std::array<Rgb, 256> MakePalette8() {
  std::array<Rgb, 256> p{};
  std::size_t i = 0;
  for (int group = 0; group < 2; ++group) {
    for (int r = 0; r < 6; ++r) {
      for (int b = 0; b < 3; ++b) {
        for (int g = 0; g < 6; ++g) {
          if (i < 215) p[i++] = {kCubeLevels[r], kCubeLevels[g], kCubeLevels[group * 3 + b]};
        }
      }
    }
  }
  constexpr std::array<std::uint8_t, 10> greys = {0x11, 0x22, 0x44, 0x55, 0x77,
                                                  0x88, 0xAA, 0xBB, 0xDD, 0xEE};
  for (std::uint8_t v : greys) p[i++] = {v, v, v};
  p[i++] = {0xC0, 0xC0, 0xC0};
  p[i++] = {0x80, 0x00, 0x00};
  p[i++] = {0x80, 0x00, 0x80};
  p[i++] = {0x00, 0x80, 0x00};
  p[i++] = {0x00, 0x80, 0x80};
  return p;  // the rest stays black
}

template <std::size_t N>
std::array<Rgb, N> MakeGreys() {
  std::array<Rgb, N> p{};
  for (std::size_t v = 0; v < N; ++v) {
    const auto level = static_cast<std::uint8_t>(255 - v * 255 / (N - 1));
    p[v] = {level, level, level};
  }
  return p;
}

const std::array<Rgb, 256> kPalette8 = MakePalette8();
const std::array<Rgb, 2> kPalette1 = MakeGreys<2>();
const std::array<Rgb, 4> kPalette2 = MakeGreys<4>();
const std::array<Rgb, 16> kPalette4 = MakeGreys<16>();

std::uint16_t ToRgb565(Rgb c) noexcept {
  return static_cast<std::uint16_t>(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
}

// Precomputed: a 16-bit bitmap converts every pixel.
struct Scale565 {
  std::array<std::uint8_t, 32> five{};
  std::array<std::uint8_t, 64> six{};
  Scale565() {
    for (unsigned v = 0; v < 32; ++v) five[v] = static_cast<std::uint8_t>(v * 255 / 31);
    for (unsigned v = 0; v < 64; ++v) six[v] = static_cast<std::uint8_t>(v * 255 / 63);
  }
};
const Scale565 kScale565;

Rgb FromRgb565(std::uint16_t v) noexcept {
  return {kScale565.five[v >> 11], kScale565.six[(v >> 5) & 0x3F], kScale565.five[v & 0x1F]};
}

bool KnownDepth(unsigned d) noexcept {
  return d == 1 || d == 2 || d == 4 || d == 8 || d == 16;
}

// Where the member's header, tables and pixel data lie; `next` is 0 at the
// end of the chain.
struct Member {
  BitmapInfo info;
  std::size_t data_start = 0;  // the pixel data (with its size word when compressed)
  std::size_t next = 0;
  bool separator = false;
};

Member ReadMember(std::span<const std::uint8_t> bytes, std::size_t at) {
  const std::size_t avail = bytes.size() - at;
  if (avail < kHeaderSize) {
    Fail(at, "a header needs 16 bytes, " + std::to_string(avail) + " are left");
  }
  const std::uint8_t* h = bytes.data() + at;
  Member m;
  BitmapInfo& b = m.info;
  b.offset = at;
  const auto width = static_cast<std::int16_t>(LoadU16(h));
  const auto height = static_cast<std::int16_t>(LoadU16(h + 2));
  b.row_bytes = LoadU16(h + 4);
  b.flags = LoadU16(h + 6);
  b.version = h[9];
  const std::uint8_t pixel_size = h[8];
  if (b.version == 1 && pixel_size == kSeparatorDepth) {
    // The gap between the low-density members and the version-3 ones.
    m.separator = true;
    m.next = avail >= 2 * kHeaderSize ? at + kHeaderSize : 0;
    return m;
  }
  if (b.version > 3) {
    Fail(at, "version " + std::to_string(b.version) + " is not one of 0 to 3");
  }
  if (width < 0 || height < 0) {
    Fail(at, "negative size " + std::to_string(width) + " x " + std::to_string(height));
  }
  b.width = static_cast<std::uint16_t>(width);
  b.height = static_cast<std::uint16_t>(height);
  if ((b.flags & kBitmapIndirect) != 0) {
    Fail(at, "its pixels are elsewhere in the handheld's memory (indirect), not in the file");
  }
  std::size_t header = kHeaderSize;
  std::uint64_t next_offset = 0;
  b.depth = b.version == 0 || pixel_size == 0 ? 1 : pixel_size;
  switch (b.version) {
    case 0:
      b.compression = BitmapCompression::kScanLine;
      break;
    case 1:
      b.compression = BitmapCompression::kScanLine;
      next_offset = std::uint64_t{LoadU16(h + 10)} * 4;
      break;
    case 2:
      next_offset = std::uint64_t{LoadU16(h + 10)} * 4;
      b.transparent_value = h[12];
      b.compression = static_cast<BitmapCompression>(h[13]);
      break;
    default:
      header = h[10];
      if (header < kV3MinHeader || header > avail) {
        Fail(at, "version-3 header size " + std::to_string(header) + " is below 24 or past the end");
      }
      b.pixel_format = h[11];
      b.compression = static_cast<BitmapCompression>(h[13]);
      b.density = LoadU16(h + 14);
      b.transparent_value = LoadU32(h + 16);
      next_offset = LoadU32(h + 20);
      break;
  }
  if ((b.flags & kBitmapCompressed) == 0) b.compression = BitmapCompression::kNone;
  if (b.compression != BitmapCompression::kNone && b.compression != BitmapCompression::kScanLine &&
      b.compression != BitmapCompression::kRle && b.compression != BitmapCompression::kPackBits) {
    Fail(at, "unknown compression type " + std::to_string(static_cast<int>(b.compression)));
  }
  if (!KnownDepth(b.depth)) Fail(at, "depth " + std::to_string(b.depth) + " bits is not supported");
  if (b.version == 3) {
    const bool direct = b.pixel_format == 1 || b.pixel_format == 2;
    if (b.pixel_format > 2) {
      Fail(at, "pixel format " + std::to_string(b.pixel_format) + " is not supported");
    }
    if (direct != (b.depth == 16)) {
      Fail(at, "pixel format " + std::to_string(b.pixel_format) + " does not go with " +
                   std::to_string(b.depth) + " bits");
    }
  }
  // Versions 0 and 1 have no field for a transparent value.
  b.transparent = b.version >= 2 && (b.flags & kBitmapHasTransparency) != 0;
  if (std::uint64_t{b.row_bytes} * 8 < std::uint64_t{b.width} * b.depth) {
    Fail(at, "rows of " + std::to_string(b.row_bytes) + " bytes cannot hold " +
                 std::to_string(b.width) + " pixels of " + std::to_string(b.depth) + " bits");
  }
  if (std::uint64_t{b.width} * b.height > kMaxBitmapPixels) {
    Fail(at, std::to_string(b.width) + " x " + std::to_string(b.height) +
                 " pixels are more than a bitmap may have");
  }

  std::size_t pos = at + header;
  if ((b.flags & kBitmapHasColorTable) != 0) {
    if ((b.flags & kBitmapIndirectColorTable) != 0) {
      Fail(at, "its colour table is elsewhere in the handheld's memory, not in the file");
    }
    if (bytes.size() - pos < 2) Fail(at, "the colour table is cut short");
    const std::size_t count = LoadU16(bytes.data() + pos);
    if (count > 256) Fail(at, "a colour table of " + std::to_string(count) + " entries");
    pos += 2;
    if (bytes.size() - pos < 4 * count) Fail(at, "the colour table is cut short");
    b.color_table.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
      const std::uint8_t* e = bytes.data() + pos + 4 * k;
      b.color_table.push_back({e[1], e[2], e[3]});
    }
    pos += 4 * count;
  }
  if (b.version < 3 && b.depth == 16) {
    // The direct-colour block: the bits of each component and the transparent colour.
    if (bytes.size() - pos < 8) Fail(at, "the direct-colour block is cut short");
    const std::uint8_t* d = bytes.data() + pos;
    if (d[0] != 5 || d[1] != 6 || d[2] != 5) {
      Fail(at, "direct colour of " + std::to_string(d[0]) + "/" + std::to_string(d[1]) + "/" +
                   std::to_string(d[2]) + " bits is not RGB 5-6-5");
    }
    b.transparent_value = ToRgb565({d[5], d[6], d[7]});
    pos += 8;
  }
  m.data_start = pos;

  const std::uint64_t plain = std::uint64_t{b.row_bytes} * b.height;
  const std::size_t left = bytes.size() - pos;
  if (b.compression == BitmapCompression::kNone) {
    if (plain > left) {
      Fail(at, std::to_string(b.height) + " rows of " + std::to_string(b.row_bytes) +
                   " bytes need " + std::to_string(plain) + " bytes, " + std::to_string(left) +
                   " are left");
    }
    b.length = pos + plain - at;
  } else {
    const std::size_t word = b.version == 3 ? 4 : 2;
    if (left < word) Fail(at, "the compressed size is cut short");
    const std::uint64_t size = word == 4 ? LoadU32(bytes.data() + pos) : LoadU16(bytes.data() + pos);
    if (size < word) Fail(at, "compressed size " + std::to_string(size) + " is below its own size");
    // The size bounds the data; a writer that got it wrong past the end is
    // held to the bytes there are.
    const std::uint64_t bound = std::min<std::uint64_t>(size, left);
    if (plain > kMaxPixelBytes || plain > (bound - word) * kMaxExpansion) {
      Fail(at, std::to_string(bound - word) + " compressed bytes cannot stand for " +
                   std::to_string(plain) + " bytes of pixels");
    }
    b.length = pos + bound - at;
  }

  if (next_offset != 0) {
    const std::uint64_t next = at + next_offset;
    if (next >= bytes.size()) {
      Fail(at, "the next bitmap's offset " + std::to_string(next_offset) + " is past the end (" +
                   std::to_string(bytes.size()) + " bytes)");
    }
    m.next = static_cast<std::size_t>(next);
  }
  return m;
}

struct Rows {
  std::span<const std::uint8_t> in;
  std::size_t at = 0;
  std::size_t origin = 0;  // for messages
  std::uint8_t Byte() {
    if (at >= in.size()) Fail(origin, "the compressed pixels end before the last row");
    return in[at++];
  }
};

void ScanLineRow(Rows& src, std::uint8_t* row, const std::uint8_t* above, std::size_t n) {
  for (std::size_t group = 0; group < n; group += 8) {
    const std::uint8_t mask = src.Byte();
    const std::size_t end = std::min(n, group + 8);
    for (std::size_t i = group; i < end; ++i) {
      // Readers take every byte of the first row as a literal, whatever its
      // mask says; writers set the bits.
      if (above == nullptr || (mask & (0x80 >> (i - group))) != 0) {
        row[i] = src.Byte();
      } else {
        row[i] = above[i];
      }
    }
  }
}

void RleRow(Rows& src, std::uint8_t* row, std::size_t n) {
  std::size_t i = 0;
  while (i < n) {
    const std::size_t count = src.Byte();
    const std::uint8_t value = src.Byte();
    if (count == 0) Fail(src.origin, "an RLE run of length 0");
    if (count > n - i) Fail(src.origin, "an RLE run goes past the end of its row");
    std::fill_n(row + i, count, value);
    i += count;
  }
}

void PackBitsRow(Rows& src, std::uint8_t* row, std::size_t n, std::size_t unit) {
  std::size_t i = 0;
  while (i < n) {
    const auto c = static_cast<std::int8_t>(src.Byte());
    if (c == -128) continue;
    if (c >= 0) {
      const std::size_t len = (static_cast<std::size_t>(c) + 1) * unit;
      if (len > n - i) Fail(src.origin, "a PackBits literal run goes past the end of its row");
      for (std::size_t k = 0; k < len; ++k) row[i++] = src.Byte();
    } else {
      const std::size_t times = static_cast<std::size_t>(1 - c);
      if (times * unit > n - i) Fail(src.origin, "a PackBits repeat goes past the end of its row");
      std::array<std::uint8_t, 2> value{};
      for (std::size_t k = 0; k < unit; ++k) value[k] = src.Byte();
      for (std::size_t t = 0; t < times; ++t) {
        for (std::size_t k = 0; k < unit; ++k) row[i++] = value[k];
      }
    }
  }
}

// The rows as stored, decompressed: height x rowBytes bytes.
std::vector<std::uint8_t> PlainRows(std::span<const std::uint8_t> bytes, const BitmapInfo& b,
                                    std::size_t data_start) {
  const std::size_t n = b.row_bytes;
  const std::size_t total = n * b.height;
  if (b.compression == BitmapCompression::kNone) {
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(data_start);
    return std::vector<std::uint8_t>(first, first + static_cast<std::ptrdiff_t>(total));
  }
  const std::size_t word = b.version == 3 ? 4 : 2;
  Rows src{bytes.subspan(data_start + word, b.offset + b.length - data_start - word), 0, b.offset};
  std::vector<std::uint8_t> out(total);
  for (std::size_t y = 0; y < b.height; ++y) {
    std::uint8_t* row = out.data() + y * n;
    switch (b.compression) {
      case BitmapCompression::kScanLine:
        ScanLineRow(src, row, y == 0 ? nullptr : row - n, n);
        break;
      case BitmapCompression::kRle:
        RleRow(src, row, n);
        break;
      default:
        PackBitsRow(src, row, n, b.depth == 16 ? 2 : 1);
        break;
    }
  }
  return out;
}

Member Find(std::span<const std::uint8_t> bytes, const BitmapInfo& info) {
  if (info.offset >= bytes.size()) Fail(info.offset, "the bitmap lies past the end of the bytes");
  Member m = ReadMember(bytes, info.offset);
  if (m.separator) Fail(info.offset, "a family separator has no pixels");
  return m;
}

std::vector<Member> Chain(std::span<const std::uint8_t> bytes) {
  std::vector<Member> out;
  if (bytes.empty()) Fail(0, "no bytes");
  std::size_t at = 0;
  for (;;) {
    Member m = ReadMember(bytes, at);
    const std::size_t next = m.next;
    if (!m.separator) out.push_back(std::move(m));
    // Links only lead forward, so the walk ends.
    if (next == 0 || next <= at) break;
    at = next;
  }
  if (out.empty()) Fail(0, "a family separator with no bitmap after it");
  return out;
}

template <class T, class Info>
std::size_t Best(std::span<const T> members, Info&& info) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < members.size(); ++i) {
    const BitmapInfo& a = info(members[i]);
    const BitmapInfo& b = info(members[best]);
    if (a.density > b.density || (a.density == b.density && a.depth > b.depth)) best = i;
  }
  return best;
}

}  // namespace

Rgb Rgb565ToRgb(std::uint16_t v) noexcept {
  return FromRgb565(v);
}

std::span<const Rgb> SystemPalette(int depth) {
  switch (depth) {
    case 1:
      return kPalette1;
    case 2:
      return kPalette2;
    case 4:
      return kPalette4;
    case 8:
      return kPalette8;
    default:
      return {};
  }
}

std::vector<BitmapInfo> ReadBitmapFamily(std::span<const std::uint8_t> bytes) {
  std::vector<BitmapInfo> out;
  for (Member& m : Chain(bytes)) out.push_back(std::move(m.info));
  return out;
}

std::vector<std::uint8_t> DecodeBitmapPixels(std::span<const std::uint8_t> bytes,
                                             const BitmapInfo& requested) {
  const Member m = Find(bytes, requested);
  const BitmapInfo& b = m.info;
  const std::vector<std::uint8_t> rows = PlainRows(bytes, b, m.data_start);
  const std::size_t w = b.width;
  std::vector<std::uint8_t> rgba(w * b.height * 4);
  std::uint8_t* out = rgba.data();
  if (b.depth == 16) {
    const bool little = b.version == 3 && b.pixel_format == 2;
    for (std::size_t y = 0; y < b.height; ++y) {
      const std::uint8_t* row = rows.data() + y * b.row_bytes;
      for (std::size_t x = 0; x < w; ++x, out += 4) {
        const std::uint8_t* p = row + 2 * x;
        const auto v = static_cast<std::uint16_t>(little ? (p[1] << 8) | p[0] : (p[0] << 8) | p[1]);
        const Rgb c = FromRgb565(v);
        out[0] = c.r;
        out[1] = c.g;
        out[2] = c.b;
        out[3] = b.transparent && v == (b.transparent_value & 0xFFFF) ? 0 : 255;
      }
    }
    return rgba;
  }
  const std::span<const Rgb> palette =
      b.color_table.empty() ? SystemPalette(b.depth) : std::span<const Rgb>(b.color_table);
  const unsigned d = b.depth;
  const unsigned mask = (1u << d) - 1;
  // Every value's four output bytes, worked out once; a value the table
  // lacks is marked and refused only if a pixel uses it.
  std::array<std::array<std::uint8_t, 4>, 256> lut{};
  std::array<bool, 256> known{};
  for (std::size_t v = 0; v <= mask; ++v) {
    if (v >= palette.size()) continue;
    known[v] = true;
    const bool clear = b.transparent && v == b.transparent_value;
    lut[v] = {palette[v].r, palette[v].g, palette[v].b, static_cast<std::uint8_t>(clear ? 0 : 255)};
  }
  const auto put = [&](unsigned v) {
    if (!known[v]) {
      Fail(b.offset, "pixel value " + std::to_string(v) + " has no entry in its colour table of " +
                         std::to_string(palette.size()));
    }
    std::memcpy(out, lut[v].data(), 4);
    out += 4;
  };
  const std::size_t per_byte = 8 / d;
  for (std::size_t y = 0; y < b.height; ++y) {
    const std::uint8_t* row = rows.data() + y * b.row_bytes;
    if (d == 8) {
      for (std::size_t x = 0; x < w; ++x) put(row[x]);
      continue;
    }
    // Whole bytes first, then the pixels of the last, partly used one.
    const std::size_t whole = w / per_byte;
    for (std::size_t i = 0; i < whole; ++i) {
      const unsigned byte = row[i];
      for (unsigned shift = 8 - d;; shift -= d) {
        put((byte >> shift) & mask);
        if (shift == 0) break;
      }
    }
    for (std::size_t x = whole * per_byte; x < w; ++x) {
      const std::size_t bit = x * d;
      put((row[bit >> 3] >> (8 - d - (bit & 7))) & mask);
    }
  }
  return rgba;
}

std::vector<DecodedBitmap> DecodeBitmapFamily(std::span<const std::uint8_t> bytes) {
  std::vector<DecodedBitmap> out;
  for (Member& m : Chain(bytes)) {
    DecodedBitmap d;
    d.rgba = DecodeBitmapPixels(bytes, m.info);
    d.info = std::move(m.info);
    out.push_back(std::move(d));
  }
  return out;
}

std::size_t BestBitmap(std::span<const BitmapInfo> members) {
  return Best(members, [](const BitmapInfo& i) -> const BitmapInfo& { return i; });
}

std::size_t BestBitmap(std::span<const DecodedBitmap> members) {
  return Best(members, [](const DecodedBitmap& d) -> const BitmapInfo& { return d.info; });
}

std::uint8_t NearestPaletteIndex(int depth, Rgb c) {
  const std::span<const Rgb> palette = SystemPalette(depth);
  if (palette.empty()) throw EPDBException(1, "bitmap: no system palette at " + std::to_string(depth) + " bits");
  std::size_t best = 0;
  int best_distance = std::numeric_limits<int>::max();
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const int dr = int{palette[i].r} - c.r, dg = int{palette[i].g} - c.g, db = int{palette[i].b} - c.b;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < best_distance) {
      best_distance = distance;
      best = i;
    }
  }
  return static_cast<std::uint8_t>(best);
}

Bytes EncodeBitmap(std::span<const std::uint8_t> rgba, std::uint16_t width, std::uint16_t height,
                   const BitmapEncoding& how) {
  const auto refuse = [](const std::string& what) -> void {
    throw EPDBException(1, "bitmap: " + what);
  };
  const unsigned d = static_cast<unsigned>(how.depth);
  if (!KnownDepth(d)) refuse("depth " + std::to_string(how.depth) + " is not 1, 2, 4, 8 or 16");
  const std::uint16_t density = how.density;
  if (density != 0 && density != 72 && density != 108 && density != 144 && density != 216 &&
      density != 288) {
    refuse("density " + std::to_string(density) + " is not 72, 108, 144, 216 or 288");
  }
  if (width > 0x7FFF || height > 0x7FFF) refuse("a side longer than 32767 pixels");
  if (std::uint64_t{width} * height > kMaxBitmapPixels) refuse("more pixels than a bitmap may have");
  if (rgba.size() != std::size_t{width} * height * 4) {
    refuse(std::to_string(rgba.size()) + " bytes are no RGBA image of " + std::to_string(width) +
           " x " + std::to_string(height));
  }
  const bool v3 = density != 0;
  const std::size_t row_bytes = (std::size_t{width} * d + 15) / 16 * 2;

  // Pixel values, and one free value for the transparent pixels.
  const std::size_t count = std::size_t{width} * height;
  std::vector<std::uint16_t> values(count);
  std::vector<bool> clear(count);
  bool any_clear = false;
  std::vector<bool> used(d == 16 ? 65536 : (1u << d));
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = rgba.data() + 4 * i;
    const Rgb c{p[0], p[1], p[2]};
    values[i] = d == 16 ? ToRgb565(c) : NearestPaletteIndex(how.depth, c);
    clear[i] = p[3] < 128;
    any_clear = any_clear || clear[i];
    if (!clear[i]) used[values[i]] = true;
  }
  bool transparent = false;
  std::uint32_t transparent_value = 0;
  if (any_clear) {
    // At 8 bits the last entries repeat black, which the nearest colour never
    // picks (the first black wins); elsewhere any value no visible pixel has.
    const std::size_t start = d == 16 ? 0xF81F : used.size() - 1;
    for (std::size_t k = 0; k < used.size() && !transparent; ++k) {
      const std::size_t v = d == 16 ? (start + k) & 0xFFFF : start - k;
      if (!used[v]) {
        transparent = true;
        transparent_value = static_cast<std::uint32_t>(v);
      }
    }
    if (transparent) {
      for (std::size_t i = 0; i < count; ++i) {
        if (clear[i]) values[i] = static_cast<std::uint16_t>(transparent_value);
      }
    }
  }

  std::vector<std::uint8_t> rows(row_bytes * height);
  for (std::size_t y = 0; y < height; ++y) {
    std::uint8_t* row = rows.data() + y * row_bytes;
    const std::uint16_t* v = values.data() + y * width;
    for (std::size_t x = 0; x < width; ++x) {
      if (d == 16) {
        StoreU16(row + 2 * x, v[x]);
      } else {
        const std::size_t bit = x * d;
        row[bit >> 3] = static_cast<std::uint8_t>(row[bit >> 3] | (v[x] << (8 - d - (bit & 7))));
      }
    }
  }

  std::uint16_t flags = 0;
  if (how.compress) flags |= kBitmapCompressed;
  if (transparent) flags |= kBitmapHasTransparency;
  if (d == 16 && !v3) flags |= kBitmapDirectColor;
  Bytes out(v3 ? kV3MinHeader : kHeaderSize);
  StoreU16(out.data(), width);
  StoreU16(out.data() + 2, height);
  StoreU16(out.data() + 4, static_cast<std::uint16_t>(row_bytes));
  StoreU16(out.data() + 6, flags);
  out[8] = static_cast<std::uint8_t>(d);
  const auto compression =
      static_cast<std::uint8_t>(how.compress ? BitmapCompression::kScanLine : BitmapCompression::kNone);
  if (v3) {
    out[9] = 3;
    out[10] = kV3MinHeader;
    out[11] = d == 16 ? 1 : 0;
    out[13] = compression;
    StoreU16(out.data() + 14, density);
    StoreU32(out.data() + 16, transparent ? transparent_value : 0);
  } else {
    out[9] = 2;
    out[12] = d < 16 && transparent ? static_cast<std::uint8_t>(transparent_value) : 0;
    out[13] = compression;
    if (d == 16) {
      const Rgb t = FromRgb565(static_cast<std::uint16_t>(transparent_value));
      const std::array<std::uint8_t, 8> direct = {5, 6, 5, 0, 0, t.r, t.g, t.b};
      out.insert(out.end(), direct.begin(), direct.end());
    }
  }
  if (!how.compress) {
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
  }
  const std::size_t word = v3 ? 4 : 2;
  const std::size_t size_at = out.size();
  out.resize(out.size() + word);
  for (std::size_t y = 0; y < height; ++y) {
    const std::uint8_t* row = rows.data() + y * row_bytes;
    const std::uint8_t* above = y == 0 ? nullptr : row - row_bytes;
    for (std::size_t group = 0; group < row_bytes; group += 8) {
      const std::size_t end = std::min(row_bytes, group + 8);
      const std::size_t mask_at = out.size();
      out.push_back(0);
      std::uint8_t mask = 0;
      for (std::size_t i = group; i < end; ++i) {
        if (above == nullptr || row[i] != above[i]) {
          mask = static_cast<std::uint8_t>(mask | (0x80 >> (i - group)));
          out.push_back(row[i]);
        }
      }
      out[mask_at] = mask;
    }
  }
  const std::size_t size = out.size() - size_at;
  if (v3) {
    if (size > std::numeric_limits<std::uint32_t>::max()) refuse("compressed pixels past 4 GiB");
    StoreU32(out.data() + size_at, static_cast<std::uint32_t>(size));
  } else {
    if (size > 0xFFFF) {
      refuse(std::to_string(size) +
             " bytes of compressed pixels do not fit the 16-bit size of a version-2 bitmap");
    }
    StoreU16(out.data() + size_at, static_cast<std::uint16_t>(size));
  }
  return out;
}

}  // namespace corvane::apps
