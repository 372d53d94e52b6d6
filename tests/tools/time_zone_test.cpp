// Time zones from TZif files: the table, the rule after it, local times in a
// gap or overlap, damaged files refused, and export --timezone end to end
// (checked by Python's icalendar module when it is there).
#include "corvane/interchange/time_zone.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "corvane/apps/datebook.h"
#include "corvane/host/exceptions.h"
#include "tool_runner.h"

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& b, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<std::uint8_t>(v >> s));
}

// A version 2 file: one change (`at`, to the zone's second type) and the footer.
Bytes MakeTzif(std::int64_t at, const std::string& footer) {
  Bytes b;
  const auto header = [&] {
    for (char c : std::string("TZif2")) b.push_back(static_cast<std::uint8_t>(c));
    b.resize(b.size() + 15, 0);
    for (std::uint32_t n : {0u, 0u, 0u, 1u, 2u, 8u}) Put32(b, n);
  };
  const auto data = [&](int size) {
    if (size == 8) Put32(b, static_cast<std::uint32_t>(static_cast<std::uint64_t>(at) >> 32));
    Put32(b, static_cast<std::uint32_t>(at));
    b.push_back(1);
    Put32(b, static_cast<std::uint32_t>(-3 * 3600));  // -03, standard
    b.push_back(0);
    b.push_back(0);
    Put32(b, 3600);  // CET, standard
    b.push_back(0);
    b.push_back(4);
    for (char c : std::string("-03\0CET\0", 8)) b.push_back(static_cast<std::uint8_t>(c));
  };
  header();
  data(4);
  header();
  data(8);
  b.push_back('\n');
  for (char c : footer) b.push_back(static_cast<std::uint8_t>(c));
  b.push_back('\n');
  return b;
}

constexpr std::int64_t k2000 = 946684800;  // 2000-01-01T00:00:00Z

std::int64_t At(int y, int m, int d, int hh = 0, int mm = 0) {
  return TimeZone::DayStart(y, m, d) + hh * 3600 + mm * 60;
}

bool Has(const std::vector<std::string>& lines, const std::string& l) {
  return std::find(lines.begin(), lines.end(), l) != lines.end();
}

TEST(TimeZone, TableThenTheRuleThatFollowsIt) {
  const TimeZone z = TimeZone::Parse("Test/Zone", MakeTzif(k2000, "CET-1CEST,M3.5.0,M10.5.0/3"));
  EXPECT_EQ(z.OffsetAt(k2000 - 1), -3 * 3600);
  EXPECT_EQ(z.OffsetAt(k2000), 3600);
  EXPECT_EQ(z.OffsetAt(At(2000, 7, 1)), 7200);  // the rule, from the table's last year
  EXPECT_EQ(z.OffsetAt(At(2030, 3, 31, 0, 59)), 3600);
  EXPECT_EQ(z.OffsetAt(At(2030, 3, 31, 1, 0)), 7200);  // 02:00 local, last Sunday of March
  EXPECT_EQ(z.OffsetAt(At(2030, 10, 27, 0, 59)), 7200);
  EXPECT_EQ(z.OffsetAt(At(2030, 10, 27, 1, 0)), 3600);  // 03:00 summer time
  // 02:30 on the day of the change does not happen: read before it. 02:30
  // in October happens twice: the first.
  EXPECT_EQ(z.ToUtc(At(2030, 3, 31, 2, 30)), At(2030, 3, 31, 1, 30));
  EXPECT_EQ(z.ToUtc(At(2030, 10, 27, 2, 30)), At(2030, 10, 27, 0, 30));
  EXPECT_EQ(z.ToUtc(At(2030, 7, 1, 12, 0)), At(2030, 7, 1, 10, 0));

  const std::vector<std::string> v = z.VTimezone(At(2030, 1, 1), At(2031, 1, 1));
  EXPECT_EQ(v.front(), "BEGIN:VTIMEZONE");
  EXPECT_EQ(v[1], "TZID:Test/Zone");
  EXPECT_EQ(v.back(), "END:VTIMEZONE");
  const std::vector<std::string> expected = {"BEGIN:STANDARD",     "DTSTART:20300101T010000",
                                             "TZOFFSETFROM:+0100", "TZOFFSETTO:+0100",
                                             "TZNAME:CET",         "END:STANDARD",
                                             "BEGIN:DAYLIGHT",     "DTSTART:20300331T020000",
                                             "TZOFFSETFROM:+0100", "TZOFFSETTO:+0200",
                                             "TZNAME:CEST",        "END:DAYLIGHT",
                                             "BEGIN:STANDARD",     "DTSTART:20301027T030000",
                                             "TZOFFSETFROM:+0200", "TZOFFSETTO:+0100",
                                             "TZNAME:CET",         "END:STANDARD"};
  EXPECT_EQ(std::vector<std::string>(v.begin() + 2, v.end() - 1), expected);

  // A footer of one offset, or one this reader does not know: the table holds.
  for (const char* footer : {"CET-1", "CET-1CEST,J60,J300", "garbage"}) {
    const TimeZone fixed = TimeZone::Parse("T", MakeTzif(k2000, footer));
    EXPECT_EQ(fixed.OffsetAt(At(2030, 7, 1)), 3600) << footer;
  }
  // Southern summer: daylight time across the new year.
  const TimeZone south = TimeZone::Parse("S", MakeTzif(k2000, "<-03>3<-02>,M10.1.0/0,M2.3.0/0"));
  EXPECT_EQ(south.OffsetAt(At(2030, 1, 10)), -2 * 3600);
  EXPECT_EQ(south.OffsetAt(At(2030, 6, 10)), -3 * 3600);
}

