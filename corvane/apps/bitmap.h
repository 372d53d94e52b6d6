// The handheld's bitmaps (form bitmaps `Tbmp`, application icons `tAIB`,
// bitmaps inside other records). A bitmap is a header, then an optional
// colour table, then (16-bit bitmaps before version 3) an 8-byte direct-colour
// block, then `height` rows of `rowBytes` bytes, top to bottom, pixels packed
// from the most significant bit, possibly compressed.
//
// Headers, big-endian: width, height, rowBytes, flags (16 bits each), then
// the pixel size and the version (bytes 8 and 9).
//  - version 0: 16 bytes, always 1 bit;
//  - version 1: next-depth offset (16 bits, in 4-byte words) at 10, 16 bytes;
//  - version 2: next-depth offset at 10, transparent index at 12, compression
//    type at 13, 16 bytes;
//  - version 3: header size at 10 (honoured), pixel format at 11, compression
//    type at 13, density at 14, transparent value (32 bits) at 16 and the
//    next bitmap's offset in bytes at 20.
// Flags: 0x8000 compressed, 0x4000 colour table, 0x2000 transparency, 0x1000
// indirect (never valid in a file), 0x0400 direct colour.
// Compressed pixels start with a size word (16 bits, 32 in version 3) that
// counts itself; each row decompresses to exactly rowBytes. Scan-line: per
// 8 bytes of a row, a mask byte whose set bits announce literal bytes, the
// others repeating the byte above. RLE: (count, byte) pairs. PackBits:
// signed count, 0..127 literals, -1..-127 repeats (2-byte units at 16 bits).
//
// Members of a family are chained by their next offsets inside one resource;
// a 16-byte version-1 header of pixel size 0xFF separates the low-density
// members from the version-3 high-density ones.
//
// Every offset, size and count is checked against the bytes given; what does
// not fit raises EPDBException naming the fault. Nothing is read past the
// end of the bytes, and no more pixels are produced than kMaxBitmapPixels.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "corvane/foundation/types.h"

namespace corvane::apps {

inline constexpr std::uint16_t kBitmapCompressed = 0x8000;
inline constexpr std::uint16_t kBitmapHasColorTable = 0x4000;
inline constexpr std::uint16_t kBitmapHasTransparency = 0x2000;
inline constexpr std::uint16_t kBitmapIndirect = 0x1000;
inline constexpr std::uint16_t kBitmapDirectColor = 0x0400;
inline constexpr std::uint16_t kBitmapIndirectColorTable = 0x0200;

enum class BitmapCompression : std::uint8_t {
  kScanLine = 0,
  kRle = 1,
  kPackBits = 2,
  kNone = 0xFF,
};

// Decoding a hostile bitmap must not exhaust memory: a compressed row can
// stand for far more bytes than it holds. 4096 x 4096 is far beyond any
// handheld screen.
inline constexpr std::uint64_t kMaxBitmapPixels = 4096u * 4096u;

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The colours of the pixel values at 1, 2, 4 and 8 bits when a bitmap has no
// table of its own: white and black; four and sixteen greys from white to
// black; the 256-colour system palette.
std::span<const Rgb> SystemPalette(int depth);

// One bitmap of a family: its header as stored and its pixels.
struct BitmapInfo {
  std::size_t offset = 0;  // of its header within the bytes given
  std::size_t length = 0;  // header to the end of its pixel data
  std::uint16_t width = 0, height = 0, row_bytes = 0, flags = 0;
  std::uint8_t depth = 1;  // bits per pixel: 1, 2, 4, 8 or 16
  std::uint8_t version = 0;
  std::uint8_t pixel_format = 0;  // version 3: 0 indexed, 1 RGB565, 2 RGB565 little-endian
  std::uint16_t density = 72;     // 72 below version 3
  BitmapCompression compression = BitmapCompression::kNone;  // kNone when not compressed
  bool transparent = false;
  std::uint32_t transparent_value = 0;  // an index, or an RGB565 colour at 16 bits
  std::vector<Rgb> color_table;         // the bitmap's own, when it has one
};

struct DecodedBitmap {
  BitmapInfo info;
  // width x height pixels, 4 bytes each (red, green, blue, alpha), rows top
  // to bottom; alpha is 0 for the transparent colour and 255 elsewhere.
  std::vector<std::uint8_t> rgba;
};

// The headers of every member of the family at the start of `bytes`, in
// chain order, without their pixels (the separator is left out). Raises
// EPDBException when a header does not fit or is not a bitmap's.
std::vector<BitmapInfo> ReadBitmapFamily(std::span<const std::uint8_t> bytes);

// Every member decoded.
std::vector<DecodedBitmap> DecodeBitmapFamily(std::span<const std::uint8_t> bytes);

// The member to show: the highest density, and at that density the most bits.
std::size_t BestBitmap(std::span<const BitmapInfo> members);
std::size_t BestBitmap(std::span<const DecodedBitmap> members);

// One member's pixels, its header as ReadBitmapFamily gave it.
std::vector<std::uint8_t> DecodeBitmapPixels(std::span<const std::uint8_t> bytes,
                                             const BitmapInfo& info);

// The system palette's nearest entry to a colour (the lowest value of equal
// distance), at 1, 2, 4 or 8 bits.
std::uint8_t NearestPaletteIndex(int depth, Rgb colour);

// A 16-bit pixel (red in the top 5 bits, green 6, blue 5) as 8-bit
// components, each scaled to 255 and rounded down; RGB565 of the result gives
// the pixel back.
Rgb Rgb565ToRgb(std::uint16_t v) noexcept;

struct BitmapEncoding {
  int depth = 8;  // 1, 2, 4, 8 or 16
  bool compress = false;  // scan-line compression
  // 0 writes version 2; 72, 108, 144, 216 or 288 write version 3 at that
  // density.
  std::uint16_t density = 0;
};

// An RGBA image (width x height x 4 bytes) as one bitmap. Colours take the
// system palette's nearest entry (or RGB565 at 16 bits). Pixels of alpha
// below 128 become transparent when a value is free for them (at 8 and 16
// bits always; at 1, 2 and 4 bits only when some palette entry is unused).
// Raises EPDBException for a depth, density or size the format cannot hold.
Bytes EncodeBitmap(std::span<const std::uint8_t> rgba, std::uint16_t width, std::uint16_t height,
                   const BitmapEncoding& how);

}  // namespace corvane::apps
