#include "corvane/interchange/time_zone.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "corvane/host/exceptions.h"
#include "corvane/interchange/output.h"

namespace corvane::cli {
namespace {

// No zone file is near this size; a larger one is not read at all.
constexpr std::size_t kMostBytes = 1 << 20;
// Offsets beyond a day and more are no real zone's, and would overflow sums.
constexpr std::int32_t kMostOffset = 26 * 3600;
// Changes are worked out to here: past every date the handheld holds.
constexpr int kLastYear = 2040;

std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2);
}

int DaysInMonth(int y, int m) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// Big-endian numbers from the file, each read checked against its size.
class Cursor {
 public:
  Cursor(std::span<const std::uint8_t> b, const std::string& tzid) : b_(b), tzid_(tzid) {}
  void Need(std::size_t n) const {
    if (b_.size() - at_ < n) Bad();
  }
  [[noreturn]] void Bad() const {
    throw Exception("time zone " + tzid_ + ": the zone file is damaged");
  }
  std::uint8_t U8() {
    Need(1);
    return b_[at_++];
  }
  std::uint32_t U32() {
    Need(4);
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | b_[at_++];
    return v;
  }
  std::int64_t I64() {
    Need(8);
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | b_[at_++];
    return static_cast<std::int64_t>(v);
  }
  void Skip(std::size_t n) {
    Need(n);
    at_ += n;
  }
  std::size_t At() const noexcept { return at_; }
  std::span<const std::uint8_t> Rest() const { return b_.subspan(at_); }

 private:
  std::span<const std::uint8_t> b_;
  const std::string& tzid_;
  std::size_t at_ = 0;
};

struct Counts {
  std::uint32_t isut, isstd, leap, time, type, chars;
};

Counts ReadHeader(Cursor& in, std::uint8_t& version) {
  in.Need(44);
  if (in.U8() != 'T' || in.U8() != 'Z' || in.U8() != 'i' || in.U8() != 'f') in.Bad();
  version = in.U8();
  in.Skip(15);
  Counts c{};
  c.isut = in.U32();
  c.isstd = in.U32();
  c.leap = in.U32();
  c.time = in.U32();
  c.type = in.U32();
  c.chars = in.U32();
  // Every count is bounded by the bytes it needs, so none can be huge here.
  if (c.type == 0 || c.type > 256 || c.chars == 0 || c.time > kMostBytes || c.leap > kMostBytes ||
      (c.isut != 0 && c.isut != c.type) || (c.isstd != 0 && c.isstd != c.type))
    in.Bad();
  return c;
}

std::size_t BlockSize(const Counts& c, std::size_t time_size) {
  return std::size_t{c.time} * time_size + c.time + std::size_t{c.type} * 6 + c.chars +
         std::size_t{c.leap} * (time_size + 4) + c.isstd + c.isut;
}

