// export --app on files made to be awkward: damaged records kept raw with
// --keep-going and named by their index in the file, iCalendar rules the
// handheld cannot hold, identities that survive other records' removal, and
// the vCard and iCalendar details a slip would break unnoticed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "corvane/apps/address.h"
#include "corvane/apps/datebook.h"
#include "corvane/apps/doc.h"
#include "corvane/apps/memo.h"
#include "corvane/interchange/json_reader.h"
#include "tool_runner.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using apps::DatebookRecord;
using test::RunCorvane;
using test::ToolResult;

struct FileRecord {
  Bytes data;  // empty with `deleted`: an entry without data
  std::uint32_t uid = 0;
  std::uint8_t attributes = 0;
};

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v));
}
void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v >> 16);
  Put16(b, v & 0xFFFF);
}

// A database as the handheld lays it out, byte by byte.
Bytes MakePdb(const std::string& name, const std::string& type, const std::string& creator,
              const Bytes& app_info, const std::vector<FileRecord>& records) {
  Bytes b(name.begin(), name.end());
  b.resize(32, 0);
  Put16(b, 0);           // attributes
  Put16(b, 0);           // version
  Put32(b, 0xC0000000);  // created
  Put32(b, 0xC0000000);  // modified
  Put32(b, 0);           // backed up
  Put32(b, 0);           // modification number
  std::uint32_t at = 78 + 8 * static_cast<std::uint32_t>(records.size()) + 2;
  Put32(b, app_info.empty() ? 0 : at);
  Put32(b, 0);  // sort info
  b.insert(b.end(), type.begin(), type.end());
  b.insert(b.end(), creator.begin(), creator.end());
  Put32(b, 0x100);  // unique ID seed
  Put32(b, 0);
  Put16(b, static_cast<std::uint32_t>(records.size()));
  at += static_cast<std::uint32_t>(app_info.size());
  for (const FileRecord& r : records) {
    Put32(b, at);
    b.push_back(r.attributes);
    b.push_back(static_cast<std::uint8_t>(r.uid >> 16));
    Put16(b, r.uid & 0xFFFF);
    at += static_cast<std::uint32_t>(r.data.size());
  }
  Put16(b, 0);
  b.insert(b.end(), app_info.begin(), app_info.end());
  for (const FileRecord& r : records) b.insert(b.end(), r.data.begin(), r.data.end());
  return b;
}

constexpr std::uint8_t kDeleted = 0x80;

std::string HexOf(const Bytes& b) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  for (std::uint8_t c : b) {
    s += kDigits[c >> 4];
    s += kDigits[c & 15];
  }
  return s;
}

// Content lines unfolded, each physical line checked: CRLF, at most 75 octets.
std::vector<std::string> Unfold(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t crlf = text.find("\r\n", at);
    EXPECT_NE(crlf, std::string::npos) << "a line without CRLF at " << at;
    if (crlf == std::string::npos) break;
    const std::string line = text.substr(at, crlf - at);
    EXPECT_LE(line.size(), 75u) << line;
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    if (!line.empty() && line[0] == ' ' && !lines.empty()) {
      lines.back() += line.substr(1);
    } else {
      lines.push_back(line);
    }
    at = crlf + 2;
  }
  return lines;
}

std::size_t CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const auto& l) { return l.rfind(prefix, 0) == 0; }));
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

struct PimExport : ::testing::Test {
  test::TempDir dir;
  std::string Pdb(const std::string& name, const Bytes& bytes) {
    test::WriteAll(dir.File(name), bytes);
    return dir.File(name);
  }
  std::string Datebook(const std::string& name, const std::vector<FileRecord>& records) {
    return Pdb(name, MakePdb("DatebookDB", "DATA", "date", {}, records));
  }
  std::vector<std::string> Ical(const std::string& path) {
    const ToolResult r = RunCorvane({"export", "--format", "ical", path});
    EXPECT_EQ(r.status, 0) << r.err;
    return Unfold(r.out);
  }
};

FileRecord Event(const DatebookRecord& e, std::uint32_t uid = 0, std::uint8_t attributes = 0) {
  return FileRecord{apps::EncodeDatebook(e), uid, attributes};
}

DatebookRecord Timed(int sh, int sm, int eh, int em) {
  DatebookRecord e;
  e.date = apps::PackedDate{2021, 3, 4}.Word();
  e.startHour = static_cast<std::uint8_t>(sh);
  e.startMinute = static_cast<std::uint8_t>(sm);
  e.endHour = static_cast<std::uint8_t>(eh);
  e.endMinute = static_cast<std::uint8_t>(em);
  e.description = "x";
  return e;
}

