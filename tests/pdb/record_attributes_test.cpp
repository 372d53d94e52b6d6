// The record attribute byte: the flags in its high four bits, the category in
// its low four, and the 24-bit unique ID beside it. Checked on every byte value
// through the entry codec, and on written files byte by byte and read back.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvane/host/datetime.h"
#include "corvane/pdb/base_mgr.h"
#include "corvane/pdb/file_format.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

TEST(RecordAttributes, EveryAttributeByteSplitsIntoFlagsAndCategoryAndBack) {
  for (unsigned byte = 0; byte < 256; ++byte) {
    SCOPED_TRACE(byte);
    const std::uint8_t in[pdb::kEntrySize] = {0,    0,    1,   0, static_cast<std::uint8_t>(byte),
                                              0xAB, 0xCD, 0xEF};
    const pdb::Entry e = pdb::DecodeEntry(std::span<const std::uint8_t, pdb::kEntrySize>(in));
    EXPECT_EQ(e.category, byte & 0x0F);
    EXPECT_EQ(e.flags.Contains(dmRecAttrDelete), (byte & 0x80) != 0);
    EXPECT_EQ(e.flags.Contains(dmRecAttrDirty), (byte & 0x40) != 0);
    EXPECT_EQ(e.flags.Contains(dmRecAttrBusy), (byte & 0x20) != 0);
    EXPECT_EQ(e.flags.Contains(dmRecAttrSecret), (byte & 0x10) != 0);
    EXPECT_EQ(e.unique_id, 0xABCDEFu);
    std::uint8_t out[pdb::kEntrySize] = {};
    pdb::EncodeEntry(e, std::span<std::uint8_t, pdb::kEntrySize>(out));
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 8), std::vector<std::uint8_t>(in, in + 8));
  }
}

TEST(RecordAttributes, WrittenEntriesCarryFlagsCategoryAndUniqueIDExactly) {
  struct Rec {
    std::uint8_t category;
    TRecFlags flags;
    std::int32_t unique_id;
    std::uint8_t attribute_byte;  // as the file must hold it
    std::uint32_t id_in_file;
  };
  const Rec recs[] = {
      {0, {}, 1, 0x00, 1},
      {15, {}, 0xFFFFFF, 0x0F, 0xFFFFFF},
      {1, {dmRecAttrSecret}, 0x1ABCDEF, 0x11, 0xABCDEF},  // only 24 bits are kept
      {2, {dmRecAttrBusy}, 3, 0x22, 3},
      {4, {dmRecAttrDirty}, 4, 0x44, 4},
      {8, {dmRecAttrSecret, dmRecAttrBusy, dmRecAttrDirty}, -1, 0x78, 0xFFFFFF},
      {15, {dmRecAttrSecret, dmRecAttrDirty}, 0x800000, 0x5F, 0x800000},
      {7, {dmRecAttrDelete}, 9, 0x87, 9},
      {9, {dmRecAttrDelete, dmRecAttrDirty, dmRecAttrBusy, dmRecAttrSecret}, 10, 0xF9, 10},
  };
  test::TempDir dir;
  {
    TPDBBaseMgr m;
    m.SetDirectory(dir.path());
    m.SetPDBFilename("attrs.pdb");
    m.SetOpenMode(dmModeWriteOnly);
    m.SetDBName("Attributes");
    m.SetCreatorID("test");
    m.SetDatabaseType("DATA");
    m.SetCreationDate(EncodeDate(2001, 2, 3));
    m.CreateDatabase();
    for (const Rec& r : recs) {
      m.SetCurrentRecord(Bytes{r.category, 0x5A});
      m.SetRecCategory(r.category);
      m.SetRecFlags(r.flags);
      m.SetRecUniqueID(r.unique_id);
      m.WriteRawRecord();
    }
    m.CloseDatabase();
  }
  const std::vector<std::uint8_t> file = test::ReadAll(dir.File("attrs.pdb"));
  const std::size_t n = std::size(recs);
  ASSERT_GE(file.size(), 78 + 8 * n);
  for (std::size_t i = 0; i < n; ++i) {
    SCOPED_TRACE(i);
    const std::uint8_t* entry = file.data() + 78 + 8 * i;
    EXPECT_EQ(entry[4], recs[i].attribute_byte);
    EXPECT_EQ((std::uint32_t{entry[5]} << 16) | (std::uint32_t{entry[6]} << 8) | entry[7],
              recs[i].id_in_file);
  }

  TPDBBaseMgr m;
  m.SetDirectory(dir.path());
  m.SetPDBFilename("attrs.pdb");
  m.OpenDatabase();
  ASSERT_EQ(m.RecordCount(), static_cast<std::int32_t>(n));
  for (std::size_t i = 0; i < n; ++i) {
    SCOPED_TRACE(i);
    std::shared_ptr<Bytes> data;
    std::int32_t size = 0, uid = 0;
    TRecFlags flags;
    std::uint8_t category = 0;
    m.GetRecord(static_cast<std::int32_t>(i), data, size, flags, uid, category);
    EXPECT_EQ(category, recs[i].category);
    EXPECT_EQ(flags, recs[i].flags);
    EXPECT_EQ(static_cast<std::uint32_t>(uid), recs[i].id_in_file);
    if (!recs[i].flags.Contains(dmRecAttrDelete)) {
      ASSERT_TRUE(data);
      EXPECT_EQ(*data, (Bytes{recs[i].category, 0x5A}));
    }
  }
  m.CloseDatabase();
}

}  // namespace
}  // namespace corvane
