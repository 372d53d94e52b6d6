#include "corvane/host/datetime.h"

#include <sys/time.h>

#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <list>
#include <mutex>

#include "corvane/host/exceptions.h"

namespace corvane {
namespace {

// Days from 0001-01-01 to 1899-12-31: day 1 of the count is 0001-01-01.
constexpr std::int64_t kDaysFrom1To1899 = 693594;

constexpr std::int64_t DaysBeforeYear(int year) noexcept {
  const std::int64_t y = year - 1;
  return y * 365 + y / 4 - y / 100 + y / 400;
}

// Splits a date-time into its day number and its time of day in milliseconds,
// rounded to the nearest millisecond, honouring the rule that the fraction of a
// negative value is the time of day of the day given by its whole part.
void Split(TDateTime dt, std::int64_t& days, std::int64_t& ms) {
  if (!std::isfinite(dt) || std::fabs(dt) > 3.0e6) {
    throw EConvertError("Invalid date/time value");
  }
  days = static_cast<std::int64_t>(dt);  // toward zero, as trunc
  // Rounded half away from zero without llround's library call: every date
  // packed into a record comes through here. The fraction is below one day,
  // so the product is far below 2^53 and its whole part and rest are exact.
  const double scaled = std::fabs(dt - static_cast<double>(days)) * kMSecsPerDay;
  ms = static_cast<std::int64_t>(scaled);
  if (scaled - static_cast<double>(ms) >= 0.5) ++ms;
  if (ms >= static_cast<std::int64_t>(kMSecsPerDay)) {  // rounds up to the next day
    ms = 0;
    days += dt < 0 ? -1 : 1;
  }
}

}  // namespace

bool IsLeapYear(int year) noexcept {
  return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) noexcept {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) noexcept {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, month)) return false;
  static constexpr int kDaysBeforeMonth[12] = {0,   31,  59,  90,  120, 151,
                                               181, 212, 243, 273, 304, 334};
  std::int64_t n = DaysBeforeYear(year) + kDaysBeforeMonth[month - 1] + day;
  if (month > 2 && IsLeapYear(year)) ++n;
  out = static_cast<double>(n - kDaysFrom1To1899);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out) noexcept {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999) {
    return false;
  }
  out = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / kMSecsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime out = 0;
  if (!TryEncodeDate(year, month, day, out)) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "Invalid argument to date encode: %d-%d-%d", year, month, day);
    throw EConvertError(buf);
  }
  return out;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime out = 0;
  if (!TryEncodeTime(hour, minute, second, msec, out)) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "Invalid argument to time encode: %d:%d:%d.%d", hour, minute,
                  second, msec);
    throw EConvertError(buf);
  }
  return out;
}

DateParts datetime_detail::DecodeDateSplit(TDateTime dt) {
  std::int64_t days = 0, ms = 0;
  Split(dt, days, ms);
  std::int64_t n = days + kDaysFrom1To1899 - 1;  // days since 0001-01-01
  constexpr std::int64_t kDaysTo10000 = DaysBeforeYear(10000);
  if (n < 0 || n >= kDaysTo10000) throw EConvertError("Invalid date/time value");
  return datetime_detail::CivilFromDays(static_cast<std::uint32_t>(n + 306));
}

TimeParts DecodeTime(TDateTime dt) {
  std::int64_t days = 0, ms = 0;
  Split(dt, days, ms);
  TimeParts t;
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.msec = static_cast<int>(ms % 1000);
  return t;
}

double DateOf(TDateTime dt) noexcept {
  return std::trunc(dt);
}
double TimeOf(TDateTime dt) noexcept {
  return std::fabs(dt - std::trunc(dt));
}

TDateTime Now() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  const std::time_t secs = tv.tv_sec;
  std::tm local{};
  localtime_r(&secs, &local);
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
         EncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                    static_cast<int>(tv.tv_usec / 1000));
}

