// The rescue's building blocks: digests, file names made from text, mail
// files, and detection by contents.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "corvane/interchange/eml.h"
#include "corvane/rescue/detect.h"
#include "corvane/rescue/safe_name.h"
#include "corvane/rescue/sha256.h"
#include "support/temp_dir.h"

namespace corvane::rescue {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(Sha256, KnownVectorsAndAnySplitOfTheInput) {
  EXPECT_EQ(Sha256Hex(Bytes("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex(Bytes("abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the padding needs a block of its own.
  const std::string two_blocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(Sha256Hex(Bytes(two_blocks)),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  const std::string million(1000000, 'a');
  EXPECT_EQ(Sha256Hex(Bytes(million)),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  for (std::size_t split : {1u, 55u, 63u, 64u, 65u, 127u, 999u}) {
    Sha256 h;
    std::string_view rest = million;
    while (!rest.empty()) {
      const std::size_t n = std::min(split, rest.size());
      h.Update(Bytes(rest.substr(0, n)));
      rest.remove_prefix(n);
    }
    const auto digest = h.Finish();
    EXPECT_EQ(digest[0], 0xcd) << split;
    EXPECT_EQ(digest[31], 0xd0) << split;
  }
}

// The processor's SHA instructions (where it has them) and the portable rounds
// must agree for every length around the block and padding boundaries.
TEST(Sha256, BothWaysAgree) {
  std::string data;
  for (int i = 0; i < 3000; ++i) data += static_cast<char>((i * 131 + i / 7) & 0xFF);
  for (std::size_t n : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 128u, 1000u, 3000u}) {
    Sha256 fast, portable(true);
    fast.Update(Bytes(std::string_view(data).substr(0, n)));
    portable.Update(Bytes(std::string_view(data).substr(0, n)));
    EXPECT_EQ(fast.Finish(), portable.Finish()) << n;
  }
  Sha256 portable(true);
  portable.Update(Bytes("abc"));
  EXPECT_EQ(portable.Finish()[0], 0xba);
  if (!Sha256Accelerated()) GTEST_SKIP() << "no SHA instructions here: the portable rounds only";
}

TEST(Sha256, AgreesWithTheSystemTool) {
  const std::string dir = std::string(CORVANE_SHARED_DIR) + "/corpus";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpus";
  const std::string path = dir + "/jfile-locus-poll.pdb";
  FILE* p = ::popen(("sha256sum " + path + " 2>/dev/null").c_str(), "r");
  if (p == nullptr) GTEST_SKIP();
  char buf[65] = {};
  const std::size_t n = std::fread(buf, 1, 64, p);
  ::pclose(p);
  if (n != 64) GTEST_SKIP() << "no sha256sum";
  EXPECT_EQ(Sha256Hex(test::ReadAll(path)), std::string(buf, 64));
}

TEST(SafeName, RefusedCharactersControlsAndDevices) {
  EXPECT_EQ(SafeStem("Shopping: milk/eggs? <now> \"x\" a|b*c\\d"),
            "Shopping_ milk_eggs_ _now_ _x_ a_b_c_d");
  EXPECT_EQ(SafeStem("tab\there\x01\x7f end"), "tab here__ end");
  EXPECT_EQ(SafeStem("  ..hidden.  "), "hidden");
  EXPECT_EQ(SafeStem("..."), "");
  EXPECT_EQ(SafeStem("\xC2\x85next"), "_next");        // C1 control (NEL)
  EXPECT_EQ(SafeStem("bad\xFF\xC3utf8"), "bad__utf8");  // no well-formed UTF-8
  EXPECT_EQ(SafeStem("con"), "con_");
  EXPECT_EQ(SafeStem("COM3.txt"), "COM3.txt_");
  EXPECT_EQ(SafeStem("console"), "console");
  EXPECT_EQ(SafeStem("Crème brûlée"), "Crème brûlée");
}

TEST(SafeName, CutAtMostHundredBytesOnACharacterBoundary) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "\xC3\xA9";  // é, 120 bytes
  const std::string stem = SafeStem(text);
  EXPECT_EQ(stem.size(), 100u);
  const std::string odd = "x" + text;
  const std::string cut = SafeStem(odd);
  EXPECT_EQ(cut.size(), 99u);  // the 100th byte would split an é
  EXPECT_EQ(cut.back(), '\xA9');

  NameSet names;
  const std::string first = names.Claim(stem, ".txt");
  EXPECT_EQ(first.size(), 100u);
  EXPECT_TRUE(first.ends_with(".txt"));
  const std::string second = names.Claim(stem, ".txt");
  EXPECT_LE(second.size(), 100u);
  EXPECT_TRUE(second.ends_with(" (2).txt"));
  EXPECT_NE(first, second);
}

TEST(SafeName, ClashesIgnoringCaseTakeTheNextNumber) {
  NameSet names;
  EXPECT_EQ(names.Claim("Shopping", ".txt"), "Shopping.txt");
  EXPECT_EQ(names.Claim("shopping", ".txt"), "shopping (2).txt");
  EXPECT_EQ(names.Claim("SHOPPING", ".TXT"), "SHOPPING (3).TXT");
  EXPECT_EQ(names.Claim("Émile", ".txt"), "Émile.txt");
  EXPECT_EQ(names.Claim("émile", ".txt"), "émile (2).txt");
  EXPECT_EQ(names.Claim("", ".txt"), "untitled.txt");
  EXPECT_EQ(names.Claim("", ".txt", "memo"), "memo.txt");
  EXPECT_TRUE(names.Taken("shopping.TXT"));
}

TEST(Eml, HeadersFromTheRecordAndABodyNoReaderLoses) {
  interchange::MailMessage m;
  m.subject = "Grüße\r\nBcc: everyone@example.com";  // a line break never makes a header
  m.from = "ana@example.com";
  m.to = "bob@example.com";
  m.body = "a=b \nline two\n" + std::string(100, 'x');
  m.year = 2003;
  m.month = 2;
  m.day = 7;
  m.hour = 9;
  m.minute = 5;
  m.priority = 0;
  const std::string eml = interchange::FormatEml(m);
  EXPECT_EQ(eml,
            "Date: 7 Feb 2003 09:05:00 -0000\r\n"
            "From: ana@example.com\r\n"
            "To: bob@example.com\r\n"
            "Subject: =?UTF-8?B?R3LDvMOfZSAgQmNjOiBldmVyeW9uZUBleGFtcGxlLmNvbQ==?=\r\n"
            "X-Priority: 1\r\nImportance: high\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "\r\n"
            "a=3Db=20\r\n"
            "line two\r\n" +
                std::string(75, 'x') + "=\r\n" + std::string(25, 'x') + "\r\n");
  // No line longer than 78 characters.
  std::size_t at = 0;
  while (at < eml.size()) {
    const std::size_t end = eml.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end - at, 78u);
    at = end + 2;
  }
}

TEST(Eml, LongNonAsciiSubjectsFoldBetweenCharacters) {
  interchange::MailMessage m;
  for (int i = 0; i < 40; ++i) m.subject += "\xC3\xA9";
  const std::string eml = interchange::FormatEml(m);
  EXPECT_NE(eml.find("?=\r\n =?UTF-8?B?"), std::string::npos);
  EXPECT_EQ(eml.find("Date:"), std::string::npos);  // no date on the record, none invented
}

Kind KindOf(const std::string& name) {
  return Detect(test::ReadAll(std::string(CORVANE_SHARED_DIR) + "/corpus/" + name)).kind;
}

TEST(Detect, CorpusFilesByContents) {
  if (!std::filesystem::is_directory(std::string(CORVANE_SHARED_DIR) + "/corpus"))
    GTEST_SKIP() << "no corpus";
  EXPECT_EQ(KindOf("pim-AddressDB-LifeDrive.pdb"), Kind::kAddress);
  EXPECT_EQ(KindOf("pim-ContactsDB-PAdd-empty.pdb"), Kind::kContacts);
  EXPECT_EQ(KindOf("pim-DatebookDB-openflag.pdb"), Kind::kDatebook);
  EXPECT_EQ(KindOf("pim-ToDoDB-secret.pdb"), Kind::kToDo);
  EXPECT_EQ(KindOf("pim-MemoDB-Treo.pdb"), Kind::kMemo);
  EXPECT_EQ(KindOf("pim-MailDB.pdb"), Kind::kMail);
  EXPECT_EQ(KindOf("doc-phppdb-bookmark_test.pdb"), Kind::kEbook);
  EXPECT_EQ(KindOf("jfile-100movies.pdb"), Kind::kJFile);
  EXPECT_EQ(KindOf("nsb-NSBJPGview-Lake_jpg.pdb"), Kind::kPhoto);
  EXPECT_EQ(KindOf("nsb-runtime-Template.prc"), Kind::kResource);
  EXPECT_EQ(KindOf("prc-palmRI-empty-resdb.prc"), Kind::kResource);
  EXPECT_EQ(KindOf("game-Mulg-test-levels.pdb"), Kind::kPalm);
  for (const char* neg : {"neg-appledouble-WabaMark.pdb", "neg-msvc60-debug-symbols.pdb",
                          "neg-perl-bogus1DB-garbage.pdb", "neg-perl-bogus2DB-truncated.pdb",
                          "neg-protein-1crn_ca.pdb", "neg-zero-bytes.prc"}) {
    const Detection d = Detect(test::ReadAll(std::string(CORVANE_SHARED_DIR) + "/corpus/" + neg));
    EXPECT_EQ(d.kind, Kind::kNotPalm) << neg;
    EXPECT_FALSE(d.why.empty()) << neg;
  }
}

TEST(Detect, TheNameOfTheFileDoesNotMatterNorDoesItsLength) {
  const std::string dir = std::string(CORVANE_SHARED_DIR) + "/corpus";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpus";
  const std::vector<std::uint8_t> address = test::ReadAll(dir + "/pim-AddressDB-LifeDrive.pdb");
  EXPECT_EQ(Detect(address).kind, Kind::kAddress);
  EXPECT_EQ(Detect(address).name, "AddressDB");
  // Every cut of a real file: detection never raises, never reads past the end.
  for (std::size_t n = 0; n < address.size(); n += 7) {
    const Detection d = Detect(std::span(address).first(n));
    if (n < 78) {
      EXPECT_EQ(d.kind, Kind::kNotPalm);
    }
  }
  // The AppForge signature in the application-info block names the engine.
  const std::string samples = std::string(CORVANE_SOURCE_DIR) + "/samples/appforge.pdb";
  const Detection af = Detect(test::ReadAll(samples));
  EXPECT_EQ(af.kind, Kind::kEngine);
  EXPECT_EQ(af.engine, "appforge");
}

TEST(Detect, DamagedCopiesOfRealFilesNeverCrashIt) {
  const std::string dir = std::string(CORVANE_SHARED_DIR) + "/corpus";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no corpus";
  std::uint32_t seed = 12345;
  const auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::vector<std::uint8_t> original = test::ReadAll(e.path().string());
    if (original.empty()) continue;
    for (int round = 0; round < 40; ++round) {
      std::vector<std::uint8_t> bytes = original;
      // Mostly the header and record list, where a reader trusts numbers.
      for (int k = 0; k < 4; ++k) {
        const std::size_t span = std::min<std::size_t>(bytes.size(), round % 2 ? 120 : bytes.size());
        bytes[next() % span] = static_cast<std::uint8_t>(next());
      }
      const Detection d = Detect(bytes);
      EXPECT_FALSE(KindName(d.kind).empty());
    }
  }
}

}  // namespace
}  // namespace corvane::rescue
