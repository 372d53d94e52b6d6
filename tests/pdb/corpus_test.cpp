// Real files written by other software (../shared/corpus, described in its
// README) and the fuzz seeds: everything readable opens, walks and survives a
// rewrite; everything that is no record database is refused with an
// EPDBException, never a crash or another kind of error.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/host/datetime.h"
#include "corvane/pdb/corvane.h"
#include "fuzz/pdb_walk.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

const std::string kCorpus = std::string(CORVANE_SHARED_DIR) + "/corpus";
const std::string kSeeds = std::string(CORVANE_SOURCE_DIR) + "/fuzz/corpus";

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

std::vector<fs::path> FilesIn(const std::string& dir) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.is_regular_file() && e.path().filename() != "README.md") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The manager opens only *.pdb names: other files are read through a copy.
fs::path AsPdb(const fs::path& file, const test::TempDir& tmp) {
  const std::string ext = file.extension().string();
  if (ext == ".pdb" || ext == ".PDB") return file;
  const fs::path copy = fs::path(tmp.path()) / (file.stem().string() + ".pdb");
  fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
  return copy;
}

fuzz::WalkResult Walk(const fs::path& p) {
  return fuzz::WalkDatabase(p.parent_path().string(), p.filename().string());
}

bool Every(const std::string&) {
  return true;
}

void CheckFilesIn(const std::string& dir, bool (*must_refuse)(const std::string& name),
                  bool (*checked)(const std::string& name) = Every) {
  test::TempDir tmp;
  int opened = 0, refused = 0;
  for (const fs::path& file : FilesIn(dir)) {
    const std::string name = file.filename().string();
    if (!checked(name)) continue;
    SCOPED_TRACE(name);
    const fs::path pdb = AsPdb(file, tmp);
    if (must_refuse(name)) {
      EXPECT_THROW(Walk(pdb), EPDBException);
      ++refused;
    } else {
      fuzz::WalkResult walked;
      ASSERT_NO_THROW(walked = Walk(pdb));
      ASSERT_NO_THROW(fuzz::RewriteAndCompare(walked, tmp.path(), "rewritten.pdb"));
      ++opened;
    }
  }
  EXPECT_GT(opened, 0);
  EXPECT_GT(refused, 0);
}

TEST(Corpus, RealFilesOpenAndWalkOrAreRefused) {
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no shared corpus at " << kCorpus;
  CheckFilesIn(kCorpus, [](const std::string& name) {
    return StartsWith(name, "neg-") || StartsWith(name, "prc-") ||
           fs::path(name).extension() == ".prc";
  });
}

TEST(Corpus, FuzzSeedsOpenAndWalkOrAreRefused) {
  // The hand-made seeds (fuzz/make_seeds.py). Inputs the fuzzer found carry
  // other names and only have to be handled cleanly, which the fuzz regression
  // test checks.
  CheckFilesIn(
      kSeeds, [](const std::string& name) { return StartsWith(name, "bad-"); },
      [](const std::string& name) {
        return StartsWith(name, "valid-") || StartsWith(name, "odd-") || StartsWith(name, "bad-");
      });
}

