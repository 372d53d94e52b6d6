// A time zone from the system's zone data (the TZif files under
// /usr/share/zoneinfo, or $TZDIR), for writing the handheld's floating local
// times in a named zone. Every byte of a zone file is checked before use: a
// damaged file is refused, never read past its end.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace corvane::cli {

class TimeZone {
 public:
  // The zone named `tzid` ("Europe/Berlin"). Raises Exception for a name that
  // is no zone (or tries to leave the zone directory) and for a damaged file.
  static TimeZone Load(const std::string& tzid);
  // The zone held by the bytes of a TZif file.
  static TimeZone Parse(std::string tzid, std::span<const std::uint8_t> tzif);

  const std::string& Id() const noexcept { return id_; }
  // Seconds since 1970 at the start of a day of the proleptic Gregorian calendar.
  static std::int64_t DayStart(int year, int month, int day);
  // YYYYMMDDTHHMMSS of seconds since 1970.
  static std::string DateTimeText(std::int64_t seconds);
  // Seconds east of UTC at the moment `utc` (seconds since 1970).
  std::int32_t OffsetAt(std::int64_t utc) const;
  // The moment a wall-clock time of the zone (seconds since 1970 as if it were
  // UTC) stands for; in a gap or overlap, the reading before the change.
  std::int64_t ToUtc(std::int64_t local) const;
  // The content lines of a VTIMEZONE covering the moments from `from` to `to`.
  std::vector<std::string> VTimezone(std::int64_t from, std::int64_t to) const;

 private:
  struct Type {
    std::int32_t offset = 0;
    bool dst = false;
    std::string name;
  };
  struct Change {
    std::int64_t at;  // UTC
    std::size_t type;
  };
  // The rule that follows the table (the file's footer), when it has daylight time.
  struct Rule {
    bool present = false;
    Type standard, daylight;
    int month[2] = {0, 0}, week[2] = {0, 0}, weekday[2] = {0, 0};  // start, end
    std::int32_t time[2] = {7200, 7200};                           // seconds after local midnight
  };
  void ParseFooter(const std::string& footer);

  std::string id_;
  std::vector<Type> types_;
  std::vector<Change> changes_;
  Rule rule_;
};

}  // namespace corvane::cli