DatebookRecord Repeating(std::uint8_t type, std::uint8_t repeat_on,
                         std::uint8_t start_of_week = 0) {
  DatebookRecord e = Timed(9, 0, 10, 0);
  apps::DatebookRepeat r;
  r.type = type;
  r.repeatOn = repeat_on;
  r.startOfWeek = start_of_week;
  e.repeat = r;
  return e;
}

// Each record the iCalendar output cannot hold as it is, and the reason.
struct Damage {
  FileRecord record;
  std::string reason;
};

std::vector<Damage> IcalDamage() {
  DatebookRecord alarm = Timed(9, 0, 10, 0);
  alarm.alarm = apps::DatebookAlarm{5, 3};
  DatebookRecord bad_exception = Timed(9, 0, 10, 0);
  bad_exception.exceptions = std::vector<std::uint16_t>{0x0000};
  return {
      {Event(Repeating(7, 0)), "repeat type 7 is unknown"},
      {Event(Repeating(2, 0x81)), "repeat-on 0x81 names no weekdays"},
      {Event(Repeating(2, 0x02, 9)), "start of week 9 is no weekday"},
      {Event(Repeating(3, 35)), "repeat-on 35 names no week of the month"},
      {Event(alarm), "alarm unit 3 is unknown"},
      {Event(Timed(24, 0, 24, 30)), "the start time 24:00 is past 23:59"},
      {Event(Timed(9, 60, 10, 0)), "the start time 09:60 is past 23:59"},
      {Event(Timed(9, 0, 10, 75)), "the end time 10:75 is past 23:59"},
      {Event(Timed(10, 0, 9, 30)), "it ends at 09:30, before it starts at 10:00"},
      {Event(bad_exception), "an exception date is no calendar date (0x0000)"},
      {FileRecord{Bytes{0, 1, 2}}, "Record is shorter than its fixed part!"},
  };
}

