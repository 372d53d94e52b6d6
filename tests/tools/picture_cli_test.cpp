// Pictures through the command: resource databases exported and imported
// back byte for byte, their bitmaps' PNGs against netpbm's palmtopnm, the
// photo stream's JPEG against libjpeg's djpeg, and damaged input refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "corvane/apps/bitmap.h"
#include "corvane/apps/photo.h"
#include "corvane/foundation/byte_order.h"
#include "support/pnm.h"
#include "support/temp_dir.h"
#include "tool_runner.h"

namespace corvane::test {
namespace {

const std::string kCorpus = std::string(CORVANE_SHARED_DIR) + "/corpus/";

// The resource databases of the shared corpus that a reader must accept.
std::vector<std::string> CorpusResourceFiles() {
  std::vector<std::string> out;
  if (!std::filesystem::is_directory(kCorpus)) return out;
  for (const auto& e : std::filesystem::directory_iterator(kCorpus)) {
    const std::string name = e.path().filename().string();
    if (name.starts_with("neg-")) continue;
    if (name.starts_with("prc-") || e.path().extension() == ".prc") out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Compares the PNG with what palmtopnm makes of member `rendition` (1-based)
// of the bitmap resource.
void ExpectSamePixels(const std::string& png, const std::string& bitmap, std::size_t rendition) {
  if (!HaveProgram("palmtopnm") || !HaveProgram("pngtopnm")) return;
  const auto ours = ConvertToPnm("pngtopnm", png);
  const auto oracle =
      ConvertToPnm("palmtopnm -rendition " + std::to_string(rendition), bitmap);
  ASSERT_TRUE(ours.has_value()) << png;
  ASSERT_TRUE(oracle.has_value()) << bitmap;
  EXPECT_EQ(ours->width, oracle->width);
  EXPECT_EQ(ours->height, oracle->height);
  EXPECT_EQ(ours->rgb, oracle->rgb) << bitmap;
}

// Exports, checks every bitmap against palmtopnm, imports, compares bytes.
void RoundTrip(const std::string& prc, const TempDir& dir) {
  SCOPED_TRACE(prc);
  const std::string folder = dir.File(std::filesystem::path(prc).filename().string() + ".d");
  const ToolResult exported = RunCorvane({"export", "--resources", folder, prc});
  ASSERT_EQ(exported.status, 0) << exported.err;
  const std::string json = ReadText(folder + "/resources.json");
  EXPECT_EQ(json.find("damaged"), std::string::npos) << json;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (e.path().extension() != ".png") continue;
    std::filesystem::path bin = e.path();
    bin.replace_extension(".bin");
    const Bytes bytes = ReadAll(bin.string());
    const auto family = apps::ReadBitmapFamily(bytes);
    ExpectSamePixels(e.path().string(), bin.string(),
                     apps::BestBitmap(std::span<const apps::BitmapInfo>(family)) + 1);
  }
  const std::string rebuilt = dir.File("rebuilt.prc");
  const ToolResult imported =
      RunCorvane({"import", "--resources", folder + "/resources.json", "-o", rebuilt});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(ReadAll(rebuilt), ReadAll(prc));
}

TEST(ResourcesCli, EveryCorpusResourceDatabaseComesBackByteForByte) {
  const std::vector<std::string> files = CorpusResourceFiles();
  if (files.empty()) GTEST_SKIP() << "no shared corpus";
  TempDir dir;
  for (const std::string& prc : files) RoundTrip(prc, dir);
}

// A resource database of our own: a bitmap family of two depths and two
// densities, a transparent 16-bit icon, blocks, a type no file name can
// hold as it is, a repeated type and ID, and a gap of four bytes.
Bytes MadeUpResourceFile() {
  std::vector<std::uint8_t> rgba(22 * 22 * 4);
  for (std::size_t i = 0; i < 22 * 22; ++i) {
    rgba[4 * i] = static_cast<std::uint8_t>(i * 7);
    rgba[4 * i + 1] = static_cast<std::uint8_t>(i * 3);
    rgba[4 * i + 2] = static_cast<std::uint8_t>(255 - i);
    rgba[4 * i + 3] = i % 5 == 0 ? 0 : 255;
  }
  Bytes family = apps::EncodeBitmap(rgba, 22, 22, {1, true, 0});
  const Bytes v2 = apps::EncodeBitmap(rgba, 22, 22, {8, true, 0});
  StoreU16(family.data() + 10, static_cast<std::uint16_t>(family.size() / 4));
  family.resize((family.size() + 3) / 4 * 4);
  StoreU16(family.data() + 10, static_cast<std::uint16_t>(family.size() / 4));
  const std::size_t v2_at = family.size();
  family.insert(family.end(), v2.begin(), v2.end());
  family.resize((family.size() + 3) / 4 * 4);
  StoreU16(family.data() + v2_at + 10, static_cast<std::uint16_t>((family.size() - v2_at) / 4));
  const std::array<std::uint8_t, 16> separator = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 1};
  family.insert(family.end(), separator.begin(), separator.end());
  const Bytes v3 = apps::EncodeBitmap(rgba, 22, 22, {16, true, 144});
  family.insert(family.end(), v3.begin(), v3.end());
  const Bytes icon = apps::EncodeBitmap(rgba, 22, 22, {16, false, 0});

  struct Item {
    std::string type;
    std::uint16_t id;
    Bytes data;
  };
  const std::vector<Item> items = {{"code", 0, {0x4E, 0x75}},
                                   {"Tbmp", 1000, family},
                                   {"tAIB", 1000, icon},
                                   {std::string("a/\0b", 4), 5, {1, 2, 3}},
                                   {"code", 0, {0x4E, 0x71}}};
  const std::uint32_t gap = 4, app = 5, sort = 3;
  const std::uint32_t list_end = static_cast<std::uint32_t>(78 + 10 * items.size());
  ByteWriter w = PdbHeader("Made up", static_cast<std::uint16_t>(items.size()), list_end + gap,
                           list_end + gap + app, 0x0001);
  std::uint32_t at = list_end + gap + app + sort;
  for (const Item& i : items) {
    w.Str(i.type, 4).U16(i.id).U32(at);
    at += static_cast<std::uint32_t>(i.data.size());
  }
  w.U32(0xDEADBEEF).Raw({9, 9, 9, 9, 9}).Raw({8, 8, 8});
  for (const Item& i : items) w.Raw(i.data);
  return w.bytes;
}

TEST(ResourcesCli, MadeUpFileWithFamiliesBlocksAndOddTypes) {
  TempDir dir;
  const std::string prc = dir.File("made.prc");
  WriteAll(prc, MadeUpResourceFile());
  RoundTrip(prc, dir);
  const std::string folder = dir.File("made.prc.d");
  EXPECT_TRUE(std::filesystem::exists(folder + "/a%2F%00b-5.bin"));
  EXPECT_TRUE(std::filesystem::exists(folder + "/code-0-4.bin"));
  EXPECT_TRUE(std::filesystem::exists(folder + "/Tbmp-1000.png"));
  EXPECT_TRUE(std::filesystem::exists(folder + "/appinfo.bin"));

  const ToolResult listed = RunCorvane({"records", prc});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find("bitmap 22x22 1-bit, 22x22 8-bit, 22x22 16-bit @144"),
            std::string::npos)
      << listed.out;
  EXPECT_NE(listed.out.find("tAIB       1000"), std::string::npos);
  const ToolResult json = RunCorvane({"records", "--json", prc});
  EXPECT_NE(json.out.find("\"bitmap\": [{\"offset\": 0, \"width\": 22, \"height\": 22, "
                          "\"depth\": 16, \"version\": 2"),
            std::string::npos)
      << json.out;
}

TEST(ResourcesCli, DamagedInputIsRefusedOrReported) {
  TempDir dir;
  // A bitmap that is cut short: exported as its bytes, reported, no PNG.
  Bytes file = MadeUpResourceFile();
  const std::size_t tbmp = LoadU32(file.data() + 78 + 10 + 6);
  file[tbmp + 2] = 0x70;  // a height its bytes cannot hold
  const std::string prc = dir.File("damaged.prc");
  WriteAll(prc, file);
  const ToolResult exported = RunCorvane({"export", "--resources", dir.File("out"), prc});
  EXPECT_EQ(exported.status, 0) << exported.err;
  EXPECT_NE(exported.err.find("resource 1 (Tbmp 1000): bitmap at byte 0"), std::string::npos)
      << exported.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("out/Tbmp-1000.png")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("out/Tbmp-1000.bin")));
  const ToolResult listed = RunCorvane({"records", prc});
  EXPECT_NE(listed.out.find("damaged bitmap: bitmap at byte 0"), std::string::npos) << listed.out;

  if (std::filesystem::exists(kCorpus + "neg-zero-bytes.prc")) {
    const ToolResult empty = RunCorvane({"export", "--resources", dir.File("z"), kCorpus + "neg-zero-bytes.prc"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("no resource database"), std::string::npos) << empty.err;
  }
  // A JSON naming a file outside its folder is refused, and no file is made.
  WriteText(dir.File("resources.json"),
            R"({"name": "x", "type": "appl", "creator": "TEST", "attributes": 1, "version": 0,
                "modificationNumber": 0, "uniqueIDSeed": 0,
                "resources": [{"type": "code", "id": 0, "file": "../secret"}]})");
  const ToolResult outside =
      RunCorvane({"import", "--resources", dir.File("resources.json"), "-o", dir.File("x.prc")});
  EXPECT_EQ(outside.status, 1);
  EXPECT_NE(outside.err.find("not a file name in its folder"), std::string::npos) << outside.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.prc")));
}

