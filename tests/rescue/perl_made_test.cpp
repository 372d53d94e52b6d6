// Memos and mail written by Perl's Palm modules, an independent writer,
// rescued: one text per memo named from its first line, one message per mail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "corvane/rescue/rescue.h"
#include "support/temp_dir.h"

namespace corvane::rescue {
namespace {

namespace fs = std::filesystem;

std::string Text(const std::string& path) {
  const std::vector<std::uint8_t> b = test::ReadAll(path);
  return std::string(b.begin(), b.end());
}

// Perl's Palm::Memo and Palm::Mail write a memo and a mail database.
bool PerlMade(const std::string& memo, const std::string& mail) {
  const std::string script = std::string(CORVANE_SOURCE_DIR) + "/tests/rescue/perl_made.pl";
  return std::system(("perl '" + script + "' '" + memo + "' '" + mail + "'").c_str()) == 0;
}

bool HavePerl() {
  return std::system("perl -MPalm::Memo -MPalm::Mail -e1 >/dev/null 2>&1") == 0;
}

TEST(RescuePerlMade, MemosNamedFromTheirFirstLinesAndMailAsMessages) {
  if (!HavePerl()) GTEST_SKIP() << "Perl's Palm modules (libpalm-perl) are missing";
  test::TempDir dir;
  fs::create_directories(dir.File("in"));
  ASSERT_TRUE(PerlMade(dir.File("in/MemoDB.pdb"), dir.File("in/MailDB.pdb")));
  Options o;
  o.inputs = {dir.File("in")};
  o.output = dir.File("out");
  const Report r = rescue::Run(o);
  ASSERT_EQ(r.files.size(), 2u);
  const FileReport& mail = r.files[0];
  const FileReport& memo = r.files[1];
  EXPECT_EQ(memo.detection.kind, Kind::kMemo);
  EXPECT_EQ(memo.status, Status::kRescued);
  EXPECT_EQ(memo.counts.memos, 5);  // the deleted one is gone on the handheld too

  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.File("out/memos/MemoDB")))
    names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"Shopping_ milk.txt", "shopping_ MILK (2).txt",
                                          "untitled.txt", "Café notes.txt",
                                          std::string(96, 'x') + ".txt"}));
  EXPECT_EQ(Text(dir.File("out/memos/MemoDB/Café notes.txt")), "Café notes\nline");
  EXPECT_EQ(memo.preview.front(), "Shopping: milk");
  const std::string all = Text(dir.File("out/memos.txt"));
  EXPECT_NE(all.find("Shopping: milk\nEggs"), std::string::npos);
  EXPECT_NE(all.find("Café notes\nline"), std::string::npos);
  EXPECT_EQ(all.find("gone"), std::string::npos);

  EXPECT_EQ(mail.detection.kind, Kind::kMail);
  EXPECT_EQ(mail.counts.mails, 1);
  ASSERT_EQ(mail.outputs.size(), 1u);
  EXPECT_EQ(mail.outputs[0].path, "mail/MailDB/Lunch_.eml");
  EXPECT_EQ(Text(dir.File("out/") + mail.outputs[0].path),
            "Date: 6 May 2004 13:07:00 -0000\r\n"
            "From: ana@example.com\r\n"
            "To: bob@example.com\r\n"
            "Subject: Lunch?\r\n"
            "X-Priority: 1\r\nImportance: high\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "\r\n"
            "See you at 12 =3D)\r\nAna\r\n");
  // A mail reader takes it: Python's e-mail parser gives back the body.
  if (std::system("python3 -c 1 >/dev/null 2>&1") == 0) {
    const std::string check =
        "python3 -c \"import email,sys; m=email.message_from_binary_file(open(sys.argv[1],'rb')); "
        "b=m.get_payload(decode=True).replace(b'\\r\\n',b'\\n'); "
        "assert b==b'See you at 12 =)\\nAna\\n', b; assert m['Subject']=='Lunch?'\" '" +
        dir.File("out/") + mail.outputs[0].path + "'";
    EXPECT_EQ(std::system(check.c_str()), 0);
  }
}

TEST(RescuePerlMade, ADamagedMemoIsKeptRawAndTheOthersRescued) {
  if (!HavePerl()) GTEST_SKIP() << "Perl's Palm modules (libpalm-perl) are missing";
  test::TempDir dir;
  fs::create_directories(dir.File("in"));
  ASSERT_TRUE(PerlMade(dir.File("in/MemoDB.pdb"), dir.File("mail.pdb")));
  // Record 1's text loses its ending zero: it no longer decodes.
  std::vector<std::uint8_t> file = test::ReadAll(dir.File("in/MemoDB.pdb"));
  const auto offset = [&](std::size_t i) {
    const std::size_t at = 78 + 8 * i;
    return (std::size_t{file[at]} << 24) | (std::size_t{file[at + 1]} << 16) |
           (std::size_t{file[at + 2]} << 8) | file[at + 3];
  };
  ASSERT_EQ(file[offset(2) - 1], 0);
  file[offset(2) - 1] = 'x';
  test::WriteAll(dir.File("in/MemoDB.pdb"), file);
  Options o;
  o.inputs = {dir.File("in")};
  o.output = dir.File("out");
  const Report r = rescue::Run(o);
  ASSERT_EQ(r.files.size(), 1u);
  const FileReport& f = r.files[0];
  EXPECT_EQ(f.status, Status::kPartial);
  EXPECT_EQ(f.counts.memos, 4);
  EXPECT_EQ(f.counts.damagedRecords, 1);
  EXPECT_EQ(f.rescued, f.records - 1);
  ASSERT_EQ(f.warnings.size(), 1u);
  EXPECT_EQ(f.warnings[0].record, 1);
  EXPECT_TRUE(f.warnings[0].message.starts_with("record 1: ")) << f.warnings[0].message;
  // The record's bytes are kept beside the memos.
  const std::vector<std::uint8_t> kept = test::ReadAll(dir.File("out/memos/MemoDB/damaged record 1.bin"));
  EXPECT_EQ(kept, std::vector<std::uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(offset(1)),
                                            file.begin() + static_cast<std::ptrdiff_t>(offset(2))));
  EXPECT_NE(ReportJson(r).find("\"record\": 1, \"message\": \"record 1: "), std::string::npos);
}

}  // namespace
}  // namespace corvane::rescue