// A POSIX TZ string's pieces: "CET-1CEST,M3.5.0,M10.5.0/3".
class PosixReader {
 public:
  explicit PosixReader(const std::string& s) : s_(s) {}
  bool Name(std::string& name) {
    name.clear();
    if (p_ < s_.size() && s_[p_] == '<') {
      const std::size_t end = s_.find('>', p_);
      if (end == std::string::npos) return false;
      name = s_.substr(p_ + 1, end - p_ - 1);
      p_ = end + 1;
    } else {
      while (p_ < s_.size() &&
             ((s_[p_] >= 'A' && s_[p_] <= 'Z') || (s_[p_] >= 'a' && s_[p_] <= 'z')))
        name += s_[p_++];
    }
    return name.size() >= 3;
  }
  // [+-]hh[:mm[:ss]]; hours up to 167 as rule times allow.
  bool Seconds(std::int32_t& out) {
    int sign = 1;
    if (p_ < s_.size() && (s_[p_] == '+' || s_[p_] == '-')) sign = s_[p_++] == '-' ? -1 : 1;
    std::int32_t total = 0;
    for (int part = 0; part < 3; ++part) {
      if (part > 0) {
        if (p_ >= s_.size() || s_[p_] != ':') break;
        ++p_;
      }
      int n = 0, digits = 0;
      while (p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '9' && digits < 3) {
        n = n * 10 + (s_[p_++] - '0');
        ++digits;
      }
      if (digits == 0 || (part == 0 && n > 167) || (part > 0 && n > 59)) return false;
      total += n * (part == 0 ? 3600 : part == 1 ? 60 : 1);
    }
    out = sign * total;
    return true;
  }
  bool StartsNumber() const {
    return p_ < s_.size() && (s_[p_] == '+' || s_[p_] == '-' || (s_[p_] >= '0' && s_[p_] <= '9'));
  }
  bool Take(char c) {
    if (p_ < s_.size() && s_[p_] == c) {
      ++p_;
      return true;
    }
    return false;
  }
  bool Int(int& n, int lo, int hi) {
    n = 0;
    int digits = 0;
    while (p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '9' && digits < 3) {
      n = n * 10 + (s_[p_++] - '0');
      ++digits;
    }
    return digits > 0 && n >= lo && n <= hi;
  }
  bool Done() const { return p_ == s_.size(); }

 private:
  const std::string& s_;
  std::size_t p_ = 0;
};

std::string Offset(std::int32_t seconds) {
  const char sign = seconds < 0 ? '-' : '+';
  const std::int32_t a = seconds < 0 ? -seconds : seconds;
  char buf[16];
  if (a % 60 != 0) {
    std::snprintf(buf, sizeof buf, "%c%02d%02d%02d", sign, a / 3600, a / 60 % 60, a % 60);
  } else {
    std::snprintf(buf, sizeof buf, "%c%02d%02d", sign, a / 3600, a / 60 % 60);
  }
  return buf;
}

std::string LocalTime(std::int64_t local) {
  const std::int64_t days = (local >= 0 ? local : local - 86399) / 86400;
  const std::int64_t secs = local - days * 86400;
  std::int64_t y = 0;
  int m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld%02d%02dT%02d%02d%02d", static_cast<long long>(y), m, d,
                static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                static_cast<int>(secs % 60));
  return buf;
}

}  // namespace

std::int64_t TimeZone::DayStart(int year, int month, int day) {
  return DaysFromCivil(year, month, day) * 86400;
}

std::string TimeZone::DateTimeText(std::int64_t seconds) {
  return LocalTime(seconds);
}

TimeZone TimeZone::Load(const std::string& tzid) {
  // A zone's name, never a way out of the zone directory.
  bool ok = !tzid.empty() && tzid.size() < 256 && tzid.front() != '/' &&
            tzid.find("..") == std::string::npos;
  for (char c : tzid) {
    ok = ok && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '/' || c == '_' || c == '-' || c == '+');
  }
  if (!ok)
    throw UsageError("--timezone '" + tzid + "' is no time zone name (such as Europe/Berlin)");
  const char* dir = std::getenv("TZDIR");
  const std::string path =
      std::string(dir != nullptr && *dir ? dir : "/usr/share/zoneinfo") + "/" + tzid;
  std::ifstream f(path, std::ios::binary);
  if (!f) throw UsageError("unknown --timezone '" + tzid + "': no zone file " + path);
  std::vector<std::uint8_t> bytes;
  char buf[4096];
  while (f.read(buf, sizeof buf) || f.gcount() > 0) {
    bytes.insert(bytes.end(), buf, buf + f.gcount());
    if (bytes.size() > kMostBytes) break;
  }
  if (bytes.size() > kMostBytes || f.bad())
    throw Exception("time zone " + tzid + ": " + path + " is no zone file");
  return Parse(tzid, bytes);
}