TEST(PhotoCli, TheLakeJpegComesOutWholeAndDecodes) {
  const std::string lake = kCorpus + "nsb-NSBJPGview-Lake_jpg.pdb";
  if (!std::filesystem::exists(lake)) GTEST_SKIP() << "no shared corpus";
  TempDir dir;
  const std::string jpg = dir.File("lake.jpg");
  const std::string thumb = dir.File("thumb.png");
  const ToolResult exported =
      RunCorvane({"export", "--app", "photo", "-o", jpg, "--thumbnail", thumb, lake});
  ASSERT_EQ(exported.status, 0) << exported.err;
  const Bytes image = ReadAll(jpg);
  ASSERT_EQ(image.size(), 24500u);
  EXPECT_EQ(image[0], 0xFF);
  EXPECT_EQ(image[1], 0xD8);
  EXPECT_EQ(image[24498], 0xFF);
  EXPECT_EQ(image[24499], 0xD9);
  // Standard output carries the same bytes.
  const ToolResult piped = RunCorvane({"export", "--app", "photo", lake});
  EXPECT_EQ(piped.out, std::string(image.begin(), image.end()));
  if (HaveProgram("djpeg")) {
    const auto decoded = ConvertToPnm("djpeg -pnm", jpg);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->width, 320u);
    EXPECT_EQ(decoded->height, 320u);
  }
  const ToolResult json = RunCorvane({"export", "--app", "photo", "--format", "json", lake});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"stream\": {\"records\": 11, \"length\": 43312}"), std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\"image\": {\"kind\": \"jpeg\", \"offset\": 0, \"length\": 24500}"),
            std::string::npos);
  EXPECT_NE(json.out.find("\"note\": \"Displayed image not captured by Zire 71 Camera.\""),
            std::string::npos);
  EXPECT_NE(json.out.find("\"offset\": 24546, \"bitmap\": [{\"offset\": 0, \"width\": 96, "
                          "\"height\": 96, \"depth\": 16"),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("{\"name\": \"ARCPHOTOBASE\", \"offset\": 43292}"), std::string::npos);
  // The thumbnail against palmtopnm on its bytes in the stream.
  if (HaveProgram("palmtopnm") && HaveProgram("pngtopnm")) {
    const Bytes file = ReadAll(lake);
    const std::size_t n = LoadU16(file.data() + 76);
    std::vector<std::span<const std::uint8_t>> records;
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t from = LoadU32(file.data() + 78 + 8 * i);
      const std::size_t to = i + 1 < n ? LoadU32(file.data() + 78 + 8 * (i + 1)) : file.size();
      records.emplace_back(file.data() + from, to - from);
    }
    const Bytes stream = apps::ReassembleStream(records);
    WriteAll(dir.File("thumb.palm"), Bytes(stream.begin() + 24546, stream.end()));
    ExpectSamePixels(thumb, dir.File("thumb.palm"), 1);
  }
}

