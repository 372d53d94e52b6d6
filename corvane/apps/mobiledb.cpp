#include "corvane/apps/mobiledb.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace corvane::apps {
namespace {

constexpr std::array<std::uint8_t, 7> kHeader = {0xFF, 0xFF, 0xFF, 0x01, 0xFF, 0x00, 0x00};
constexpr std::size_t kSettingsSize = 428 - kCategoryPartSize - 2;
constexpr std::int64_t k1904FromEpoch = -24107;  // 1904-01-01 counted from 1970-01-01

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) noexcept {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

const std::string* MobileDBRecord::Find(std::uint8_t number) const noexcept {
  for (const MobileDBField& f : fields) {
    if (f.number == number) return &f.text;
  }
  return nullptr;
}

MobileDBRecord DecodeMobileDBRecord(std::span<const std::uint8_t> record) {
  if (record.size() < kHeader.size() ||
      !std::equal(kHeader.begin(), kHeader.end(), record.begin())) {
    RaisePDB(1, kMsgMobileDBHeader);
  }
  ByteReader in(record.subspan(kHeader.size()));
  MobileDBRecord r;
  for (;;) {
    if (in.AtEnd()) RaisePDB(2, kMsgMobileDBNotEnded);
    const std::uint8_t number = in.U8();
    if (number == kMobileDBEnd) break;
    r.fields.push_back({number, in.CString(3)});
  }
  r.extra = in.Rest();
  return r;
}

Bytes EncodeMobileDBRecord(const MobileDBRecord& record) {
  ByteWriter out;
  for (std::uint8_t b : kHeader) out.U8(b);
  for (const MobileDBField& f : record.fields) {
    if (f.number == kMobileDBEnd) RaisePDB(1, kMsgMobileDBFieldNumber);
    out.U8(f.number);
    out.CString(f.text, 2);
  }
  out.U8(kMobileDBEnd);
  out.Raw(record.extra);
  return out.Take();
}

MobileDBAppInfo MobileDBAppInfo::Standard() {
  MobileDBAppInfo info;
  constexpr std::array<std::string_view, 7> kNames = {
      "Unfiled",     "FieldLabels", "DataRecords", "DataRecordsFout",
      "Preferences", "DataType",    "FieldLengths"};
  for (std::size_t i = 0; i < 16; ++i) {
    info.categories.names[i] = i < kNames.size() ? std::string(kNames[i]) : std::string();
    info.categories.ids[i] = static_cast<std::uint8_t>(i);
  }
  info.categories.lastUniqueID = 15;
  info.version = 3;
  info.settings.assign(kSettingsSize, '\0');
  return info;
}

MobileDBAppInfo DecodeMobileDBAppInfo(std::span<const std::uint8_t> block) {
  ByteReader in(block);
  MobileDBAppInfo info;
  info.categories = DecodeCategoryInfo(in, 1);
  if (in.Remaining() >= 2) info.version = in.U16();
  info.settings = in.Rest();
  return info;
}

Bytes EncodeMobileDBAppInfo(const MobileDBAppInfo& info) {
  ByteWriter out;
  EncodeCategoryInfo(info.categories, out, 1);
  if (info.version) {
    out.U16(*info.version);
    out.Raw(info.settings);
  } else if (!info.settings.empty()) {
    RaisePDB(2, kMsgValueOutOfRange);  // settings without the version before them
  }
  return out.Take();
}

MobileDBType MobileDBTypeOf(std::string_view code) noexcept {
  if (code.empty()) return MobileDBType::kOther;
  switch (code.front()) {
    case 'T':
      return MobileDBType::kText;
    case 'B':
      return MobileDBType::kBoolean;
    case 'D':
      return MobileDBType::kDate;
    case 'd':
      return MobileDBType::kTime;
    default:
      return MobileDBType::kOther;
  }
}

std::int64_t DaysSince1904(const TableDate& date) noexcept {
  return DaysFromCivil(date.year, static_cast<unsigned>(date.month),
                       static_cast<unsigned>(date.day)) -
         k1904FromEpoch;
}

TableDate DateFrom1904(std::int64_t days) noexcept {
  const std::int64_t z = days + k1904FromEpoch + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  return TableDate{static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

TableValue MobileDBValueOf(std::string_view code, std::string_view stored) {
  const MobileDBType type = MobileDBTypeOf(code);
  if (type == MobileDBType::kText || type == MobileDBType::kOther) return std::string(stored);
  if (stored.empty()) return std::monostate{};
  switch (type) {
    case MobileDBType::kBoolean:
      if (stored == "true" || stored == "false") return stored == "true";
      break;
    case MobileDBType::kDate: {
      // At most 3652059 days (9999-12-31): seven digits, no sign, no leading zero.
      std::int64_t days = 0;
      const auto r = std::from_chars(stored.data(), stored.data() + stored.size(), days);
      if (r.ec == std::errc() && r.ptr == stored.data() + stored.size() && days >= 0 &&
          stored.size() <= 7 && (stored.size() == 1 || stored[0] != '0')) {
        const TableDate d = DateFrom1904(days);
        if (d.Valid()) return d;
      }
      break;
    }
    case MobileDBType::kTime:
      if (stored.size() == 5 && stored[2] == ':') {
        int v[2] = {0, 0};
        bool digits = true;
        for (std::size_t i : {0u, 1u, 3u, 4u}) {
          if (stored[i] < '0' || stored[i] > '9') digits = false;
          v[i / 3] = v[i / 3] * 10 + (stored[i] - '0');
        }
        const TableTime t{v[0], v[1], 0};
        if (digits && t.Valid()) return t;
      }
      break;
    default:
      break;
  }
  return std::string(stored);
}

std::string MobileDBStoredText(const TableValue& value) {
  char buf[32];
  if (const auto* t = std::get_if<std::string>(&value)) return *t;
  if (const auto* f = std::get_if<bool>(&value)) return *f ? "true" : "false";
  if (const auto* d = std::get_if<TableDate>(&value)) {
    if (!d->Valid() || d->year < 1904) RaisePDB(1, kMsgValueOutOfRange);
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, DaysSince1904(*d)).ptr);
  }
  if (const auto* t = std::get_if<TableTime>(&value)) {
    if (!t->Valid() || t->second != 0) RaisePDB(1, kMsgValueOutOfRange);
    std::snprintf(buf, sizeof buf, "%02d:%02d", t->hour, t->minute);
    return buf;
  }
  if (const auto* n = std::get_if<std::int64_t>(&value)) {
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, *n).ptr);
  }
  if (const auto* x = std::get_if<double>(&value)) return TableFloatText(*x);
  return {};
}

}  // namespace corvane::apps