TEST_F(PimExport, DamagedEventsStopTheExportNamingTheirIndexInTheFile) {
  for (const Damage& d : IcalDamage()) {
    // A deleted entry first: the damaged record is the file's record 2 but
    // the first one exported after a good one.
    const std::string path =
        Datebook("d.pdb", {FileRecord{{}, 0, kDeleted}, Event(Timed(8, 0, 9, 0), 1), d.record,
                           Event(Timed(11, 0, 12, 0), 3)});
    const ToolResult r = RunCorvane({"export", "--format", "ical", path});
    EXPECT_EQ(r.status, 1) << d.reason;
    EXPECT_NE(r.err.find("record 2: " + d.reason), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    // Never turned into another rule.
    EXPECT_EQ(r.out.find("FREQ=YEARLY"), std::string::npos);
  }
}

TEST_F(PimExport, KeepGoingKeepsEachDamagedEventRawAndTheRest) {
  std::vector<FileRecord> records = {FileRecord{{}, 0, kDeleted}, Event(Timed(8, 0, 9, 0), 1)};
  const std::vector<Damage> damage = IcalDamage();
  for (const Damage& d : damage) records.push_back(d.record);
  records.back().uid = 77;
  records.back().attributes = 0x30 | 3;  // busy, secret, category 3
  records.push_back(Event(Timed(11, 0, 12, 0), 99));
  const std::string path = Datebook("d.pdb", records);

  const ToolResult r = RunCorvane({"export", "--format", "ical", "--keep-going", path});
  EXPECT_EQ(r.status, 3) << r.err;
  const std::vector<std::string> lines = Unfold(r.out);
  EXPECT_EQ(CountPrefix(lines, "BEGIN:VEVENT"), 2u);
  EXPECT_EQ(CountPrefix(lines, "BEGIN:X-CORVANE-DAMAGED-RECORD"), damage.size());
  EXPECT_EQ(CountPrefix(lines, "END:X-CORVANE-DAMAGED-RECORD"), damage.size());
  EXPECT_EQ(CountPrefix(lines, "RRULE:"), 0u);
  EXPECT_EQ(lines.back(), "END:VCALENDAR");
  for (std::size_t i = 0; i < damage.size(); ++i) {
    const std::string index = std::to_string(i + 2);
    EXPECT_NE(r.err.find("warning: record " + index + " kept raw: " + damage[i].reason),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(Has(lines, "X-CORVANE-INDEX:" + index)) << index;
    EXPECT_TRUE(Has(lines, "X-CORVANE-DATA:" + HexOf(damage[i].record.data))) << index;
  }
  EXPECT_TRUE(Has(lines, "X-CORVANE-UNIQUEID:77"));
  EXPECT_TRUE(Has(lines, "X-CORVANE-CATEGORY:3"));
  EXPECT_TRUE(Has(lines, "X-CORVANE-ATTRIBUTES:secret,busy"));
  EXPECT_TRUE(Has(lines, "DTSTART:20210304T110000"));

  // JSON holds what iCalendar cannot say; only the record too short to
  // decode is raw there, and importing the export gives the same records.
  const ToolResult json = RunCorvane({"export", "--keep-going", path});
  EXPECT_EQ(json.status, 3) << json.err;
  const std::string too_short = std::to_string(damage.size() + 1);
  EXPECT_NE(
      json.err.find("record " + too_short + " kept raw: Record is shorter than its fixed part!"),
      std::string::npos)
      << json.err;
  EXPECT_EQ(json.err.find("record 2 "), std::string::npos) << json.err;
  EXPECT_NE(
      json.out.find("{\"index\": " + too_short +
                    ", \"damaged\": \"Record is shorter than its fixed part!\", \"category\": 3, "
                    "\"secret\": true, \"dirty\": false, \"busy\": true, "
                    "\"uniqueID\": 77, \"data\": \"000102\"}"),
      std::string::npos)
      << json.out;
  test::WriteText(dir.File("d.json"), json.out);
  // The times past 23:59 that import refuses by default go back as they were
  // with --lenient.
  const ToolResult back = RunCorvane(
      {"import", "--lenient", "--input", dir.File("d.json"), "-o", dir.File("again.pdb")});
  ASSERT_EQ(back.status, 0) << back.err;
  const auto records_of = [&](const std::string& p) {
    const ToolResult raw = RunCorvane({"export", "--app", "raw", p});
    EXPECT_EQ(raw.status, 0) << raw.err;
    return raw.out.substr(raw.out.find("\"records\""));
  };
  EXPECT_EQ(records_of(dir.File("again.pdb")), records_of(path));

  // CSV gains the columns of the raw form.
  const ToolResult csv = RunCorvane({"export", "--format", "csv", "--keep-going", path});
  EXPECT_EQ(csv.status, 3) << csv.err;
  EXPECT_NE(csv.out.find(",index,damaged,busy,data\r\n"), std::string::npos)
      << csv.out.substr(0, 300);
  EXPECT_NE(csv.out.find(",Record is shorter than its fixed part!,true,000102\r\n"),
            std::string::npos)
      << csv.out;

  // Without the option the first damaged record stops the export, as before.
  const ToolResult stop = RunCorvane({"export", path});
  EXPECT_EQ(stop.status, 1);
  EXPECT_NE(stop.err.find("record " + too_short + ": Record is shorter than its fixed part!"),
            std::string::npos)
      << stop.err;
  EXPECT_EQ(stop.out, "");
}

TEST_F(PimExport, KeepGoingInCardsMemosAndBooks) {
  apps::AddressRecord card;
  card[apps::AddressField::kLastName] = "Good";
  const Bytes address = MakePdb("AddressDB", "DATA", "addr", {},
                                {FileRecord{apps::EncodeAddress(card), 1}, FileRecord{{1, 2}, 2}});
  const ToolResult v =
      RunCorvane({"export", "--format", "vcard", "--keep-going", Pdb("a.pdb", address)});
  EXPECT_EQ(v.status, 3) << v.err;
  const std::vector<std::string> lines = Unfold(v.out);
  EXPECT_EQ(CountPrefix(lines, "BEGIN:VCARD"), 2u);
  EXPECT_TRUE(Has(lines, "FN:Good"));
  EXPECT_TRUE(Has(lines, "FN:Damaged record 1"));
  EXPECT_TRUE(Has(lines, "X-CORVANE-DATA:0102"));

  // A memo whose bytes the character set cannot take is damage too; the
  // memo before it is whole and the one after follows the separator.
  apps::MemoRecord memo;
  memo.text = "first";
  const Bytes first = apps::EncodeMemo(memo);
  memo.text = "third";
  const Bytes memos = MakePdb(
      "MemoDB", "DATA", "memo", {},
      {FileRecord{first}, FileRecord{Bytes{0xFF, 0xFE, 0}}, FileRecord{apps::EncodeMemo(memo)}});
  const std::string memo_path = Pdb("m.pdb", memos);
  const ToolResult t = RunCorvane({"export", "--format", "text", "--encoding", "utf8", memo_path});
  if (t.status != 0) {
    EXPECT_NE(t.err.find("record 1: "), std::string::npos) << t.err;
    const ToolResult k =
        RunCorvane({"export", "--format", "text", "--encoding", "utf8", "--keep-going", memo_path});
    EXPECT_EQ(k.status, 3) << k.err;
    EXPECT_EQ(k.out.rfind("first\n\f\n[record 1 does not decode (", 0), 0u) << k.out;
    EXPECT_NE(k.out.find("]\nfffe00\n\f\nthird\n"), std::string::npos) << k.out;
  }

  // A book whose second text record refers back before its start.
  apps::DocHeader h;
  std::vector<Bytes> texts = apps::EncodeDocText(std::string(5000, 'a') + "end", h);
  ASSERT_EQ(texts.size(), 2u);
  std::vector<FileRecord> book = {FileRecord{apps::EncodeDocHeader(h)}, FileRecord{texts[0]},
                                  FileRecord{Bytes{'b', 0x80, 0x10}}};
  h.recordCount = 2;
  book[0].data = apps::EncodeDocHeader(h);
  const std::string book_path = Pdb("b.pdb", MakePdb("Book", "TEXt", "REAd", {}, book));
  const ToolResult stop = RunCorvane({"export", "--format", "text", book_path});
  EXPECT_EQ(stop.status, 1);
  EXPECT_NE(stop.err.find("record 2: Compressed e-book text refers back before its start!"),
            std::string::npos)
      << stop.err;
  const ToolResult rest = RunCorvane({"export", "--format", "text", "--keep-going", book_path});
  EXPECT_EQ(rest.status, 3);
  EXPECT_EQ(rest.out, std::string(4096, 'a'));
  const ToolResult json = RunCorvane({"export", "--keep-going", book_path});
  EXPECT_EQ(json.status, 3);
  EXPECT_NE(json.out.find("\"damaged\": \"Compressed e-book text refers back before its start!\""),
            std::string::npos);
}

TEST_F(PimExport, UidsComeFromTheCreatorAndTheUniqueId) {
  std::vector<FileRecord> records = {Event(Timed(8, 0, 9, 0), 5), Event(Timed(9, 0, 10, 0), 7),
                                     Event(Timed(10, 0, 11, 0), 0), Event(Timed(10, 0, 11, 0), 0)};
  const std::vector<std::string> all = Ical(Datebook("all.pdb", records));
  records.erase(records.begin());
  const std::vector<std::string> fewer = Ical(Datebook("fewer.pdb", records));
  std::vector<std::string> uids, later;
  for (const std::string& l : all)
    if (l.rfind("UID:", 0) == 0) uids.push_back(l);
  for (const std::string& l : fewer)
    if (l.rfind("UID:", 0) == 0) later.push_back(l);
  ASSERT_EQ(uids.size(), 4u);
  EXPECT_EQ(uids[0], "UID:date-5@corvane");
  EXPECT_EQ(uids[1], "UID:date-7@corvane");
  // Without an ID, a hash of the bytes; the same bytes twice are still two.
  EXPECT_EQ(uids[2].rfind("UID:date-h", 0), 0u);
  EXPECT_EQ(uids[3], uids[2].substr(0, uids[2].size() - 8) + "-2@corvane");
  // Deleting a record changes no other record's UID.
  EXPECT_EQ(later, std::vector<std::string>(uids.begin() + 1, uids.end()));
}

apps::AddressRecord Card(std::initializer_list<std::pair<apps::AddressField, std::string>> fields) {
  apps::AddressRecord a;
  for (const auto& [f, v] : fields) a[f] = v;
  return a;
}

TEST_F(PimExport, CardsAlwaysHaveANameAndKeepLabelsAndReadings) {
  using F = apps::AddressField;
  apps::AddressAppInfo info = apps::AddressAppInfo::Standard();
  info.labels[14] = "Birthday";
  info.labels[15] = "Anniversary";
  info.labels[16] = "Shoe; size";
  apps::AddressRecord email = Card({{F::kPhone1, "me@example.com"}, {F::kNote, "n"}});
  email.phoneLabels[0] = 4;
  apps::AddressRecord phone_after_email =
      Card({{F::kPhone1, "me@example.com"}, {F::kPhone2, "555-0100"}});
  phone_after_email.phoneLabels[0] = 4;
  const std::vector<FileRecord> records = {
      FileRecord{apps::EncodeAddress(Card({{F::kPhone3, "555-0101"}}))},
      FileRecord{apps::EncodeAddress(email)},
      FileRecord{apps::EncodeAddress(phone_after_email)},
      FileRecord{apps::EncodeAddress(Card({{F::kNote, "first line\r\nsecond line"}}))},
      FileRecord{apps::EncodeAddress(Card({{F::kCity, ""}}))},
      FileRecord{apps::EncodeAddress(Card({{F::kLastName, "Yamada\x01yamada"},
                                           {F::kFirstName, "Taro\x01taro"},
                                           {F::kCompany,
                                            "Acme\x01"
                                            "akme"},
                                           {F::kCustom1, "1970-05-21"},
                                           {F::kCustom2, "21.05.1995"},
                                           {F::kCustom3, "44"},
                                           {F::kCustom4, "plain"}}))},
      FileRecord{apps::EncodeAddress(
          Card({{F::kLastName, "Late"}, {F::kCustom1, "soon"}, {F::kCustom2, "1995-02-30"}}))},
  };
  const std::string path =
      Pdb("a.pdb", MakePdb("AddressDB", "DATA", "addr", apps::EncodeAddressAppInfo(info), records));
  const ToolResult r = RunCorvane({"export", "--format", "vcard", path});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> lines = Unfold(r.out);
  std::vector<std::string> names;
  for (const std::string& l : lines)
    if (l.rfind("FN:", 0) == 0) names.push_back(l);
  ASSERT_EQ(names.size(), records.size());
  EXPECT_EQ(names[0], "FN:555-0101");
  EXPECT_EQ(names[1], "FN:me@example.com");
  EXPECT_EQ(names[2], "FN:555-0100");  // a phone before an e-mail address
  EXPECT_EQ(names[3], "FN:first line");
  EXPECT_NE(names[4], "FN:");
  EXPECT_EQ(names[5], "FN:Taro Yamada");
  EXPECT_TRUE(Has(lines, "N:Yamada;Taro;;;"));
  EXPECT_TRUE(Has(lines, "SORT-STRING:yamada taro"));
  EXPECT_TRUE(Has(lines, "X-PHONETIC-LAST-NAME:yamada"));
  EXPECT_TRUE(Has(lines, "X-PHONETIC-FIRST-NAME:taro"));
  EXPECT_TRUE(Has(lines, "ORG:Acme"));
  EXPECT_TRUE(Has(lines, "X-PHONETIC-ORG:akme"));
  EXPECT_TRUE(Has(lines, "X-PALM-CUSTOM1;X-LABEL=Birthday:1970-05-21"));
  EXPECT_TRUE(Has(lines, "BDAY;VALUE=date:1970-05-21"));
  EXPECT_TRUE(Has(lines, "X-PALM-CUSTOM2;X-LABEL=Anniversary:21.05.1995"));
  EXPECT_TRUE(Has(lines, "ANNIVERSARY:19950521"));
  EXPECT_TRUE(Has(lines, "X-PALM-CUSTOM3;X-LABEL=\"Shoe; size\":44"));
  EXPECT_TRUE(Has(lines, "X-PALM-CUSTOM4:plain"));  // its standard label
  // Labelled as a date but holding none: no date property.
  EXPECT_TRUE(Has(lines, "X-PALM-CUSTOM1;X-LABEL=Birthday:soon"));
  EXPECT_EQ(CountPrefix(lines, "BDAY"), 1u);
  EXPECT_EQ(CountPrefix(lines, "ANNIVERSARY"), 1u);
  // A CR LF in a note is one line break.
  EXPECT_TRUE(Has(lines, "NOTE:first line\\nsecond line"));
  EXPECT_EQ(r.out.find("\\n\\n"), std::string::npos);
}

TEST_F(PimExport, LongLinesFoldWithinSeventyFiveOctets) {
  // Over 150 octets, with two-byte characters that no fold may split.
  std::string note;
  while (note.size() < 400) note += "Straße à côté, ";
  apps::AddressRecord a =
      Card({{apps::AddressField::kLastName, "Fold"}, {apps::AddressField::kNote, note}});
  const std::string path = Pdb(
      "a.pdb", MakePdb("AddressDB", "DATA", "addr", {}, {FileRecord{apps::EncodeAddress(a), 1}}));
  const ToolResult r = RunCorvane({"export", "--format", "vcard", "--encoding", "utf8", path});
  ASSERT_EQ(r.status, 0) << r.err;
  std::size_t physical = 0, longest = 0;
  for (std::size_t at = 0; at < r.out.size();) {
    const std::size_t end = r.out.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    longest = std::max(longest, end - at);
    ++physical;
    at = end + 2;
  }
  EXPECT_EQ(longest, 75u);  // folded where it may be, no earlier
  EXPECT_GE(physical, 10u);
  std::string escaped;
  for (char c : note) escaped += c == ',' ? std::string("\\,") : std::string(1, c);
  EXPECT_TRUE(Has(Unfold(r.out), "NOTE:" + escaped));
}

TEST_F(PimExport, AllDayEventsKeepTheirDatesAndRepeatsEndOnADate) {
  DatebookRecord november;
  november.date = apps::PackedDate{2021, 11, 30}.Word();
  november.description = "last of November";
  DatebookRecord december = november;
  december.date = apps::PackedDate{2021, 12, 31}.Word();
  DatebookRecord leap = november;
  leap.date = apps::PackedDate{2024, 2, 28}.Word();
  apps::DatebookRepeat yearly;
  yearly.type = 5;
  yearly.end = apps::PackedDate{2030, 11, 30}.Word();
  leap.repeat = yearly;
  DatebookRecord note = Timed(9, 0, 9, 0);
  note.note = "one\r\ntwo\nthree";
  const std::vector<std::string> lines =
      Ical(Datebook("d.pdb", {Event(november), Event(december), Event(leap), Event(note)}));
  EXPECT_TRUE(Has(lines, "DTSTART;VALUE=DATE:20211130"));
  EXPECT_TRUE(Has(lines, "DTEND;VALUE=DATE:20211201"));
  EXPECT_TRUE(Has(lines, "DTEND;VALUE=DATE:20220101"));
  EXPECT_TRUE(Has(lines, "DTEND;VALUE=DATE:20240229"));
  // UNTIL has the type of DTSTART: a date, without a time.
  EXPECT_TRUE(Has(lines, "RRULE:FREQ=YEARLY;UNTIL=20301130"));
  EXPECT_TRUE(Has(lines, "DESCRIPTION:one\\ntwo\\nthree"));
  EXPECT_TRUE(Has(lines, "DTEND:20210304T090000"));  // an event of no length is no damage
}

// Field names come from the user: a quote, a backslash or a control
// character in one must not break the JSON around it.
TEST_F(PimExport, FieldNamesAreEscapedAsJsonKeys) {
  const std::string quote = "a\"b", odd = "c\\d\x01";
  const std::string json = R"({"fields": [{"name": "a\"b", "type": "pdtByte", "size": 1},
    {"name": "c\\d\u0001", "type": "pdtString", "size": 0}],
    "records": [{"a\"b": 7, "c\\d\u0001": "x"}]})";
  test::WriteText(dir.File("k.json"), json);
  const std::string pdb = dir.File("k.pdb");
  const ToolResult made =
      RunCorvane({"import", "--engine", "generic", "--name", "K", "--creator", "Kkkk", "--type",
                  "DATA", "--input", dir.File("k.json"), "-o", pdb});
  ASSERT_EQ(made.status, 0) << made.err;
  const ToolResult r = RunCorvane({"export", "--engine", "generic", "--field", quote + ":pdtByte",
                                   "--field", odd + ":pdtString", pdb});
  ASSERT_EQ(r.status, 0) << r.err;
  cli::JsonValue tree;
  ASSERT_NO_THROW(tree = cli::ParseJson(r.out)) << r.out;
  const cli::JsonValue* records = tree.Find("records");
  ASSERT_NE(records, nullptr);
  ASSERT_EQ(records->items.size(), 1u);
  const cli::JsonValue& record = records->items[0];
  ASSERT_NE(record.Find(quote), nullptr) << r.out;
  EXPECT_EQ(record.Find(quote)->text, "7");
  ASSERT_NE(record.Find(odd), nullptr) << r.out;
  EXPECT_EQ(record.Find(odd)->text, "x");
  const cli::JsonValue* fields = tree.Find("fields");
  ASSERT_NE(fields, nullptr);
  ASSERT_EQ(fields->items.size(), 2u);
  EXPECT_EQ(fields->items[0].Find("name")->text, quote);
}

}  // namespace
}  // namespace corvane