// A photo index as the photo application keeps it: the category table, a
// record per photo, and the emptied record of a deleted one.
Bytes PhotoIndexFile(std::vector<std::string>& names, std::vector<Bytes>& thumbs) {
  names = {"Lake", "Photo_002", "Caf\xe9"};
  thumbs = {{0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 0xFF, 0xD9}, {}, {0xFF, 0xD8, 0xFF, 0xDB, 9}};
  std::vector<Bytes> records;
  for (std::size_t i = 0; i < names.size(); ++i) {
    ByteWriter r;
    r.U32(0x00010203).U16(static_cast<std::uint16_t>(640 + i)).U16(480).U32(0xBB67C224 + i);
    r.U32(static_cast<std::uint32_t>(24500 * (i + 1))).U32(0x11).U8(0x22);
    r.U16(static_cast<std::uint16_t>(names[i].size())).U8(0).U32(0x33);
    r.U32(0xBB000000 + i).U32(0x44).U32(static_cast<std::uint32_t>(thumbs[i].size()));
    r.Raw(thumbs[i]).Str(names[i], names[i].size());
    if (i == 2) r.U16(0xABCD);  // something after the name
    records.push_back(r.bytes);
  }
  records.insert(records.begin() + 1, Bytes());
  const std::uint32_t list_end = static_cast<std::uint32_t>(78 + 8 * records.size() + 2);
  ByteWriter w = PdbHeader("PhotosDB-Foto", static_cast<std::uint16_t>(records.size()), list_end);
  w.bytes[60] = 'F', w.bytes[61] = 'o', w.bytes[62] = 't', w.bytes[63] = 'o';
  w.bytes[64] = 'F', w.bytes[65] = 'o', w.bytes[66] = 't', w.bytes[67] = 'o';
  std::uint32_t at = list_end + 276;
  for (std::size_t i = 0; i < records.size(); ++i) {
    w.U32(at).U8(0).U8(0).U16(static_cast<std::uint16_t>(i + 1));
    at += static_cast<std::uint32_t>(records[i].size());
  }
  w.U16(0).U16(0).Str("Unfiled", 16);
  for (int i = 1; i < 16; ++i) w.Str("", 16);
  for (int i = 0; i < 16; ++i) w.U8(static_cast<std::uint8_t>(i));
  w.U8(15).U8(0);
  for (const Bytes& r : records) w.Raw(r);
  return w.bytes;
}

