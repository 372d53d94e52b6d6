// Zip archives among the rescue's inputs: members rescued exactly as the same
// files on disk would be, and damaged or hostile archives reported in words
// while the run goes on, with nothing written outside the output folder.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "corvane/rescue/rescue.h"
#include "corvane/rescue/sha256.h"
#include "support/temp_dir.h"

namespace corvane::rescue {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string Corpus() {
  return std::string(CORVANE_SHARED_DIR) + "/corpus";
}

// One member as written, and what its entries declare when a test lies.
struct Member {
  std::string name;
  Bytes data;
  bool deflate = true;
  std::uint16_t flags = 0;
  std::optional<std::uint16_t> method = std::nullopt;
  std::optional<std::uint32_t> crc = std::nullopt, size = std::nullopt, offset = std::nullopt;
};

struct End {
  std::optional<std::uint16_t> entries = std::nullopt;
  std::optional<std::uint32_t> cd_offset = std::nullopt;
  bool zip64_locator = false;
};

void Le(Bytes& b, std::uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(i < 8 ? v >> (8 * i) : 0));
}

Bytes RawDeflate(const Bytes& data) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&zs, data.size()));
  zs.next_in = const_cast<std::uint8_t*>(data.data());
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

Bytes Zip(const std::vector<Member>& members, const End& end = {}) {
  Bytes zip, cd;
  for (const Member& m : members) {
    const Bytes packed = m.deflate ? RawDeflate(m.data) : m.data;
    const std::uint16_t method = m.method.value_or(m.deflate ? 8 : 0);
    const std::uint32_t crc = m.crc.value_or(
        static_cast<std::uint32_t>(crc32(0, m.data.data(), static_cast<uInt>(m.data.size()))));
    const std::uint32_t size = m.size.value_or(static_cast<std::uint32_t>(m.data.size()));
    const std::uint32_t at = m.offset.value_or(static_cast<std::uint32_t>(zip.size()));
    Le(zip, 0x04034b50, 4);
    Le(zip, 20, 2);
    Le(zip, m.flags, 2);
    Le(zip, method, 2);
    Le(zip, 0, 4);  // time and date
    Le(zip, crc, 4);
    Le(zip, packed.size(), 4);
    Le(zip, size, 4);
    Le(zip, m.name.size(), 2);
    Le(zip, 0, 2);
    zip.insert(zip.end(), m.name.begin(), m.name.end());
    zip.insert(zip.end(), packed.begin(), packed.end());
    Le(cd, 0x02014b50, 4);
    Le(cd, 20, 2);
    Le(cd, 20, 2);
    Le(cd, m.flags, 2);
    Le(cd, method, 2);
    Le(cd, 0, 4);
    Le(cd, crc, 4);
    Le(cd, packed.size(), 4);
    Le(cd, size, 4);
    Le(cd, m.name.size(), 2);
    Le(cd, 0, 2 + 2 + 2 + 2 + 4);  // extra, comment, disk, attributes
    Le(cd, at, 4);
    cd.insert(cd.end(), m.name.begin(), m.name.end());
  }
  const std::size_t cd_at = zip.size();
  zip.insert(zip.end(), cd.begin(), cd.end());
  if (end.zip64_locator) {
    Le(zip, 0x07064b50, 4);
    Le(zip, 0, 16);
  }
  Le(zip, 0x06054b50, 4);
  Le(zip, 0, 4);
  Le(zip, end.entries.value_or(members.size()), 2);
  Le(zip, end.entries.value_or(members.size()), 2);
  Le(zip, cd.size(), 4);
  Le(zip, end.cd_offset.value_or(cd_at), 4);
  Le(zip, 0, 2);
  return zip;
}

Bytes Text(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

std::map<std::string, Bytes> Tree(const std::string& root) {
  std::map<std::string, Bytes> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file())
      files[fs::relative(e.path(), root).generic_string()] = test::ReadAll(e.path().string());
  }
  return files;
}

const FileReport* Find(const Report& r, std::string_view suffix) {
  for (const FileReport& f : r.files) {
    if (f.input.ends_with(suffix)) return &f;
  }
  return nullptr;
}

// The report's line from its kind to its outputs: what was made of the bytes.
std::string Detected(const FileReport& f) {
  Report one;
  one.files = {f};
  const std::string json = ReportJson(one);
  const std::size_t from = json.find("\"kind\""), to = json.find("\"original\"");
  return json.substr(from, to - from);
}

std::string Said(const FileReport& f) {
  std::string all = f.error ? f.error->message + " / " + f.error->detail : "";
  for (const Warning& w : f.warnings) all += " / " + w.message;
  return all;
}

