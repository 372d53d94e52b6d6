#include "corvane/pdb/file_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "corvane/foundation/byte_order.h"

namespace corvane::pdb {

TDateTime DecodeDate(std::uint32_t stored, int bias_minutes) noexcept {
  if ((stored >> 16) == 0) return 0;
  std::uint32_t s;
  if (stored >= 0x80000000u) {
    s = stored - kPalmToUnixSeconds;
  } else {
    s = stored - static_cast<std::uint32_t>(60 * bias_minutes);
  }
  return kUnixEpochDay + static_cast<double>(s / 86400u) + static_cast<double>(s % 86400u) / 86400.0;
}

namespace {

// Seconds since 1904-01-01 (whole seconds, milliseconds dropped), unbounded.
std::int64_t SecondsSincePalmEpoch(TDateTime date) noexcept {
  double whole = std::trunc(date);
  // The time of day to the nearest millisecond, then whole seconds (milliseconds dropped).
  auto ms = std::llround(std::fabs(date - whole) * kMSecsPerDay);
  if (ms >= static_cast<long long>(kMSecsPerDay)) {
    ms = 0;
    whole += date < 0 ? -1 : 1;
  }
  const auto days = static_cast<std::int64_t>(whole) - static_cast<std::int64_t>(kPalmEpochDay);
  return days * 86400 + ms / 1000;
}

}  // namespace

std::uint32_t EncodeDate(TDateTime date) noexcept {
  if (!std::isfinite(date) || std::fabs(date) > 3.0e6) return 0;
  return static_cast<std::uint32_t>(SecondsSincePalmEpoch(date));
}

bool StoredDate(TDateTime date, int bias_minutes, std::uint32_t& out) noexcept {
  if (!std::isfinite(date) || std::fabs(date) > 3.0e6) return false;
  const std::int64_t palm = SecondsSincePalmEpoch(date);
  if (palm >= 0x80000000LL && palm <= 0xFFFFFFFFLL) {
    out = static_cast<std::uint32_t>(palm);
    return true;
  }
  // The reader takes a value below 2^31 for UTC seconds since 1970 (and one
  // whose two high bytes are 0 for no date at all).
  const std::int64_t unix_utc = palm - kPalmToUnixSeconds + 60LL * bias_minutes;
  if (unix_utc >= 0x10000LL && unix_utc < 0x80000000LL) {
    out = static_cast<std::uint32_t>(unix_utc);
    return true;
  }
  return false;
}

bool StoresDate(std::uint32_t stored, TDateTime date, int bias_minutes) noexcept {
  if ((stored >> 16) == 0 || !std::isfinite(date) || std::fabs(date) > 3.0e6) return false;
  return SecondsSincePalmEpoch(DecodeDate(stored, bias_minutes)) == SecondsSincePalmEpoch(date);
}

Header DecodeHeader(std::span<const std::uint8_t, kHeaderSize> b, int bias) {
  Header h;
  const auto* name_end = std::find(b.data(), b.data() + kNameSize, std::uint8_t{0});
  h.name.assign(reinterpret_cast<const char*>(b.data()), name_end - b.data());
  h.attributes = LoadU16(&b[32]);
  h.version = LoadU16(&b[34]);
  h.creation_stored = LoadU32(&b[36]);
  h.modification_stored = LoadU32(&b[40]);
  h.backup_stored = LoadU32(&b[44]);
  h.creation_date = DecodeDate(h.creation_stored, bias);
  h.modification_date = DecodeDate(h.modification_stored, bias);
  h.backup_date = DecodeDate(h.backup_stored, bias);
  h.modification_number = LoadU32(&b[48]);
  h.app_info_offset = LoadU32(&b[52]);
  h.sort_info_offset = LoadU32(&b[56]);
  h.type.assign(reinterpret_cast<const char*>(&b[60]), 4);
  h.creator.assign(reinterpret_cast<const char*>(&b[64]), 4);
  h.unique_id_seed = LoadU32(&b[68]);
  h.next_record_list_id = LoadU32(&b[72]);
  h.record_count = LoadU16(&b[76]);
  return h;
}

void EncodeHeader(const Header& h, std::span<std::uint8_t, kHeaderSize> out) noexcept {
  std::memset(out.data(), 0, kHeaderSize);
  std::memcpy(out.data(), h.name.data(), std::min(h.name.size(), kNameSize - 1));
  StoreU16(&out[32], h.attributes);
  StoreU16(&out[34], h.version);
  // No date (0) is written as its stored value, which may be 0 too.
  const auto date = [](std::uint32_t stored, TDateTime d) {
    return stored != 0 || d == 0 ? stored : EncodeDate(d);
  };
  StoreU32(&out[36], date(h.creation_stored, h.creation_date));
  StoreU32(&out[40], date(h.modification_stored, h.modification_date));
  StoreU32(&out[44], h.backup_date > 0 ? date(h.backup_stored, h.backup_date) : h.backup_stored);
  StoreU32(&out[48], h.modification_number);
  StoreU32(&out[52], h.app_info_offset);
  StoreU32(&out[56], h.sort_info_offset);
  std::memcpy(&out[60], h.type.data(), std::min<std::size_t>(h.type.size(), 4));
  std::memcpy(&out[64], h.creator.data(), std::min<std::size_t>(h.creator.size(), 4));
  StoreU32(&out[68], h.unique_id_seed);
  StoreU32(&out[72], h.next_record_list_id);
  StoreU16(&out[76], h.record_count);
}

bool DecodeCategoryTable(std::span<const std::uint8_t> block, CategoryTable& out) {
  if (block.size() < kCategoryTableMinSize) return false;
  for (std::size_t i = 0; i < 16; ++i) {
    const std::uint8_t* p = block.data() + 2 + kCategoryNameSize * i;
    const auto* end = std::find(p, p + kCategoryNameSize, std::uint8_t{0});
    out.names[i].assign(reinterpret_cast<const char*>(p), end - p);
  }
  std::memcpy(out.ids.data(), block.data() + 258, 17);
  return true;
}

void EncodeCategoryTable(const TArrayCategories& names, std::span<const std::uint8_t, 17> ids,
                         std::span<std::uint8_t, kCategoryTableSize> out) noexcept {
  std::memset(out.data(), 0, kCategoryTableSize);
  for (std::size_t i = 0; i < 16; ++i) {
    std::memcpy(out.data() + 2 + kCategoryNameSize * i, names[i].data(),
                std::min(names[i].size(), kCategoryNameSize));
  }
  std::memcpy(out.data() + 258, ids.data(), 16);
  out[274] = ids[15];
}

}  // namespace corvane::pdb
