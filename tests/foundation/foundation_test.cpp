// Byte order, small text helpers, sets and the exception.
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/custom_db.h"
#include "corvane/foundation/exception.h"
#include "corvane/foundation/types.h"
#include "corvane/host/locale.h"

namespace corvane {
namespace {

TEST(ByteOrder, SwapsReverseTheBytesAndTwiceIsIdentity) {
  std::uint32_t v = 0;
  const std::uint8_t in[4] = {0x12, 0x34, 0x56, 0x78};
  std::memcpy(&v, in, 4);
  const std::uint32_t s = SwapCardinal(v);
  std::uint8_t out[4];
  std::memcpy(out, &s, 4);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 4), (std::vector<std::uint8_t>{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(SwapWord(0x1234), 0x3412);
  EXPECT_EQ(SwapSmallInt(-2), static_cast<std::int16_t>(0xFEFF));
  EXPECT_EQ(SwapInteger(SwapInteger(-123456789)), -123456789);
  EXPECT_EQ(SwapInt64(SwapInt64(std::numeric_limits<std::int64_t>::min())),
            std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(SwapCurrency(SwapCurrency(Currency::FromRaw(-5))).value, -5);
  // Floats come back bit for bit, even those whose swapped form is a NaN.
  for (std::uint32_t bits : {0x7F800001u, 0x0000807Fu, 0x3F800000u, 0xFFFFFFFFu}) {
    const float f = std::bit_cast<float>(bits);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(SwapFloat(SwapFloat(f))), bits);
  }
  for (std::uint64_t bits : {0x7FF0000000000001ull, 0x000000000000F07Full, 0x3FF0000000000000ull}) {
    const double d = std::bit_cast<double>(bits);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(SwapDouble(SwapDouble(d))), bits);
  }
  std::uint8_t buf[8];
  StoreDouble(buf, 1.0);
  EXPECT_EQ(buf[0], 0x3F);
  EXPECT_EQ(buf[1], 0xF0);
  EXPECT_EQ(LoadDouble(buf), 1.0);
}

TEST(SmallHelpers, BetweenAndSubstr) {
  EXPECT_TRUE(Between(5, 5, 5));
  EXPECT_FALSE(Between(4, 5, 9));
  EXPECT_FALSE(Between(10, 5, 9));
  EXPECT_EQ(Substr("abc", 3, 5), "c");
  EXPECT_EQ(Substr("abc", 4, 1), "");
  EXPECT_EQ(Substr("abc", 1, 2), "ab");
  EXPECT_EQ(Substr("abc", 2, 0), "");
}

TEST(SmallHelpers, SetsMapOrdinalsToBits) {
  TRecFlags f{dmRecAttrSecret, dmRecAttrDelete};
  EXPECT_EQ(f.ToByte(), 0x09);
  EXPECT_TRUE(f.Contains(dmRecAttrDelete));
  f.Exclude(dmRecAttrDelete);
  EXPECT_EQ(f, TRecFlags({dmRecAttrSecret}));
  EXPECT_EQ((TDBFlags{dmHdrAttrBackup} + TDBFlags{dmHdrAttrReadOnly}).ToByte(), 0x05);
}

TEST(Exception, CarriesCodeAndCatalogueText) {
  EPDBException e(65535, "m");
  EXPECT_EQ(e.ErrorCode(), 65535);
  ScopedThreadLanguage pt("PTB");
  try {
    RaisePDB(3, 14030);
  } catch (const Exception& x) {  // part of the host's family
    EXPECT_STREQ(x.what(), "Arquivo PDB não existe!");
    EXPECT_EQ(dynamic_cast<const EPDBException&>(x).ErrorCode(), 3);
  }
}

TEST(CustomDB, FreeIsRepeatable) {
  TCustomDB db;
  db.Free();
  db.block = std::make_unique<Bytes>(3);
  db.Free();
  db.Free();
  EXPECT_EQ(db.block, nullptr);
  EXPECT_EQ(db.number, 0u);
}

}  // namespace
}  // namespace corvane