TEST(RescueZip, CorpusZippedByPythonGivesWhatTheFilesGive) {
  if (!fs::is_directory(Corpus())) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  fs::create_directories(dir.File("zipped"));
  const std::string zip = dir.File("zipped/backup.zip");
  // Stored and deflated members alternately, by a writer of its own.
  const std::string cmd =
      "python3 -c 'import os, sys, zipfile\n"
      "src, dst = sys.argv[1], sys.argv[2]\n"
      "with zipfile.ZipFile(dst, \"w\") as z:\n"
      "    for i, n in enumerate(sorted(os.listdir(src))):\n"
      "        z.write(os.path.join(src, n), \"PALM/\" + n,\n"
      "                zipfile.ZIP_DEFLATED if i % 2 else zipfile.ZIP_STORED)\n"
      "    z.writestr(\"PALM/empty/\", b\"\")\n' '" +
      Corpus() + "' '" + zip + "'";
  if (std::system(cmd.c_str()) != 0 || !fs::exists(zip)) GTEST_SKIP() << "no python3 zipfile";

  Options o;
  o.inputs = {Corpus()};
  o.output = dir.File("plain");
  o.jobs = 2;
  const Report plain = rescue::Run(o);
  o.inputs = {dir.File("zipped")};
  o.output = dir.File("unzipped");
  o.jobs = 1;
  const Report unzipped = rescue::Run(o);

  ASSERT_EQ(unzipped.files.size(), plain.files.size() + 1);
  const FileReport& archive = unzipped.files.front();
  EXPECT_EQ(archive.input, dir.File("zipped/backup.zip"));
  EXPECT_EQ(archive.detection.kind, Kind::kZip);
  EXPECT_EQ(archive.status, Status::kRescued) << Said(archive);
  EXPECT_EQ(archive.records, static_cast<std::int64_t>(plain.files.size()));
  EXPECT_EQ(archive.rescued, archive.records);
  EXPECT_EQ(test::ReadAll(o.output + "/" + archive.original), test::ReadAll(zip));
  EXPECT_EQ(archive.sha256, Sha256Hex(test::ReadAll(zip)));

  const auto a = Tree(dir.File("plain")), b = Tree(dir.File("unzipped"));
  for (const FileReport& f : plain.files) {
    const std::string name = fs::path(f.input).filename().string();
    const FileReport* m = Find(unzipped, "/backup.zip/PALM/" + name);
    ASSERT_NE(m, nullptr) << name;
    EXPECT_EQ(m->sha256, f.sha256) << name;
    EXPECT_EQ(m->size, f.size) << name;
    EXPECT_EQ(m->detection.kind, f.detection.kind) << name;
    EXPECT_EQ(m->status, f.status) << name;
    EXPECT_EQ(m->records, f.records) << name;
    EXPECT_EQ(m->rescued, f.rescued) << name;
    EXPECT_EQ(Detected(*m), Detected(f)) << name;
    EXPECT_EQ(m->preview, f.preview) << name;
    EXPECT_EQ(m->warnings.size(), f.warnings.size()) << name;
    EXPECT_EQ(test::ReadAll(o.output + "/" + m->original), test::ReadAll(f.input)) << name;
    ASSERT_EQ(m->outputs.size(), f.outputs.size()) << name;
    for (std::size_t i = 0; i < f.outputs.size(); ++i) {
      const std::string& path = f.outputs[i].path;
      EXPECT_EQ(m->outputs[i].path, path);
      if (a.count(path) != 0 && !path.ends_with(".ics")) {
        EXPECT_EQ(b.at(path), a.at(path)) << path;
      }
    }
  }
  ASSERT_EQ(unzipped.outputs.size(), plain.outputs.size());
  for (std::size_t i = 0; i < plain.outputs.size(); ++i)
    EXPECT_EQ(unzipped.outputs[i].label, plain.outputs[i].label);
}