TEST(TimeZone, DamagedFilesAreRefused) {
  const Bytes good = MakeTzif(k2000, "CET-1CEST,M3.5.0,M10.5.0/3");
  const auto refused = [](const Bytes& b) {
    try {
      TimeZone::Parse("T", b);
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find("time zone T: the zone file is damaged"),
                std::string::npos);
      return true;
    }
    return false;
  };
  // Every prefix short of the 64-bit block is refused; none is read past.
  for (std::size_t n = 0; n < good.size(); ++n) {
    const Bytes part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    if (n < good.size() - 30) {
      EXPECT_TRUE(refused(part)) << n;
    } else {
      refused(part);
    }
  }
  Bytes bad_index = good;
  bad_index[44 + 25 + 44 + 8] = 7;  // the 64-bit block's type index, past the two types
  EXPECT_TRUE(refused(bad_index));
  Bytes bad_magic = good;
  bad_magic[0] = 'X';
  EXPECT_TRUE(refused(bad_magic));
  // Random damage, and the real files when there are any: never a crash.
  std::vector<Bytes> seeds = {good};
  for (const char* real :
       {"/usr/share/zoneinfo/Europe/Berlin", "/usr/share/zoneinfo/America/Sao_Paulo"}) {
    if (fs::exists(real)) seeds.push_back(test::ReadAll(real));
  }
  std::mt19937 rng(5);
  for (const Bytes& seed : seeds) {
    for (int i = 0; i < 3000; ++i) {
      Bytes b = seed;
      for (int k = 0; k < 3; ++k) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
      try {
        const TimeZone z = TimeZone::Parse("T", b);
        z.VTimezone(At(1904, 1, 1), At(2032, 1, 1));
        z.ToUtc(At(2021, 3, 28, 2, 30));
      } catch (const Exception&) {
      }
    }
  }
}

struct ExportTimeZone : ::testing::Test {
  test::TempDir dir;
  std::string Events() {
    const std::string json = dir.File("d.json");
    test::WriteText(json, R"({"app": "datebook", "records": [
      {"date": "2021-03-28", "start": "09:30", "end": "10:15", "description": "Stand-up",
       "repeat": {"type": "weekly", "frequency": 1, "end": "2021-10-31", "days": ["sun"]},
       "exceptions": ["2021-04-04"]},
      {"date": "2021-05-01", "start": null, "end": null, "description": "Holiday"}]})");
    const std::string pdb = dir.File("d.pdb");
    const test::ToolResult r = test::RunCorvane({"import", "--input", json, "-o", pdb});
    EXPECT_EQ(r.status, 0) << r.err;
    return pdb;
  }
};