namespace {

// Every set of settings ever published, never altered or freed while the
// process runs, so that a reference handed to a reader stays valid whatever
// other threads publish after it.
struct PublishedSettings {
  std::mutex lock;
  std::list<FormatSettings> sets{FormatSettings{}};
  std::atomic<const FormatSettings*> current{&sets.front()};
};

PublishedSettings& Published() noexcept {
  static PublishedSettings published;
  return published;
}

// Caller holds p.lock.
void PublishLocked(PublishedSettings& p, const FormatSettings& settings) {
  if (*p.current.load(std::memory_order_relaxed) == settings) return;
  for (const FormatSettings& set : p.sets) {
    if (set == settings) {
      p.current.store(&set, std::memory_order_release);
      return;
    }
  }
  p.sets.push_back(settings);
  p.current.store(&p.sets.back(), std::memory_order_release);
}

}  // namespace

const FormatSettings& DefaultFormatSettings() noexcept {
  return *Published().current.load(std::memory_order_acquire);
}

void SetDefaultFormatSettings(const FormatSettings& settings) {
  PublishedSettings& p = Published();
  // Most calls (every manager's constructor) set what is already in force:
  // comparing needs no lock, since a published set never changes.
  if (*p.current.load(std::memory_order_acquire) == settings) return;
  const std::lock_guard<std::mutex> guard(p.lock);
  PublishLocked(p, settings);
}

void ChangeDefaultFormatSettings(const std::function<void(FormatSettings&)>& change) {
  PublishedSettings& p = Published();
  const std::lock_guard<std::mutex> guard(p.lock);
  FormatSettings next = *p.current.load(std::memory_order_relaxed);
  change(next);
  PublishLocked(p, next);
}

namespace {

void AppendNumber(std::string& out, int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  out += buf;
}

// Expands a format of letters d m y h n s z; '/' and ':' become the separators,
// anything else is copied.
std::string Format(const std::string& fmt, const DateParts& d, const TimeParts& t,
                   const FormatSettings& fs) {
  std::string out;
  for (std::size_t i = 0; i < fmt.size();) {
    const char c = static_cast<char>(fmt[i] | 0x20);
    std::size_t run = 1;
    while (i + run < fmt.size() && static_cast<char>(fmt[i + run] | 0x20) == c &&
           std::isalpha(static_cast<unsigned char>(fmt[i + run]))) {
      ++run;
    }
    if (!std::isalpha(static_cast<unsigned char>(fmt[i]))) {
      run = 1;
      if (fmt[i] == '/') {
        out += fs.DateSeparator;
      } else if (fmt[i] == ':') {
        out += fs.TimeSeparator;
      } else {
        out += fmt[i];
      }
    } else if (c == 'd') {
      AppendNumber(out, d.day, run >= 2 ? 2 : 1);
    } else if (c == 'm') {
      AppendNumber(out, d.month, run >= 2 ? 2 : 1);
    } else if (c == 'y') {
      if (run <= 2) {
        AppendNumber(out, d.year % 100, 2);
      } else {
        AppendNumber(out, d.year, 4);
      }
    } else if (c == 'h') {
      AppendNumber(out, t.hour, run >= 2 ? 2 : 1);
    } else if (c == 'n') {
      AppendNumber(out, t.minute, run >= 2 ? 2 : 1);
    } else if (c == 's') {
      AppendNumber(out, t.second, run >= 2 ? 2 : 1);
    } else if (c == 'z') {
      AppendNumber(out, t.msec, run >= 3 ? 3 : 1);
    } else {
      out.append(fmt, i, run);
    }
    i += run;
  }
  return out;
}

}  // namespace

std::string DateToStr(TDateTime dt, const FormatSettings& fs) {
  return Format(fs.ShortDateFormat, DecodeDate(dt), TimeParts{}, fs);
}

std::string TimeToStr(TDateTime dt, const FormatSettings& fs) {
  return Format(fs.LongTimeFormat, DateParts{}, DecodeTime(dt), fs);
}

