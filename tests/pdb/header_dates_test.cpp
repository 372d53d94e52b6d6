// Header dates and attributes as written: every date written reads back as
// itself or is refused naming its field, a creation date may be kept as
// given, the stored values of a file read are written back as they were, and
// a record database never gets the resource bit.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/host/datetime.h"
#include "corvane/host/locale.h"
#include "corvane/pdb/base_mgr.h"
#include "corvane/pdb/file_format.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using HeaderDate = TCorvane::HeaderDate;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, 0);
}

struct Settings {
  TDateTime created = 0, modified = 0, backed_up = 0;
  bool as_given = false;
  std::uint16_t attributes = 0;
  std::uint32_t stored[3] = {0, 0, 0};
};

struct Result {
  int code = 0;
  std::string message;
  pdb::Header header;
};

Result WriteAndRead(const test::TempDir& dir, const Settings& s) {
  Result r;
  try {
    TPDBBaseMgr db;
    db.SetDirectory(dir.path());
    db.SetPDBFilename("dates.pdb");
    db.SetOpenMode(dmModeWriteOnly);
    db.SetDBName("Dates");
    db.SetCreatorID("test");
    db.SetDatabaseType("DATA");
    db.SetCreationDate(s.created);
    db.SetCreationDateAsGiven(s.as_given);
    db.CreateDatabase();
    db.SetModificationDate(s.modified);
    db.SetLastBackupDate(s.backed_up);
    db.SetAttributes(s.attributes);
    db.SetStoredDate(HeaderDate::Creation, s.stored[0]);
    db.SetStoredDate(HeaderDate::Modification, s.stored[1]);
    db.SetStoredDate(HeaderDate::Backup, s.stored[2]);
    db.CloseDatabase();
  } catch (const EPDBException& e) {
    r.code = e.ErrorCode();
    r.message = e.what();
    return r;
  }
  const std::vector<std::uint8_t> bytes = test::ReadAll(dir.File("dates.pdb"));
  EXPECT_GE(bytes.size(), pdb::kHeaderSize);
  if (bytes.size() >= pdb::kHeaderSize) {
    r.header = pdb::DecodeHeader(std::span<const std::uint8_t, pdb::kHeaderSize>(bytes.data(),
                                                                               pdb::kHeaderSize),
                                 StandardTimeZoneBiasMinutes());
  }
  return r;
}

std::int64_t Seconds(TDateTime d) {
  return std::llround(d * 86400.0);
}

TEST(HeaderDates, ADateNoStoredFormHoldsIsRefusedNamingItsField) {
  ScopedThreadLanguage english("en_US");
  test::TempDir dir;
  struct Case {
    Settings s;
    const char* field;
  };
  Settings late_created;
  late_created.created = At(2200, 1, 1);  // wrapped to 1993-10-19 before
  Settings late_modified;
  late_modified.modified = At(9999, 12, 31);  // wrapped to 2035-12-24 before
  Settings early_backup;
  early_backup.backed_up = At(1950, 6, 1);
  Settings just_past;
  just_past.created = At(2040, 2, 6, 6, 28, 16);
  for (const Case& c : {Case{late_created, "created"}, Case{late_modified, "modified"},
                        Case{early_backup, "backedUp"}, Case{just_past, "created"}}) {
    SCOPED_TRACE(c.field);
    const Result r = WriteAndRead(dir, c.s);
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.message.find("1970-01-02 and 2040-02-06"), std::string::npos) << r.message;
    EXPECT_NE(r.message.find(std::string("(") + c.field + ")"), std::string::npos) << r.message;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("dates.pdb")));
}

TEST(HeaderDates, EveryDateWrittenReadsBackAsItself) {
  test::TempDir dir;
  for (const TDateTime d : {At(1972, 1, 19, 3, 14, 8), At(1971, 6, 1, 12, 0, 0),
                            At(1970, 1, 2, 12, 0, 0), At(1997, 7, 26, 19, 26, 56),
                            At(2040, 2, 6, 6, 28, 15)}) {
    SCOPED_TRACE(d);
    Settings s;
    s.created = d;
    s.modified = d;
    s.backed_up = d;
    s.as_given = true;
    const Result r = WriteAndRead(dir, s);
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(Seconds(r.header.creation_date), Seconds(d));
    EXPECT_EQ(Seconds(r.header.modification_date), Seconds(d));
    EXPECT_EQ(Seconds(r.header.backup_date), Seconds(d));
  }
}

TEST(HeaderDates, ACreationDateBefore1990IsTheMomentOfWritingUnlessKeptAsGiven) {
  test::TempDir dir;
  Settings s;
  s.created = At(1972, 1, 19, 12, 0, 0);
  const TDateTime before = Now();
  Result r = WriteAndRead(dir, s);
  ASSERT_EQ(r.code, 0) << r.message;
  EXPECT_GE(Seconds(r.header.creation_date), Seconds(before) - 1);  // milliseconds dropped
  s.as_given = true;
  r = WriteAndRead(dir, s);
  ASSERT_EQ(r.code, 0) << r.message;
  EXPECT_EQ(Seconds(r.header.creation_date), Seconds(s.created));
  // No date at all is still the moment of writing.
  s.created = 0;
  r = WriteAndRead(dir, s);
  EXPECT_GE(Seconds(r.header.creation_date), Seconds(before) - 1);  // milliseconds dropped
}

// A date read from seconds since 1970 is written back in those bytes, not as
// the same moment counted from 1904; a date changed since gets its own bytes.
TEST(HeaderDates, StoredValuesOfAFileReadAreWrittenBack) {
  test::TempDir dir;
  const int bias = StandardTimeZoneBiasMinutes();
  const std::uint32_t unix_form = 0x4A000000u;  // 2009, seconds since 1970
  const TDateTime d = pdb::DecodeDate(unix_form, bias);
  Settings s;
  s.created = d;
  s.modified = d;
  s.backed_up = d;
  s.stored[0] = unix_form;
  s.stored[1] = unix_form;
  s.stored[2] = 0xC0000000u;  // stands for another moment: not used
  Result r = WriteAndRead(dir, s);
  ASSERT_EQ(r.code, 0) << r.message;
  EXPECT_EQ(r.header.creation_stored, unix_form);
  EXPECT_EQ(r.header.modification_stored, unix_form);
  EXPECT_EQ(r.header.backup_stored, pdb::EncodeDate(d));
  EXPECT_NE(r.header.backup_stored, unix_form);
}

TEST(HeaderAttributes, ARecordDatabaseNeverGetsTheResourceBit) {
  ScopedThreadLanguage english("en_US");
  test::TempDir dir;
  Settings s;
  s.attributes = 0x0009;
  Result r = WriteAndRead(dir, s);
  EXPECT_EQ(r.code, 5);
  EXPECT_NE(r.message.find("resource attribute"), std::string::npos) << r.message;
  EXPECT_FALSE(std::filesystem::exists(dir.File("dates.pdb")));
  s.attributes = 0x0008;
  r = WriteAndRead(dir, s);
  ASSERT_EQ(r.code, 0) << r.message;
  EXPECT_EQ(r.header.attributes, 0x0008);
}

}  // namespace
}  // namespace corvane