TEST_F(ExportTimeZone, TimedEventsInTheNamedZone) {
  if (!fs::exists("/usr/share/zoneinfo/Europe/Berlin")) GTEST_SKIP() << "no zone data (tzdata)";
  const std::string pdb = Events();
  const test::ToolResult r =
      test::RunCorvane({"export", "--format", "ical", "--timezone", "Europe/Berlin", pdb});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = r.out.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(r.out.substr(at, end - at));
  EXPECT_TRUE(Has(lines, "TZID:Europe/Berlin"));
  EXPECT_TRUE(Has(lines, "DTSTART:20210328T020000"));
  EXPECT_TRUE(Has(lines, "DTSTART:20211031T030000"));
  EXPECT_TRUE(Has(lines, "DTSTART;TZID=Europe/Berlin:20210328T093000"));
  EXPECT_TRUE(Has(lines, "DTEND;TZID=Europe/Berlin:20210328T101500"));
  EXPECT_TRUE(Has(lines, "EXDATE;TZID=Europe/Berlin:20210404T093000"));
  // UNTIL in UTC when DTSTART names its zone: 23:59:59 CET is 22:59:59Z.
  EXPECT_TRUE(Has(lines, "RRULE:FREQ=WEEKLY;BYDAY=SU;WKST=SU;UNTIL=20211031T225959Z"));
  EXPECT_TRUE(Has(lines, "DTSTART;VALUE=DATE:20210501"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "BEGIN:VTIMEZONE"), 1);

  // Python's icalendar reads it and finds the zone's own offsets.
  if (std::system("/usr/bin/python3 -c 'import icalendar' >/dev/null 2>&1") != 0) return;
  test::WriteText(dir.File("out.ics"), r.out);
  test::WriteText(dir.File("check.py"), R"(import sys, icalendar
cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())
for e in cal.walk('VEVENT'):
    d = e.decoded('DTSTART')
    print(d.isoformat() if hasattr(d, 'isoformat') else d, e.get('RRULE') is not None)
)");
  const std::string cmd = "/usr/bin/python3 " + test::ShellQuote(dir.File("check.py")) + " " +
                          test::ShellQuote(dir.File("out.ics")) + " >" +
                          test::ShellQuote(dir.File("py.txt")) + " 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << test::ReadText(dir.File("py.txt"));
  EXPECT_EQ(test::ReadText(dir.File("py.txt")),
            "2021-03-28T09:30:00+02:00 True\n2021-05-01 False\n");
}

TEST_F(ExportTimeZone, BadNamesAndDamagedZoneFiles) {
  const std::string pdb = Events();
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"export", "--format", "ical", "--timezone", "../../etc/passwd", pdb},
       2,
       "is no time zone name"},
      {{"export", "--format", "ical", "--timezone", "Mars/Olympus_Mons", pdb},
       2,
       "unknown --timezone 'Mars/Olympus_Mons'"},
      {{"export", "--timezone", "Europe/Berlin", pdb}, 2, "--timezone is for --format ical"},
  };
  for (const Case& c : cases) {
    const test::ToolResult r = test::RunCorvane(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  // A damaged zone file in $TZDIR.
  fs::create_directories(dir.File("zones/Test"));
  test::WriteAll(dir.File("zones/Test/Bad"), Bytes{'T', 'Z', 'i', 'f', '2', 0, 0});
  const std::string cmd =
      "cd " + test::ShellQuote(dir.path()) + " && TZDIR=" + test::ShellQuote(dir.File("zones")) +
      " " + test::ShellQuote(CORVANE_TOOL_PATH) + " export --format ical --timezone Test/Bad " +
      test::ShellQuote(pdb) + " >/dev/null 2>" + test::ShellQuote(dir.File("err"));
  const int raw = std::system(cmd.c_str());
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_NE(test::ReadText(dir.File("err")).find("time zone Test/Bad: the zone file is damaged"),
            std::string::npos);
}

}  // namespace
}  // namespace corvane::cli