std::string DateTimeToStr(TDateTime dt, const FormatSettings& fs) {
  const TimeParts t = DecodeTime(dt);
  const bool has_time = t.hour || t.minute || t.second || t.msec;
  if (DateOf(dt) == 0 && has_time) return TimeToStr(dt, fs);
  std::string out = DateToStr(dt, fs);
  if (has_time) {
    out += ' ';
    out += TimeToStr(dt, fs);
  }
  return out;
}

namespace {

// Reads up to max_digits digits; false when there is none.
bool ReadNumber(const std::string& s, std::size_t& i, int max_digits, int& value) {
  std::size_t start = i;
  value = 0;
  while (i < s.size() && i - start < static_cast<std::size_t>(max_digits) &&
         std::isdigit(static_cast<unsigned char>(s[i]))) {
    value = value * 10 + (s[i] - '0');
    ++i;
  }
  return i > start;
}

void SkipBlanks(const std::string& s, std::size_t& i) {
  while (i < s.size() && s[i] == ' ') ++i;
}

// Order of day, month and year in the short date format: e.g. "dmy" or "ymd".
std::string DateOrder(const FormatSettings& fs) {
  std::string order;
  for (char ch : fs.ShortDateFormat) {
    const char c = static_cast<char>(ch | 0x20);
    if ((c == 'd' || c == 'm' || c == 'y') && order.find(c) == std::string::npos) order += c;
  }
  return order.size() == 3 ? order : "ymd";
}

bool ParseTime(const std::string& s, std::size_t& i, const FormatSettings& fs, TDateTime& out) {
  int h = 0, n = 0, sec = 0, ms = 0;
  if (!ReadNumber(s, i, 2, h)) return false;
  if (i >= s.size() || s[i] != fs.TimeSeparator) return false;
  ++i;
  if (!ReadNumber(s, i, 2, n)) return false;
  if (i < s.size() && s[i] == fs.TimeSeparator) {
    ++i;
    if (!ReadNumber(s, i, 2, sec)) return false;
    if (i < s.size() && s[i] == '.') {
      ++i;
      std::size_t start = i;
      if (!ReadNumber(s, i, 3, ms)) return false;
      for (std::size_t k = i - start; k < 3; ++k) ms *= 10;
    }
  }
  return TryEncodeTime(h, n, sec, ms, out);
}

bool ParseDate(const std::string& s, std::size_t& i, const FormatSettings& fs, TDateTime& out) {
  const std::string order = DateOrder(fs);
  int parts[3] = {0, 0, 0};
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      if (i >= s.size() || s[i] != fs.DateSeparator) return false;
      ++i;
    }
    if (!ReadNumber(s, i, order[k] == 'y' ? 4 : 2, parts[k])) return false;
  }
  int y = 0, m = 0, d = 0;
  for (int k = 0; k < 3; ++k) {
    if (order[k] == 'y') y = parts[k];
    if (order[k] == 'm') m = parts[k];
    if (order[k] == 'd') d = parts[k];
  }
  return TryEncodeDate(y, m, d, out);
}

}  // namespace

bool TryStrToDateTime(const std::string& text, TDateTime& out, const FormatSettings& fs) noexcept {
  std::size_t i = 0;
  SkipBlanks(text, i);
  TDateTime date = 0, time = 0;
  const std::size_t start = i;
  if (ParseDate(text, i, fs, date)) {
    SkipBlanks(text, i);
    if (i < text.size()) {
      if (!ParseTime(text, i, fs, time)) return false;
      SkipBlanks(text, i);
    }
  } else {
    i = start;
    date = 0;
    if (!ParseTime(text, i, fs, time)) return false;
    SkipBlanks(text, i);
  }
  if (i != text.size()) return false;
  // Negative days carry their time of day backwards from the day number.
  out = date < 0 ? date - time : date + time;
  return true;
}

TDateTime StrToDateTime(const std::string& text, const FormatSettings& fs) {
  TDateTime out = 0;
  if (!TryStrToDateTime(text, out, fs)) {
    throw EConvertError("'" + text + "' is not a valid date and time");
  }
  return out;
}

}  // namespace corvane
