// Interop with Perl's Palm::PDB (Debian libpalm-perl), an independent reader
// and writer of the same format. Both sides describe a file in the same
// "key=value" lines (tests/pdb/interop/read_pdb.pl is Perl's side); files Perl
// writes must read the same here, and files written here must load the same
// in Perl. Explicit values guard against both sides agreeing on a mistake.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "corvane/host/datetime.h"
#include "corvane/pdb/base_mgr.h"
#include "corvane/pdb/file_format.h"
#include "fuzz/pdb_walk.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

const std::string kScripts = std::string(CORVANE_SOURCE_DIR) + "/tests/pdb/interop";

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool PerlModuleAvailable() {
  return std::system("perl -MPalm::PDB -MPalm::Raw -MPalm::StdAppInfo -e1 >/dev/null 2>&1") == 0;
}

#define SKIP_WITHOUT_PERL()                                                           \
  if (!PerlModuleAvailable())                                                         \
  GTEST_SKIP() << "perl or its Palm::PDB module is missing (Debian: apt-get install " \
                  "libpalm-perl); interop with it is not tested"

// Runs a script of tests/pdb/interop; its standard output, or a failure.
std::string RunPerl(const std::string& script, const std::string& file, const test::TempDir& tmp) {
  const std::string err = tmp.File("perl.err");
  const std::string cmd =
      "perl " + Quote(kScripts + "/" + script) + " " + Quote(file) + " 2>" + Quote(err);
  std::FILE* pipe = ::popen(cmd.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << cmd;
    return {};
  }
  std::string out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  const int status = ::pclose(pipe);
  const Bytes err_bytes = test::ReadAll(err);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << cmd << "\n"
      << std::string(err_bytes.begin(), err_bytes.end());
  return out;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (std::uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}
std::string Hex(const std::string& s) {
  return Hex(std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
}

// Perl keeps dates as seconds since 1970 and stores them plus this.
constexpr std::int64_t kEpoch1904 = 2082844800;

std::int64_t PerlTime(TDateTime dt) {
  return (dt == 0 ? 0 : std::int64_t{pdb::EncodeDate(dt)}) - kEpoch1904;
}

// The file as this library reads it, in read_pdb.pl's lines.
std::string DescribeHere(const std::string& dir, const std::string& name) {
  TCorvane db;
  db.SetDirectory(dir);
  db.SetPDBFilename(name);
  db.OpenDatabase();
  std::string s = "name=" + Hex(db.DatabaseName()) + "\nattributes=";
  // Perl's names of the header attribute bits, in its (sorted) order.
  static const std::pair<const char*, std::uint16_t> kBits[] = {{"AppInfoDirty", 0x0004},
                                                                {"Backup", 0x0008},
                                                                {"Bundle", 0x0800},
                                                                {"CopyPrevention", 0x0040},
                                                                {"Hidden", 0x0100},
                                                                {"LaunchableData", 0x0200},
                                                                {"OKToInstallNewer", 0x0010},
                                                                {"Open", 0x8000},
                                                                {"ReadOnly", 0x0002},
                                                                {"Recyclable", 0x0400},
                                                                {"ResDB", 0x0001},
                                                                {"ResetAfterInstall", 0x0020},
                                                                {"Stream", 0x0080}};
  bool first = true;
  for (const auto& [bit_name, bit] : kBits) {
    if ((db.GetAttributes() & bit) == 0) continue;
    s += (first ? "" : ",") + std::string(bit_name);
    first = false;
  }
  s += "\nversion=" + std::to_string(db.GetDBVersion());
  s += "\nctime=" + std::to_string(PerlTime(db.CreationDate()));
  s += "\nmtime=" + std::to_string(PerlTime(db.GetModificationDate()));
  s += "\nbaktime=" + std::to_string(PerlTime(db.GetLastBackupDate()));
  s += "\nmodnum=" + std::to_string(db.GetModification());
  s += "\ntype=" + db.DatabaseType() + "\ncreator=" + db.CreatorID();
  s += "\nuniqueIDseed=" + std::to_string(db.GetUniqueIDSeed()) + "\n";
  db.CloseDatabase();

  const fuzz::WalkResult w = fuzz::WalkDatabase(dir, name);
  s += "appinfo=" + Hex(w.app_info) + "\nsort=" + Hex(w.sort_info) + "\n";
  // Perl's parser wants the filler byte after the table; this reader does not.
  if (w.has_categories && w.app_info.size() >= pdb::kCategoryTableSize) {
    for (int i = 0; i < 16; ++i) {
      s += "category" + std::to_string(i) + "=" + Hex(w.category_names[i]) + ":" +
           std::to_string(w.category_ids[i]) + "\n";
    }
    s += "lastUniqueID=" + std::to_string(w.app_info[274]) + "\n";
    s += "other=" + Hex(std::span(w.app_info).subspan(pdb::kCategoryTableSize)) + "\n";
  }
  for (std::size_t i = 0; i < w.records.size(); ++i) {
    const fuzz::WalkedRecord& r = w.records[i];
    std::string flags;
    const char* names[] = {"Secret", "Busy", "Dirty", "Delete"};
    for (int f = 0; f < 4; ++f) {
      if (!r.flags.Contains(static_cast<TRecEnumFlags>(f))) continue;
      if (!flags.empty()) flags += ',';
      flags += names[f];
    }
    // Perl reads no category for a busy or deleted record.
    const bool no_category = r.flags.Contains(dmRecAttrBusy) || r.flags.Contains(dmRecAttrDelete);
    s += "record" + std::to_string(i) + "=id:" + std::to_string(r.unique_id) +
         " category:" + (no_category ? "-" : std::to_string(r.category)) + " flags:" + flags +
         " data:" + (r.data ? Hex(*r.data) : "") + "\n";
  }
  s += "records=" + std::to_string(w.records.size()) + "\n";
  return s;
}

TEST(PerlInterop, FilesPerlWritesReadTheSameHere) {
  SKIP_WITHOUT_PERL();
  test::TempDir tmp;
  const std::string file = tmp.File("perl.pdb");
  RunPerl("write_pdb.pl", file, tmp);
  const std::string perl = RunPerl("read_pdb.pl", file, tmp);
  ASSERT_FALSE(perl.empty());
  EXPECT_EQ(DescribeHere(tmp.path(), "perl.pdb"), perl);

  // What write_pdb.pl set, checked here directly.
  TCorvane db;
  db.SetDirectory(tmp.path());
  db.SetPDBFilename("perl.pdb");
  db.OpenDatabase();
  EXPECT_EQ(db.DatabaseName(), "Perl Interop");
  EXPECT_EQ(db.GetAttributes(), 0x0058);
  EXPECT_EQ(db.GetDBVersion(), 3);
  EXPECT_EQ(db.GetModification(), 42u);
  // 1700000000 seconds after 1970 is 2023-11-14 22:13:20, stored as seconds since 1904.
  EXPECT_EQ(db.CreationDate(), EncodeDate(2023, 11, 14) + EncodeTime(22, 13, 20, 0));
  EXPECT_EQ(db.GetLastBackupDate(), EncodeDate(2023, 11, 15) + EncodeTime(0, 13, 20, 0));
  EXPECT_EQ(db.GetAppInfoOffset(), 78u + 8 * 6 + 2);
  db.CloseDatabase();

  const fuzz::WalkResult w = fuzz::WalkDatabase(tmp.path(), "perl.pdb");
  const std::string names[] = {"Unfiled", "Work", "Home", "Caf\xE9", "SixteenCharsLong", ""};
  const std::uint8_t ids[] = {0, 17, 18, 19, 20, 5};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(w.category_names[i], names[i]) << i;
    EXPECT_EQ(w.category_ids[i], ids[i]) << i;
  }
  EXPECT_EQ(std::string(w.app_info.end() - 5, w.app_info.end()), "EXTRA");
  EXPECT_EQ(w.sort_info, (Bytes{1, 2, 3}));
  ASSERT_EQ(w.records.size(), 6u);
  EXPECT_EQ(w.records[2].unique_id, 0xABCDEFu);
  EXPECT_EQ(w.records[2].category, 15);
  EXPECT_EQ(w.records[2].data->size(), 256u);
  ASSERT_NE(w.records[3].data, nullptr);  // zero length, but not deleted
  EXPECT_TRUE(w.records[3].data->empty());
  EXPECT_EQ(w.records[4].flags, (TRecFlags{dmRecAttrSecret, dmRecAttrDirty}));
  // Perl moves deleted records to the end of the list.
  EXPECT_EQ(w.records[5].data, nullptr);
  EXPECT_EQ(w.records[5].unique_id, 0x105u);
  EXPECT_EQ(w.deleted, 1);
}

// Writes the file the next test hands to Perl: every header value set, the
// category table with data after it, sort-info, records of every flag.
void WriteForPerl(const std::string& dir) {
  TPDBBaseMgr db;
  db.SetDirectory(dir);
  db.SetPDBFilename("ours.pdb");
  db.SetOpenMode(dmModeWriteOnly);
  db.SetDBName("Corvane Out");
  db.SetDatabaseType("Typ1");
  db.SetCreatorID("Cv01");
  db.CreateDatabase();
  db.SetAttributes(0x8000 | 0x0040 | 0x0008 | 0x0002);
  db.SetDBVersion(7);
  db.SetModification(99);
  db.SetCreationDate(EncodeDate(2024, 1, 2) + EncodeTime(3, 4, 5, 0));
  db.SetModificationDate(EncodeDate(2024, 6, 7) + EncodeTime(8, 9, 10, 0));
  db.SetLastBackupDate(EncodeDate(2024, 6, 8));
  db.SetUniqueIDSeed(0x123456);
  db.SetWriteCategory(true);
  db.SetCategory(0, "Unfiled");
  db.SetCategory(1, "Fam\xEDlia");
  db.SetCategory(2, "SixteenCharsLong");
  db.SetCategory(3, "SeventeenCharsLong");  // cut to 16 bytes
  db.SetAppInfoP(Bytes{'A', 'P', 'P', 0, 1});
  db.SetSortInfoP(Bytes{'S', 'O', 'R', 'T'});
  struct Rec {
    std::string data;
    std::uint8_t category;
    TRecFlags flags;
    std::int32_t uid;
  };
  const Rec recs[] = {
      {"gone first", 1, {dmRecAttrDelete}, 7},  // deleted records carry no data
      {"first", 1, {dmRecAttrDirty}, 1},
      {std::string("with\0zero", 9), 2, {dmRecAttrSecret}, 0x1ABCDEF},  // 24 bits kept
      {"", 3, {}, 3},                                                   // zero length
      {"gone", 5, {dmRecAttrDelete, dmRecAttrDirty}, 8},
      {"busy one", 4, {dmRecAttrBusy, dmRecAttrDirty}, 4},
      {"last", 15, {dmRecAttrSecret, dmRecAttrDirty}, 0xFFFFFF},
      {"gone last", 2, {dmRecAttrDelete}, 9},
  };
  for (const Rec& r : recs) {
    db.SetCurrentRecord(Bytes(r.data.begin(), r.data.end()));
    db.SetRecCategory(r.category);
    db.SetRecFlags(r.flags);
    db.SetRecUniqueID(r.uid);
    db.WriteRawRecord();
  }
  db.CloseDatabase();
}

TEST(PerlInterop, FilesWrittenHereLoadTheSameInPerl) {
  SKIP_WITHOUT_PERL();
  test::TempDir tmp;
  WriteForPerl(tmp.path());
  const std::string perl = RunPerl("read_pdb.pl", tmp.File("ours.pdb"), tmp);
  ASSERT_FALSE(perl.empty());
  EXPECT_EQ(perl, DescribeHere(tmp.path(), "ours.pdb"));

  // Perl's reading of what WriteForPerl set.
  const std::string expected[] = {
      "name=" + Hex(std::string("Corvane Out")) + "\n",
      "attributes=Backup,CopyPrevention,Open,ReadOnly\n",
      "version=7\n",
      "ctime=1704164645\n",  // 2024-01-02 03:04:05 as Perl counts it
      "mtime=1717747750\n",
      "baktime=1717804800\n",
      "modnum=99\n",
      "type=Typ1\ncreator=Cv01\n",
      "uniqueIDseed=1193046\n",
      "sort=534f5254\n",
      "category1=" + Hex(std::string("Fam\xEDlia")) + ":1\n",
      "category3=" + Hex(std::string("SeventeenCharsLo")) + ":3\n",
      "lastUniqueID=15\n",
      "other=4150500001\n",
      "record0=id:7 category:- flags:Delete data:\n",
      "record1=id:1 category:1 flags:Dirty data:6669727374\n",
      "record2=id:11259375 category:2 flags:Secret data:77697468007a65726f\n",
      "record3=id:3 category:3 flags: data:\n",
      "record4=id:8 category:- flags:Dirty,Delete data:\n",
      "record5=id:4 category:- flags:Busy,Dirty data:" + Hex(std::string("busy one")) + "\n",
      "record6=id:16777215 category:15 flags:Secret,Dirty data:6c617374\n",
      "record7=id:9 category:- flags:Delete data:\n",
      "records=8\n",
  };
  for (const std::string& line : expected) {
    EXPECT_NE(perl.find(line), std::string::npos) << line << "not in\n" << perl;
  }
}

// Every shipped sample (the contacts one has a deleted record in the middle)
// loads in Perl as it reads here.
TEST(PerlInterop, ShippedSamplesLoadTheSameInPerl) {
  SKIP_WITHOUT_PERL();
  test::TempDir tmp;
  const std::string samples = std::string(CORVANE_SOURCE_DIR) + "/samples";
  for (const char* name : {"contacts.pdb", "appforge.pdb", "generic.pdb", "java.pdb", "nsbasic.pdb",
                           "pocketstudio.pdb", "sqldriver.pdb"}) {
    SCOPED_TRACE(name);
    const std::string perl = RunPerl("read_pdb.pl", samples + "/" + name, tmp);
    EXPECT_EQ(perl, DescribeHere(samples, name));
  }
}

}  // namespace
}  // namespace corvane