// Values from the corpus README's table.
TEST(Corpus, ValuesMatchTheCorpusDescription) {
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no shared corpus at " << kCorpus;
  using Names = std::vector<std::string>;
  struct Case {
    const char* file;
    const char* name;
    const char* type_creator;
    int records, app_size;
    int deleted, dirty, secret, busy;
    // The first category names; nothing when the app-info block cannot hold a table.
    std::optional<std::vector<std::string>> categories;
    int year, month, day;  // creation date; 0: not checked
  };
  const Case cases[] = {
      {"nsb-pdbconv-WidgetInventory.pdb", "WidgetInventory", "dataPcp0", 7, 0, 0, 0, 0, 0,
       std::nullopt, 2006, 8, 31},
      {"nsb-pdbconv-OBD-II_DTC.pdb", "OBD-II DTC", "dataOBD2", 471, 0, 0, 0, 0, 0, std::nullopt,
       2006, 6, 19},
      {"nsb-NSBJPGview-Lake_jpg.pdb", "Lake.jpg", "FotoFoto", 11, 0, 0, 11, 0, 0, std::nullopt, 0,
       0, 0},
      {"superwaba-HovData.pdb", "HovData", "HovDTrac", 140, 0, 0, 140, 0, 0, std::nullopt, 2005, 9,
       13},
      {"jfile-locus-poll.pdb", "Locus Poll Results", "JbDbJBas", 1414, 568, 0, 0, 0, 0,
       // 568 bytes hold a table's worth of JFile's own data: readable, names not meaningful.
       Names{}, 1998, 6, 30},
      {"pim-AddressDB-LifeDrive.pdb", "AddressDB", "DATAaddr", 2, 638, 0, 2, 0, 0,
       Names{"Unfiled", "Business", "Personal", "QuickList", ""}, 2005, 1, 1},
      {"pim-AddressDB-PalmV-JP.pdb", "AddressDB", "DATAaddr", 1, 638, 0, 1, 0, 0,
       Names{"\x96\xa2\x95\xaa\x97\xde", "\x83r\x83W\x83l\x83X"}, 2023, 4, 18},
      {"pim-MailDB.pdb", "MailDB", "DATAmail", 2, 289, 0, 2, 0, 0,
       Names{"Inbox", "Outbox", "Deleted", "Filed"}, 2004, 4, 15},
      {"pim-ExpenseDB-empty-ptBR.pdb", "ExpenseDB", "DATAexps", 0, 392, 0, 0, 0, 0,
       Names{"N\xe3o arquivado", "Nova York", "Paris", ""}, 2006, 3, 21},
      {"pim-ToDoDB-secret.pdb", "ToDoDB", "DATAtodo", 5, 282, 0, 5, 1, 0,
       Names{"Unfiled", "Business", "Personal"}, 1999, 10, 18},
      {"pim-ToDoDB-sdk61-deDE.pdb", "ToDoDB", "DATAtodo", 1, 282, 0, 0, 0, 0,
       Names{"Nicht abgelegt", "Firma", "Privat"}, 1999, 11, 29},
      {"pim-MananaDB-empty.pdb",
       "Ma\xf1"
       "anaDB",
       "DATACYCL", 0, 282, 0, 0, 0, 0, Names{"Unfiled"}, 2009, 7, 31},
      {"app-Progect-lbPG-tutorial.pdb", "lbPG-tutorial", "DATAlbPG", 105, 318, 1, 105, 0, 0,
       Names{"Unfiled"}, 2001, 11, 17},
      {"app-KeyRing-Keys-Gtkr-0.4.pdb", "Keys-Gtkr", "GkyrGtkr", 3, 22, 0, 3, 0, 0, std::nullopt,
       1999, 11, 21},
      {"gps-cotoGPS-MarkerDB.pdb", "cotoGPS MarkerDB", "DATAcoGP", 2, 275, 0, 0, 0, 0,
       Names{"Not Assigned", "Geocache", "Earthcache"}, 0, 0, 0},
      {"gps-CoPilot-UKultralight.pdb", "CoPilot Waypoint", "waypGXBU", 324, 91, 0, 324, 0, 0,
       std::nullopt, 2001, 2, 15},
      {"game-Mulg-test-levels.pdb", "Test Levels (D)", "LevPMulg", 13, 0, 0, 13, 0, 13,
       std::nullopt, 2002, 3, 14},
      {"doc-phppdb-bookmark_test.pdb", "Bookmark Test", "TEXtREAd", 4, 0, 0, 0, 0, 0, std::nullopt,
       1972, 1, 19},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    TCorvane db;
    db.SetDirectory(kCorpus);
    db.SetPDBFilename(c.file);
    db.OpenDatabase();
    EXPECT_EQ(db.DatabaseName(), c.name);
    EXPECT_EQ(db.DatabaseType() + db.CreatorID(), c.type_creator);
    EXPECT_EQ(db.RecordCount(), c.records);
    const DateParts created = DecodeDate(db.CreationDate());
    if (c.year != 0) {
      EXPECT_EQ(created.year * 10000 + created.month * 100 + created.day,
                c.year * 10000 + c.month * 100 + c.day);
    }
    db.CloseDatabase();

    const fuzz::WalkResult w = fuzz::WalkDatabase(kCorpus, c.file);
    EXPECT_EQ(static_cast<int>(w.app_info.size()), c.app_size);
    int dirty = 0, secret = 0, busy = 0;
    for (const fuzz::WalkedRecord& r : w.records) {
      dirty += r.flags.Contains(dmRecAttrDirty);
      secret += r.flags.Contains(dmRecAttrSecret);
      busy += r.flags.Contains(dmRecAttrBusy);
    }
    EXPECT_EQ(w.deleted, c.deleted);
    EXPECT_EQ(dirty, c.dirty);
    EXPECT_EQ(secret, c.secret);
    EXPECT_EQ(busy, c.busy);
    ASSERT_EQ(w.has_categories, c.categories.has_value());
    for (std::size_t i = 0; c.categories && i < c.categories->size(); ++i) {
      EXPECT_EQ(w.category_names[i], (*c.categories)[i]) << i;
    }
  }
}

TEST(Corpus, RecordCategoriesAndTheLastRecordAtTheEndOfTheFile) {
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no shared corpus at " << kCorpus;
  const fuzz::WalkResult mail = fuzz::WalkDatabase(kCorpus, "pim-MailDB.pdb");
  ASSERT_EQ(mail.records.size(), 2u);
  EXPECT_EQ(mail.records[0].category, 1);
  EXPECT_EQ(mail.records[1].category, 1);
  const fuzz::WalkResult coto = fuzz::WalkDatabase(kCorpus, "gps-cotoGPS-MarkerDB.pdb");
  ASSERT_EQ(coto.records.size(), 2u);
  EXPECT_EQ(coto.records[0].category, 1);
  EXPECT_EQ(coto.records[1].category, 2);
  // Progect's last entry is a deleted record whose offset is the file size.
  const fuzz::WalkResult progect = fuzz::WalkDatabase(kCorpus, "app-Progect-lbPG-tutorial.pdb");
  ASSERT_FALSE(progect.records.empty());
  EXPECT_EQ(progect.records.back().data, nullptr);
  EXPECT_TRUE(progect.records.back().flags.Contains(dmRecAttrDelete));
}

}  // namespace
}  // namespace corvane