TimeZone TimeZone::Parse(std::string tzid, std::span<const std::uint8_t> tzif) {
  TimeZone z;
  z.id_ = std::move(tzid);
  Cursor in(tzif, z.id_);
  std::uint8_t version = 0;
  Counts c = ReadHeader(in, version);
  std::size_t time_size = 4;
  if (version >= '2') {
    // The second header and its 64-bit block supersede the first.
    in.Skip(BlockSize(c, 4));
    c = ReadHeader(in, version);
    time_size = 8;
  }
  in.Need(BlockSize(c, time_size));
  std::vector<std::int64_t> times(c.time);
  for (std::int64_t& t : times) {
    t = time_size == 8 ? in.I64() : static_cast<std::int32_t>(in.U32());
  }
  std::vector<std::uint8_t> indices(c.time);
  for (std::uint8_t& i : indices) {
    i = in.U8();
    if (i >= c.type) in.Bad();
  }
  std::vector<std::pair<std::uint8_t, std::uint8_t>> names(c.type);
  z.types_.resize(c.type);
  for (std::size_t i = 0; i < c.type; ++i) {
    const auto offset = static_cast<std::int32_t>(in.U32());
    if (offset < -kMostOffset || offset > kMostOffset) in.Bad();
    z.types_[i].offset = offset;
    z.types_[i].dst = in.U8() != 0;
    names[i].first = in.U8();
    if (names[i].first >= c.chars) in.Bad();
  }
  const std::span<const std::uint8_t> chars = in.Rest().first(c.chars);
  for (std::size_t i = 0; i < c.type; ++i) {
    for (std::size_t k = names[i].first; k < chars.size() && chars[k] != 0; ++k)
      z.types_[i].name += static_cast<char>(chars[k]);
  }
  in.Skip(BlockSize(c, time_size) - c.time * (time_size + 1) - std::size_t{c.type} * 6);
  for (std::size_t i = 0; i < times.size(); ++i) {
    if (i > 0 && times[i] <= times[i - 1]) in.Bad();
    z.changes_.push_back(Change{times[i], indices[i]});
  }
  if (version >= '2') {
    const std::span<const std::uint8_t> rest = in.Rest();
    if (!rest.empty() && rest[0] == '\n') {
      const auto end = std::find(rest.begin() + 1, rest.end(), '\n');
      if (end != rest.end()) z.ParseFooter(std::string(rest.begin() + 1, end));
    }
  }
  // Beyond the table, the footer's rule, worked out year by year.
  if (z.rule_.present) {
    // From the table's last year (within the years that matter: a damaged
    // file may name any moment), else from the earliest the handheld holds.
    std::int64_t year = 1900;
    if (!z.changes_.empty()) {
      int m = 0, d = 0;
      CivilFromDays(z.changes_.back().at / 86400, year, m, d);
    }
    const int first_year = static_cast<int>(std::clamp<std::int64_t>(year, 1900, kLastYear + 1));
    const std::size_t standard = z.types_.size(), daylight = standard + 1;
    z.types_.push_back(z.rule_.standard);
    z.types_.push_back(z.rule_.daylight);
    const std::int64_t last = z.changes_.empty() ? INT64_MIN : z.changes_.back().at;
    for (int y = first_year; y <= kLastYear; ++y) {
      std::vector<Change> year;
      for (int k = 0; k < 2; ++k) {
        const int m = z.rule_.month[k];
        const int first_weekday = static_cast<int>((DaysFromCivil(y, m, 1) + 4) % 7 + 7) % 7;
        int day = 1 + (z.rule_.weekday[k] - first_weekday + 7) % 7 + 7 * (z.rule_.week[k] - 1);
        while (day > DaysInMonth(y, m)) day -= 7;
        const std::int32_t before = k == 0 ? z.rule_.standard.offset : z.rule_.daylight.offset;
        year.push_back(Change{DaysFromCivil(y, m, day) * 86400 + z.rule_.time[k] - before,
                              k == 0 ? daylight : standard});
      }
      std::sort(year.begin(), year.end(),
                [](const Change& a, const Change& b) { return a.at < b.at; });
      for (const Change& ch : year) {
        if (ch.at > last) z.changes_.push_back(ch);
      }
    }
  }
  return z;
}