TEST(PhotoCli, ThePhotoIndexAgreesWithPalmZirePhoto) {
  TempDir dir;
  std::vector<std::string> names;
  std::vector<Bytes> thumbs;
  const std::string path = dir.File("PhotosDB-Foto.pdb");
  WriteAll(path, PhotoIndexFile(names, thumbs));
  const std::string folder = dir.File("thumbs");
  std::filesystem::create_directory(folder);
  const ToolResult r = RunCorvane({"export", "--app", "photos", "--thumbnails", folder, path});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("{\"index\": 0, \"category\": 0, \"uniqueID\": 1, \"name\": \"Lake\", "
                       "\"photoDatabase\": \"Lake.jpg\", \"width\": 640, \"height\": 480, "
                       "\"size\": 24500, \"modified\": \"2003-08-19T12:01:40\""),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"name\": \"Caf\u00e9\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"extra\": \"abcd\""), std::string::npos);
  EXPECT_EQ(r.out.find("{\"index\": 1, \"category\""), std::string::npos);  // the emptied record
  EXPECT_EQ(ReadAll(folder + "/0.jpg"), thumbs[0]);
  EXPECT_FALSE(std::filesystem::exists(folder + "/2.jpg"));

  if (std::system("perl -MPalm::ZirePhoto -e 1 2>/dev/null") != 0) {
    GTEST_SKIP() << "Perl's Palm::ZirePhoto (libpalm-perl) is not installed";
  }
  const std::string script = dir.File("oracle.pl");
  WriteText(script,
            "use Palm::PDB; use Palm::ZirePhoto;\n"
            "my $pdb = Palm::PDB->new; $pdb->Load($ARGV[0]);\n"
            "for my $r (@{$pdb->{records}}) { next unless defined $r->{name};\n"
            "  print join('|', $r->{name}, $r->{width}, $r->{height}, $r->{size},\n"
            "    $r->{time1_secs}, $r->{time2_secs}, unpack('H*', $r->{thumb})), \"\\n\"; }\n");
  FILE* p = popen(("perl " + ShellQuote(script) + " " + ShellQuote(path) + " 2>/dev/null").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string oracle;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p) != nullptr) oracle += buf;
  ASSERT_EQ(pclose(p), 0);
  std::string want;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string hex;
    for (std::uint8_t b : thumbs[i]) {
      static const char* d = "0123456789abcdef";
      hex += d[b >> 4];
      hex += d[b & 15];
    }
    want += names[i] + "|" + std::to_string(640 + i) + "|480|" + std::to_string(24500 * (i + 1)) +
            "|" + std::to_string(0xBB67C224 + i) + "|" + std::to_string(0xBB000000 + i) + "|" + hex +
            "\n";
  }
  EXPECT_EQ(oracle, want);
}

TEST(PhotoCli, ABrokenStreamIsRefused) {
  TempDir dir;
  ByteWriter w = PdbHeader("Broken.jpg", 2, 0, 0, 0x0080);
  w.U32(78 + 16 + 2).U32(0).U32(78 + 16 + 2 + 12).U32(1).U16(0);
  w.Str("DBLK", 4).U32(4).Raw({0xFF, 0xD8, 0xFF, 0xE0});
  w.Str("DBLK", 4).U32(40).Raw({0, 0});
  const std::string path = dir.File("broken.pdb");
  WriteAll(path, w.bytes);
  const ToolResult r = RunCorvane({"export", "--app", "photo", path});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("stream record 1: its block of 40 bytes runs past its 10 bytes"),
            std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace corvane::test