TEST(RescueZip, DamagedAndHostileArchivesAreReportedInWordsAndTheRunGoesOn) {
  test::TempDir dir;
  const std::string in = dir.File("in"), out = dir.File("out");
  fs::create_directories(in);
  const Bytes text = Text("a memo that is not a database\n");
  const Bytes good = Zip({{"ok.txt", text}, {"ok-stored.txt", text, false}});
  const Bytes zeros(1 << 20, 0);
  const auto put = [&](const std::string& name, const Bytes& bytes) {
    test::WriteAll(in + "/" + name, bytes);
  };
  put("good.zip", good);
  put("truncated.zip", Bytes(good.begin(), good.begin() + good.size() / 2));
  put("crc.zip", Zip({{"bad-crc.txt", text, true, 0, {}, 0x12345678}, {"fine.txt", text}}));
  put("bomb.zip", Zip({{"bomb.bin", zeros, true, 0, {}, {}, 100}}));
  put("huge.zip", Zip({{"huge.bin", text, true, 0, {}, {}, 0xFFFFFFF0}}));
  put("outside.zip", Zip({{"a.txt", text}}, {.cd_offset = 0x7FFFFFF0}));
  put("count.zip", Zip({{"a.txt", text}}, {.entries = 5000}));
  put("secret.zip", Zip({{"secret.txt", text, true, 0x0001}}));
  put("bzip.zip", Zip({{"packed.txt", text, true, 0, 12}}));
  put("zip64-member.zip", Zip({{"big.txt", text, true, 0, {}, {}, 0xFFFFFFFF}}));
  put("zip64.zip", Zip({{"a.txt", text}}, {.zip64_locator = true}));
  put("overlap.zip", Zip({{"one.txt", text}, {"two.txt", text, true, 0, {}, {}, {}, 0}}));
  put("empty.zip", Zip({}));
  put("names.zip", Zip({{"../../escape.txt", text},
                        {"/abs/root.txt", text},
                        {"back\\slash.txt", text},
                        {std::string("nul\0x.txt", 9), text},
                        {"caf\x82.txt", text},  // code page 437, no UTF-8 flag
                        {"folder/", {}},
                        {"inner.zip", good, false}}));
  put("named.pdb", good);  // a zip whatever its name
  put("not-a-zip.zip", text);
  const auto before = Tree(in);

  Options o;
  o.inputs = {in};
  o.output = out;
  o.jobs = 2;
  const Report r = rescue::Run(o);
  EXPECT_EQ(Tree(in), before);
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_TRUE(e.path().filename() == "in" || e.path().filename() == "out") << e.path();
  const auto written = Tree(out);
  for (const auto& [path, bytes] : written) EXPECT_EQ(path.find(".."), std::string::npos) << path;

  const auto expect = [&](std::string_view input, Status status, std::string_view words) {
    const FileReport* f = Find(r, input);
    ASSERT_NE(f, nullptr) << input;
    EXPECT_EQ(f->status, status) << input << ": " << Said(*f);
    EXPECT_NE(Said(*f).find(words), std::string::npos) << input << ": " << Said(*f);
    if (input.starts_with("/not-") || (!input.ends_with(".zip") && !input.ends_with(".pdb")))
      return;
    EXPECT_EQ(f->detection.kind, Kind::kZip) << input;
    EXPECT_FALSE(f->original.empty()) << input;  // every archive kept, whatever became of it
  };
  expect("/good.zip", Status::kRescued, "");
  expect("/good.zip/ok.txt", Status::kNotPalm, "");
  expect("/good.zip/ok-stored.txt", Status::kNotPalm, "");
  expect("/truncated.zip", Status::kFailed, "cut short");
  expect("/crc.zip", Status::kPartial, "bad-crc.txt: This file's check sum");
  expect("/crc.zip/bad-crc.txt", Status::kUnreadable, "check sum");
  expect("/crc.zip/fine.txt", Status::kNotPalm, "");
  expect("/bomb.zip", Status::kFailed, "more than");
  expect("/bomb.zip/bomb.bin", Status::kUnreadable, "more than");
  expect("/huge.zip/huge.bin", Status::kUnreadable, "larger unpacked");
  expect("/outside.zip", Status::kFailed, "points outside");
  expect("/count.zip", Status::kFailed, "claims more files");
  expect("/secret.zip/secret.txt", Status::kUnreadable, "password");
  expect("/bzip.zip/packed.txt", Status::kUnreadable, "bzip2");
  expect("/zip64-member.zip/big.txt", Status::kUnreadable, "ZIP64");
  expect("/zip64.zip", Status::kFailed, "ZIP64");
  expect("/overlap.zip", Status::kFailed, "overlap");
  expect("/empty.zip", Status::kRescued, "holds no files");
  expect("/named.pdb", Status::kRescued, "");
  expect("/named.pdb/ok.txt", Status::kNotPalm, "");
  expect("/names.zip", Status::kRescued, "");
  expect("/not-a-zip.zip", Status::kNotPalm, "");
  EXPECT_EQ(Find(r, "/not-a-zip.zip")->detection.kind, Kind::kNotPalm);
  expect("/names.zip/../../escape.txt", Status::kNotPalm, "");
  expect("/names.zip//abs/root.txt", Status::kNotPalm, "");
  expect("/names.zip/back\\slash.txt", Status::kNotPalm, "");
  expect("/names.zip/nul\xEF\xBF\xBDx.txt", Status::kNotPalm, "");
  expect("/names.zip/caf\xC3\xA9.txt", Status::kNotPalm, "");
  expect("/names.zip/inner.zip", Status::kNotPalm, "not opened");
  EXPECT_EQ(Find(r, "/names.zip/inner.zip")->detection.kind, Kind::kZip);
  EXPECT_EQ(Find(r, "/names.zip/folder/"), nullptr);
  EXPECT_EQ(Find(r, "/names.zip")->records, 6);
  // A member's original is its own bytes; the nested archive is kept whole.
  EXPECT_EQ(written.at(Find(r, "/names.zip/inner.zip")->original), good);
  EXPECT_EQ(written.at(Find(r, "/crc.zip/fine.txt")->original), text);
  // The archives count as no Palm databases, whatever their members hold.
  EXPECT_EQ(r.PalmDatabases(), 0);
  EXPECT_NE(ReportJson(r).find("\"kindLabel\": \"Zip archive\""), std::string::npos);
}

}  // namespace
}  // namespace corvane::rescue