void TimeZone::ParseFooter(const std::string& footer) {
  PosixReader p(footer);
  Type standard, daylight;
  std::int32_t west = 0;
  if (!p.Name(standard.name) || !p.Seconds(west)) return;
  standard.offset = -west;
  if (p.Done()) return;  // one offset for all time: the table's last holds
  if (!p.Name(daylight.name)) return;
  daylight.dst = true;
  daylight.offset = standard.offset + 3600;
  if (p.StartsNumber()) {
    if (!p.Seconds(west)) return;
    daylight.offset = -west;
  }
  Rule r;
  for (int k = 0; k < 2; ++k) {
    // Only the month-week-day form: the others are not used by any zone in use.
    if (!p.Take(',') || !p.Take('M') || !p.Int(r.month[k], 1, 12) || !p.Take('.') ||
        !p.Int(r.week[k], 1, 5) || !p.Take('.') || !p.Int(r.weekday[k], 0, 6))
      return;
    if (p.Take('/') && !p.Seconds(r.time[k])) return;
  }
  if (!p.Done() || standard.offset < -kMostOffset || standard.offset > kMostOffset ||
      daylight.offset < -kMostOffset || daylight.offset > kMostOffset)
    return;
  r.standard = standard;
  r.daylight = daylight;
  r.present = true;
  rule_ = r;
}

std::int32_t TimeZone::OffsetAt(std::int64_t utc) const {
  const auto it = std::upper_bound(changes_.begin(), changes_.end(), utc,
                                   [](std::int64_t t, const Change& c) { return t < c.at; });
  if (it == changes_.begin()) return types_.front().offset;  // before the first change
  return types_[std::prev(it)->type].offset;
}

std::int64_t TimeZone::ToUtc(std::int64_t local) const {
  // Changes are far more than a day apart: at most one lies near.
  const std::int32_t early = OffsetAt(local - 86400 - kMostOffset);
  const std::int32_t late = OffsetAt(local + 86400 + kMostOffset);
  if (OffsetAt(local - early) == early) return local - early;
  if (OffsetAt(local - late) == late) return local - late;
  return local - early;  // in a gap: the offset before it
}

std::vector<std::string> TimeZone::VTimezone(std::int64_t from, std::int64_t to) const {
  std::vector<std::string> lines = {"BEGIN:VTIMEZONE", "TZID:" + id_};
  const auto observance = [&](std::int64_t at, std::int32_t before, const Type& t) {
    const char* kind = t.dst ? "DAYLIGHT" : "STANDARD";
    lines.push_back(std::string("BEGIN:") + kind);
    lines.push_back("DTSTART:" + LocalTime(at + before));
    lines.push_back("TZOFFSETFROM:" + Offset(before));
    lines.push_back("TZOFFSETTO:" + Offset(t.offset));
    if (!t.name.empty()) {
      std::string name;
      for (char c : t.name) {
        if (c != ',' && c != ';' && c != '\\' && static_cast<unsigned char>(c) >= 0x20) name += c;
      }
      lines.push_back("TZNAME:" + name);
    }
    lines.push_back(std::string("END:") + kind);
  };
  // What holds at the start, then every change up to the end.
  const std::int32_t at_start = OffsetAt(from);
  const Type* start_type = nullptr;
  const auto first = std::upper_bound(changes_.begin(), changes_.end(), from,
                                      [](std::int64_t t, const Change& c) { return t < c.at; });
  if (first != changes_.begin()) start_type = &types_[std::prev(first)->type];
  Type start = start_type ? *start_type : Type{at_start, false, {}};
  observance(from, at_start, start);
  std::int32_t before = at_start;
  for (auto it = first; it != changes_.end() && it->at < to; ++it) {
    observance(it->at, before, types_[it->type]);
    before = types_[it->type].offset;
  }
  lines.push_back("END:VTIMEZONE");
  return lines;
}

}  // namespace corvane::cli
