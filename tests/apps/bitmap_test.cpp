// Palm bitmaps: hand-checked pixels of bitmaps laid out byte by byte, the
// encoder's output read back at every depth and compression, netpbm's
// palmtopnm as an independent reader, and damaged bitmaps refused.
#include "corvane/apps/bitmap.h"

#include <gtest/gtest.h>

#include <random>

#include "corvane/foundation/exception.h"
#include "support/pnm.h"
#include "support/temp_dir.h"

namespace corvane::apps {
namespace {

using test::ByteWriter;

Rgb PixelAt(const DecodedBitmap& d, std::size_t x, std::size_t y) {
  const std::uint8_t* p = d.rgba.data() + 4 * (y * d.info.width + x);
  return {p[0], p[1], p[2]};
}

std::uint8_t AlphaAt(const DecodedBitmap& d, std::size_t x, std::size_t y) {
  return d.rgba[4 * (y * d.info.width + x) + 3];
}

DecodedBitmap DecodeOne(const Bytes& b) {
  std::vector<DecodedBitmap> family = DecodeBitmapFamily(b);
  EXPECT_EQ(family.size(), 1u);
  return std::move(family.front());
}

std::string RefusalOf(const Bytes& b) {
  try {
    DecodeBitmapFamily(b);
  } catch (const EPDBException& e) {
    return e.what();
  }
  return "";
}

constexpr Rgb kWhite{255, 255, 255}, kBlack{0, 0, 0};

// A 16-byte header of versions 0 to 2.
ByteWriter Header(std::uint16_t w, std::uint16_t h, std::uint16_t row_bytes, std::uint16_t flags,
                  std::uint8_t depth, std::uint8_t version, std::uint16_t next = 0,
                  std::uint8_t transparent = 0, std::uint8_t compression = 0xFF) {
  ByteWriter b;
  b.U16(w).U16(h).U16(row_bytes).U16(flags).U8(depth).U8(version).U16(next);
  b.U8(transparent).U8(compression).U16(0);
  return b;
}

// A 24-byte version-3 header.
ByteWriter HeaderV3(std::uint16_t w, std::uint16_t h, std::uint16_t row_bytes, std::uint16_t flags,
                    std::uint8_t depth, std::uint8_t format, std::uint8_t compression,
                    std::uint16_t density, std::uint32_t transparent = 0, std::uint32_t next = 0) {
  ByteWriter b;
  b.U16(w).U16(h).U16(row_bytes).U16(flags).U8(depth).U8(3).U8(24).U8(format).U8(0);
  b.U8(compression).U16(density).U32(transparent).U32(next);
  return b;
}

TEST(SystemPalette, EntriesTheHandheldDefines) {
  const auto p8 = SystemPalette(8);
  ASSERT_EQ(p8.size(), 256u);
  EXPECT_EQ(p8[0], (Rgb{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(p8[1], (Rgb{0xFF, 0xCC, 0xFF}));
  EXPECT_EQ(p8[6], (Rgb{0xFF, 0xFF, 0xCC}));
  EXPECT_EQ(p8[18], (Rgb{0xCC, 0xFF, 0xFF}));
  EXPECT_EQ(p8[108], (Rgb{0xFF, 0xFF, 0x66}));
  EXPECT_EQ(p8[214], (Rgb{0x00, 0x33, 0x00}));
  EXPECT_EQ(p8[215], (Rgb{0x11, 0x11, 0x11}));
  EXPECT_EQ(p8[224], (Rgb{0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(p8[225], (Rgb{0xC0, 0xC0, 0xC0}));
  EXPECT_EQ(p8[226], (Rgb{0x80, 0x00, 0x00}));
  EXPECT_EQ(p8[229], (Rgb{0x00, 0x80, 0x80}));
  EXPECT_EQ(p8[230], kBlack);
  EXPECT_EQ(p8[255], kBlack);
  EXPECT_EQ(SystemPalette(2)[1], (Rgb{170, 170, 170}));
  EXPECT_EQ(SystemPalette(4)[15], kBlack);
  EXPECT_EQ(SystemPalette(4)[1], (Rgb{238, 238, 238}));
  // The first of equal entries wins, so the repeated blacks stay free.
  EXPECT_EQ(NearestPaletteIndex(8, kBlack), 230);
  EXPECT_EQ(NearestPaletteIndex(8, {0xCC, 0xFF, 0xFF}), 18);
  EXPECT_EQ(NearestPaletteIndex(1, {100, 100, 100}), 1);
}

TEST(BitmapDecode, UncompressedVersion2OneBitWithPaddedRows) {
  // 8 x 16, rows of 4 bytes of which one holds pixels: white and black rows.
  ByteWriter b = Header(8, 16, 4, 0, 1, 2);
  for (int y = 0; y < 16; ++y) b.U8(y % 2 ? 0xFF : 0x00).U8(0xAB).U16(0xCDEF);
  const DecodedBitmap d = DecodeOne(b.bytes);
  EXPECT_EQ(d.info.length, 80u);
  for (std::size_t x = 0; x < 8; ++x) {
    EXPECT_EQ(PixelAt(d, x, 0), kWhite);
    EXPECT_EQ(PixelAt(d, x, 1), kBlack);
    EXPECT_EQ(AlphaAt(d, x, 1), 255);
  }
}

TEST(BitmapDecode, Version0IconAndGreyLevels) {
  // Version 0 reads as 1 bit whatever byte 8 holds.
  ByteWriter v0 = Header(3, 1, 2, 0, 0, 0);
  v0.U8(0xA0).U8(0);
  const DecodedBitmap d0 = DecodeOne(v0.bytes);
  EXPECT_EQ(PixelAt(d0, 0, 0), kBlack);
  EXPECT_EQ(PixelAt(d0, 1, 0), kWhite);
  EXPECT_EQ(PixelAt(d0, 2, 0), kBlack);
  // 2 bits: values 0 1 2 3 from the high bits down.
  ByteWriter v2 = Header(4, 1, 2, 0, 2, 1);
  v2.U8(0x1B).U8(0);
  const DecodedBitmap d2 = DecodeOne(v2.bytes);
  EXPECT_EQ(PixelAt(d2, 0, 0), kWhite);
  EXPECT_EQ(PixelAt(d2, 1, 0), (Rgb{170, 170, 170}));
  EXPECT_EQ(PixelAt(d2, 2, 0), (Rgb{85, 85, 85}));
  EXPECT_EQ(PixelAt(d2, 3, 0), kBlack);
  // 4 bits: high nibble first.
  ByteWriter v4 = Header(2, 1, 2, 0, 4, 1);
  v4.U8(0x5F).U8(0);
  const DecodedBitmap d4 = DecodeOne(v4.bytes);
  EXPECT_EQ(PixelAt(d4, 0, 0), (Rgb{170, 170, 170}));
  EXPECT_EQ(PixelAt(d4, 1, 0), kBlack);
}

TEST(BitmapDecode, ColourTableByPositionAndTransparentIndex) {
  ByteWriter b = Header(3, 1, 4, kBitmapHasColorTable | kBitmapHasTransparency, 8, 2, 0, 2);
  // The index bytes disagree with the positions: the position counts.
  b.U16(3).U8(9).U8(10).U8(20).U8(30).U8(9).U8(40).U8(50).U8(60).U8(9).U8(70).U8(80).U8(90);
  b.U8(0).U8(1).U8(2).U8(0);
  const DecodedBitmap d = DecodeOne(b.bytes);
  EXPECT_EQ(d.info.color_table.size(), 3u);
  EXPECT_EQ(PixelAt(d, 0, 0), (Rgb{10, 20, 30}));
  EXPECT_EQ(PixelAt(d, 1, 0), (Rgb{40, 50, 60}));
  EXPECT_EQ(AlphaAt(d, 1, 0), 255);
  EXPECT_EQ(AlphaAt(d, 2, 0), 0);
  // A value past the table is refused, not read past it.
  ByteWriter bad = Header(1, 1, 2, kBitmapHasColorTable, 8, 2);
  bad.U16(1).U32(0x00102030).U8(5).U8(0);
  EXPECT_NE(RefusalOf(bad.bytes).find("no entry in its colour table of 1"), std::string::npos);
}

TEST(BitmapDecode, DirectColourVersion2AndVersion3) {
  // 2 x 1 RGB565: pure red, and the transparent colour (green 8-bit 0x00FF00).
  ByteWriter v2 = Header(2, 1, 4, kBitmapDirectColor | kBitmapHasTransparency, 16, 2);
  v2.U8(5).U8(6).U8(5).U8(0).U8(0).U8(0).U8(0xFF).U8(0).U16(0xF800).U16(0x07E0);
  const DecodedBitmap d = DecodeOne(v2.bytes);
  EXPECT_EQ(PixelAt(d, 0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(AlphaAt(d, 0, 0), 255);
  EXPECT_EQ(AlphaAt(d, 1, 0), 0);
  // Version 3, little-endian 565, transparent value 0x001F (blue).
  ByteWriter v3 = HeaderV3(2, 1, 4, kBitmapHasTransparency, 16, 2, 0xFF, 144, 0x001F);
  v3.U8(0x1F).U8(0x00).U8(0x10).U8(0x84);  // blue, then 0x8410 (grey)
  const DecodedBitmap e = DecodeOne(v3.bytes);
  EXPECT_EQ(e.info.density, 144);
  EXPECT_EQ(PixelAt(e, 0, 0), (Rgb{0, 0, 255}));
  EXPECT_EQ(AlphaAt(e, 0, 0), 0);
  EXPECT_EQ(PixelAt(e, 1, 0), (Rgb{131, 129, 131}));  // 16/31, 32/63 of 255
}

TEST(BitmapDecode, ScanLineVersion3AsTheSdkWritesIt) {
  // 20 x 3, rows of 4 bytes; row 0 literal, row 1 the same as row 0 (masks
  // clear), row 2 changes its second byte. The size word counts itself.
  ByteWriter rows;
  rows.U8(0xF0).U8(0xFF).U8(0x0F).U8(0xAA).U8(0x00);
  rows.U8(0x00);
  rows.U8(0x40).U8(0xF0);
  ByteWriter b = HeaderV3(20, 3, 4, kBitmapCompressed, 1, 0, 0, 144);
  b.U32(static_cast<std::uint32_t>(4 + rows.bytes.size())).Raw(rows.bytes);
  b.U8(0);  // resources are padded to an even length
  const DecodedBitmap d = DecodeOne(b.bytes);
  EXPECT_EQ(d.info.compression, BitmapCompression::kScanLine);
  EXPECT_EQ(d.info.length, 24u + 4 + rows.bytes.size());
  for (std::size_t x = 0; x < 8; ++x) EXPECT_EQ(PixelAt(d, x, 0), kBlack) << x;
  for (std::size_t x = 8; x < 12; ++x) EXPECT_EQ(PixelAt(d, x, 1), kWhite) << x;
  for (std::size_t x = 12; x < 16; ++x) EXPECT_EQ(PixelAt(d, x, 1), kBlack) << x;
  for (std::size_t x = 8; x < 12; ++x) EXPECT_EQ(PixelAt(d, x, 2), kBlack) << x;
  for (std::size_t x = 12; x < 16; ++x) EXPECT_EQ(PixelAt(d, x, 2), kWhite) << x;
}

TEST(BitmapDecode, RleAndPackBits) {
  // 8-bit 6 x 2 RLE: row 0 = 4 x 0xE6 (black), 2 x 0; row 1 = 6 x 0x7D.
  ByteWriter rle = Header(6, 2, 6, kBitmapCompressed, 8, 2, 0, 0, 1);
  rle.U16(2 + 8).U8(4).U8(230).U8(2).U8(0).U8(6).U8(125);
  const DecodedBitmap r = DecodeOne(rle.bytes);
  EXPECT_EQ(PixelAt(r, 3, 0), kBlack);
  EXPECT_EQ(PixelAt(r, 4, 0), kWhite);
  EXPECT_EQ(PixelAt(r, 5, 1), SystemPalette(8)[125]);
  // PackBits: a literal run of 2, a repeat of 4, the no-op -128.
  ByteWriter pb = Header(6, 1, 6, kBitmapCompressed, 8, 2, 0, 0, 2);
  pb.U16(2 + 6).U8(1).U8(230).U8(0).U8(0x80).U8(0xFD).U8(18);
  const DecodedBitmap p = DecodeOne(pb.bytes);
  EXPECT_EQ(PixelAt(p, 0, 0), kBlack);
  EXPECT_EQ(PixelAt(p, 1, 0), kWhite);
  EXPECT_EQ(PixelAt(p, 5, 0), (Rgb{0xCC, 0xFF, 0xFF}));
  // At 16 bits PackBits counts 2-byte pixels.
  ByteWriter pb16 = Header(3, 1, 6, kBitmapCompressed | kBitmapDirectColor, 16, 2, 0, 0, 2);
  pb16.U8(5).U8(6).U8(5).U8(0).U32(0).U16(2 + 3).U8(0xFE).U16(0xF800);
  const DecodedBitmap p16 = DecodeOne(pb16.bytes);
  for (std::size_t x = 0; x < 3; ++x) EXPECT_EQ(PixelAt(p16, x, 0), (Rgb{255, 0, 0}));

  ByteWriter zero = Header(2, 1, 2, kBitmapCompressed, 8, 2, 0, 0, 1);
  zero.U16(6).U8(0).U8(1).U8(2).U8(1);
  EXPECT_NE(RefusalOf(zero.bytes).find("RLE run of length 0"), std::string::npos);
  ByteWriter over = Header(2, 1, 2, kBitmapCompressed, 8, 2, 0, 0, 1);
  over.U16(4).U8(3).U8(1);
  EXPECT_NE(RefusalOf(over.bytes).find("past the end of its row"), std::string::npos);
}

TEST(BitmapDecode, FamilyWithSeparatorAndHighDensityMembers) {
  // 1-bit v1 (next 6 words = 24 bytes), 8-bit v2, separator, 8-bit v3 at 144.
  ByteWriter b = Header(2, 2, 2, 0, 1, 1, 6);
  b.U8(0x80).U8(0).U8(0x40).U8(0);
  b.U32(0);  // unused room before the next member
  ByteWriter v2 = Header(2, 2, 2, 0, 8, 2, 0 /* last low-density one links to the separator */);
  v2.bytes[10] = 0;
  v2.bytes[11] = 5;  // 20 bytes: to the separator
  v2.U8(230).U8(0).U8(0).U8(230);
  b.Raw(v2.bytes);
  b.Raw(Header(0, 0, 0, 0, 0xFF, 1).bytes);
  ByteWriter v3 = HeaderV3(4, 4, 4, 0, 8, 0, 0xFF, 144);
  for (int i = 0; i < 16; ++i) v3.U8(static_cast<std::uint8_t>(i));
  b.Raw(v3.bytes);
  const std::vector<DecodedBitmap> family = DecodeBitmapFamily(b.bytes);
  ASSERT_EQ(family.size(), 3u);
  EXPECT_EQ(family[0].info.depth, 1);
  EXPECT_EQ(family[1].info.offset, 24u);
  EXPECT_EQ(family[2].info.offset, 60u);
  EXPECT_EQ(family[2].info.density, 144);
  EXPECT_EQ(BestBitmap(std::span<const DecodedBitmap>(family)), 2u);
  EXPECT_EQ(PixelAt(family[1], 0, 0), kBlack);
  EXPECT_EQ(PixelAt(family[2], 1, 0), SystemPalette(8)[1]);
  EXPECT_EQ(ReadBitmapFamily(b.bytes).size(), 3u);
}

TEST(BitmapDecode, DamagedBitmapsAreRefusedNotOverread) {
  const Bytes good = EncodeBitmap(Bytes(5 * 3 * 4, 0x80), 5, 3, {8, true, 144});
  for (std::size_t n = 0; n < good.size(); ++n) {
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_NE(RefusalOf(cut), "") << n;
  }
  ByteWriter negative = Header(0xFFF0, 1, 2, 0, 1, 2);
  negative.U16(0);
  EXPECT_NE(RefusalOf(negative.bytes).find("negative size"), std::string::npos);
  ByteWriter version = Header(1, 1, 2, 0, 1, 4);
  version.U16(0);
  EXPECT_NE(RefusalOf(version.bytes).find("version 4"), std::string::npos);
  ByteWriter indirect = Header(1, 1, 2, kBitmapIndirect, 1, 2);
  indirect.U16(0);
  EXPECT_NE(RefusalOf(indirect.bytes).find("indirect"), std::string::npos);
  ByteWriter narrow = Header(17, 1, 2, 0, 1, 2);
  narrow.U16(0);
  EXPECT_NE(RefusalOf(narrow.bytes).find("cannot hold 17 pixels"), std::string::npos);
  ByteWriter next = Header(1, 1, 2, 0, 1, 2, 100);
  next.U16(0);
  EXPECT_NE(RefusalOf(next.bytes).find("past the end"), std::string::npos);
  ByteWriter depth = Header(1, 1, 2, 0, 3, 2);
  depth.U16(0);
  EXPECT_NE(RefusalOf(depth.bytes).find("depth 3"), std::string::npos);
  // A few compressed bytes claiming a huge bitmap are refused before any
  // memory is taken for it.
  ByteWriter bomb = HeaderV3(4000, 4000, 4000, kBitmapCompressed, 8, 0, 1, 72);
  bomb.U32(8).U8(255).U8(0).U8(255).U8(0);
  EXPECT_NE(RefusalOf(bomb.bytes).find("cannot stand for"), std::string::npos);
  ByteWriter huge = HeaderV3(0x7FFF, 0x7FFF, 0x7FFF, 0, 8, 0, 0xFF, 72);
  EXPECT_NE(RefusalOf(huge.bytes).find("more than a bitmap may have"), std::string::npos);
  EXPECT_NE(RefusalOf({}), "");
}

// An image of every colour the palette of `depth` has (opaque), in a size
// whose rows need padding.
Bytes PaletteImage(int depth, std::uint16_t w, std::uint16_t h, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes rgba(std::size_t{w} * h * 4);
  for (std::size_t i = 0; i < std::size_t{w} * h; ++i) {
    Rgb c;
    if (depth == 16) {
      c = Rgb565ToRgb(static_cast<std::uint16_t>(rng()));
    } else {
      const auto p = SystemPalette(depth);
      // Runs of equal pixels and rows like the one above give the
      // compression something to do.
      c = p[(i / 3 + (i / w) % 2) % (depth == 8 ? 230 : p.size())];
    }
    rgba[4 * i] = c.r;
    rgba[4 * i + 1] = c.g;
    rgba[4 * i + 2] = c.b;
    rgba[4 * i + 3] = 255;
  }
  return rgba;
}

struct Case {
  int depth;
  bool compress;
  std::uint16_t density;
};

std::vector<Case> AllCases() {
  std::vector<Case> out;
  for (int depth : {1, 2, 4, 8, 16}) {
    for (bool compress : {false, true}) {
      for (std::uint16_t density : {0, 72, 144}) out.push_back({depth, compress, density});
    }
  }
  return out;
}

TEST(BitmapEncode, EveryDepthAndCompressionDecodesToTheSamePixels) {
  for (const Case& c : AllCases()) {
    SCOPED_TRACE(testing::Message() << c.depth << " bits, compressed " << c.compress
                                    << ", density " << c.density);
    const Bytes rgba = PaletteImage(c.depth, 13, 7, 42);
    const Bytes bitmap = EncodeBitmap(rgba, 13, 7, {c.depth, c.compress, c.density});
    const DecodedBitmap d = DecodeOne(bitmap);
    EXPECT_EQ(d.info.version, c.density ? 3 : 2);
    EXPECT_EQ(d.info.depth, c.depth);
    EXPECT_EQ(d.info.length, bitmap.size());
    EXPECT_EQ(d.info.row_bytes % 2, 0);
    EXPECT_EQ(d.rgba, rgba);
  }
}

TEST(BitmapEncode, NearestColoursAndTransparency) {
  // Off-palette colours take their nearest entry; clear pixels the free value.
  Bytes rgba = {250, 250, 250, 255, 10, 10, 10, 255, 0x90, 0x10, 0x10, 255, 1, 2, 3, 0};
  const DecodedBitmap d8 = DecodeOne(EncodeBitmap(rgba, 4, 1, {8, true, 0}));
  EXPECT_EQ(PixelAt(d8, 0, 0), kWhite);
  EXPECT_EQ(PixelAt(d8, 1, 0), (Rgb{0x11, 0x11, 0x11}));
  EXPECT_EQ(PixelAt(d8, 2, 0), (Rgb{0x99, 0x00, 0x00}));
  EXPECT_TRUE(d8.info.transparent);
  EXPECT_EQ(d8.info.transparent_value, 255u);
  EXPECT_EQ(AlphaAt(d8, 3, 0), 0);
  EXPECT_EQ(AlphaAt(d8, 2, 0), 255);
  const DecodedBitmap d16 = DecodeOne(EncodeBitmap(rgba, 4, 1, {16, false, 0}));
  EXPECT_EQ(AlphaAt(d16, 3, 0), 0);
  EXPECT_EQ(AlphaAt(d16, 1, 0), 255);
  const DecodedBitmap v3 = DecodeOne(EncodeBitmap(rgba, 4, 1, {16, true, 144}));
  EXPECT_EQ(AlphaAt(v3, 3, 0), 0);
  // At 1 bit with both entries in use there is no value left for it.
  const DecodedBitmap d1 = DecodeOne(EncodeBitmap(rgba, 4, 1, {1, false, 0}));
  EXPECT_FALSE(d1.info.transparent);

  EXPECT_THROW(EncodeBitmap(rgba, 4, 1, {3, false, 0}), EPDBException);
  EXPECT_THROW(EncodeBitmap(rgba, 4, 1, {8, false, 100}), EPDBException);
  EXPECT_THROW(EncodeBitmap(rgba, 5, 1, {8, false, 0}), EPDBException);
}

// netpbm's reader on what the encoder writes, and on the hand-laid layouts.
TEST(BitmapOracle, PalmtopnmReadsWhatTheEncoderWrites) {
  if (!test::HaveProgram("palmtopnm")) GTEST_SKIP() << "palmtopnm (netpbm) is not installed";
  test::TempDir dir;
  for (const Case& c : AllCases()) {
    SCOPED_TRACE(testing::Message() << c.depth << " bits, compressed " << c.compress
                                    << ", density " << c.density);
    const Bytes rgba = PaletteImage(c.depth, 21, 9, 7);
    const Bytes bitmap = EncodeBitmap(rgba, 21, 9, {c.depth, c.compress, c.density});
    const std::string path = dir.File("b.palm");
    test::WriteAll(path, bitmap);
    const std::optional<test::RgbImage> pnm = test::ConvertToPnm("palmtopnm", path);
    ASSERT_TRUE(pnm.has_value());
    ASSERT_EQ(pnm->width, 21u);
    ASSERT_EQ(pnm->height, 9u);
    const DecodedBitmap ours = DecodeOne(bitmap);
    for (std::size_t i = 0; i < 21 * 9; ++i) {
      ASSERT_EQ(pnm->rgb[3 * i], ours.rgba[4 * i]) << "pixel " << i;
      ASSERT_EQ(pnm->rgb[3 * i + 1], ours.rgba[4 * i + 1]) << "pixel " << i;
      ASSERT_EQ(pnm->rgb[3 * i + 2], ours.rgba[4 * i + 2]) << "pixel " << i;
    }
  }
}

}  // namespace
}  // namespace corvane::apps
