// The later handhelds' Contacts, Calendar, Tasks and Memos codecs against the
// worked examples of their layouts, records built to hold every optional
// part, damaged records, and the empty Contacts database from the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "corvane/apps/calendar.h"
#include "corvane/apps/contacts.h"
#include "corvane/apps/memos.h"
#include "corvane/apps/tasks.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/locale.h"

namespace corvane::apps {
namespace {

Bytes FromHex(std::string_view hex) {
  Bytes out;
  std::string digits;
  for (char c : hex) {
    if (c != ' ' && c != '\n') digits += c;
  }
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return out;
}

Bytes Cat(Bytes a, std::string_view b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

template <class F>
std::pair<int, std::string> Refusal(F&& f) {
  try {
    f();
  } catch (const EPDBException& e) {
    return {e.ErrorCode(), e.what()};
  }
  return {0, "nothing raised"};
}

struct LaterPim : ::testing::Test {
  void SetUp() override { SetThreadLanguageOverride("en"); }
  void TearDown() override { SetThreadLanguageOverride(std::nullopt); }
};

// Every prefix of a good record either decodes and encodes to the same bytes
// or is refused cleanly; so does the record with each byte flipped.
template <class Decode, class Encode>
void Hostile(const Bytes& full, Decode decode, Encode encode) {
  const auto check = [&](const Bytes& in) {
    try {
      EXPECT_EQ(encode(decode(in)), in);
    } catch (const EPDBException&) {
    }
  };
  for (std::size_t n = 0; n <= full.size(); ++n) check(Bytes(full.begin(), full.begin() + n));
  for (std::size_t i = 0; i < full.size(); ++i) {
    Bytes b = full;
    b[i] ^= 0xFF;
    check(b);
  }
}

// ---- Tasks -------------------------------------------------------------------

const Bytes kTaskFull = FromHex(
    "fc00000200 01cc8acc89080f0002cc22 0200ffff01020000"
    "5761746572207468652070 6c616e747300 4669637573206669727374 00");

TEST_F(LaterPim, TasksWorkedExamples) {
  ASSERT_EQ(kTaskFull.size(), 53u);
  const TasksRecord t = DecodeTasks(kTaskFull);
  EXPECT_EQ(t.priority, 1);
  EXPECT_FALSE(t.completed);
  EXPECT_TRUE(t.repeatFromCompletion);
  EXPECT_EQ(t.due, (PackedDate{2006, 4, 10}.Word()));
  EXPECT_EQ(t.completedOn, (PackedDate{2006, 4, 9}.Word()));
  ASSERT_TRUE(t.alarm);
  EXPECT_EQ(t.alarm->hour, 8);
  EXPECT_EQ(t.alarm->minute, 15);
  EXPECT_EQ(t.alarm->advanceDays, 2);
  ASSERT_TRUE(t.repeat);
  EXPECT_EQ(t.repeat->start, (PackedDate{2006, 1, 2}.Word()));
  EXPECT_EQ(t.repeat->rule.type, 2);
  EXPECT_EQ(t.repeat->rule.end, kNoDate);
  EXPECT_EQ(t.repeat->rule.repeatOn, 0x02);
  EXPECT_EQ(t.description, "Water the plants");
  EXPECT_EQ(t.note, "Ficus first");
  EXPECT_EQ(t.textFlagsFlipped, 0);
  EXPECT_EQ(EncodeTasks(t), kTaskFull);

  const Bytes done =
      Cat(FromHex("480000010005cc61"), std::string("Done task, no due date\0\0", 24));
  ASSERT_EQ(done.size(), 32u);
  const TasksRecord d = DecodeTasks(done);
  EXPECT_TRUE(d.completed);
  EXPECT_EQ(d.priority, 5);
  EXPECT_FALSE(d.due);
  EXPECT_EQ(d.completedOn, (PackedDate{2006, 3, 1}.Word()));
  EXPECT_EQ(d.note, "");
  EXPECT_EQ(EncodeTasks(d), done);

  // A new record sets the text bits from the texts.
  TasksRecord fresh;
  fresh.description = "x";
  EXPECT_EQ(EncodeTasks(fresh), FromHex("080000000001780000"));
}

TEST_F(LaterPim, TasksKeepOddFlagsAndRefuseAToDoRecord) {
  // Text bits that disagree with the texts, reserved bits, and a trailer.
  const Bytes odd = FromHex("0801 8004 0003 00 6e6f746500 ffee");
  const TasksRecord t = DecodeTasks(odd);
  EXPECT_EQ(t.textFlagsFlipped, 0x0C00);
  EXPECT_EQ(t.otherDataFlags, 0x0001);
  EXPECT_EQ(t.otherRecordFlags, 0x8004);
  EXPECT_EQ(t.description, "");
  EXPECT_EQ(t.note, "note");
  EXPECT_EQ(t.extra, "\xff\xee");
  EXPECT_EQ(EncodeTasks(t), odd);

  // A classic To Do record (no due date, priority 1, "Hi"): every optional part
  // is flagged and they run past the end.
  EXPECT_EQ(Refusal([] { DecodeTasks(FromHex("ffff01486900 00")); }).first, 2);
  EXPECT_EQ(Refusal([] { DecodeTasks(FromHex("0000")); }),
            (std::pair<int, std::string>{1, "Record is shorter than its fixed part!"}));
  EXPECT_EQ(Refusal([] { DecodeTasks(FromHex("000000000001 41")); }).second,
            "A text of the record is not ended by a zero byte!");
  Hostile(kTaskFull, DecodeTasks, EncodeTasks);
}

// ---- Memos -------------------------------------------------------------------

Bytes AppInfoTemplate(std::size_t tail, std::uint8_t last_unique) {
  CategoryInfo c = CategoryInfo::Standard();
  c.names[1].clear();
  c.padding[1] = std::string("usiness") + std::string(8, '\0');
  c.names[2].clear();
  c.padding[2] = std::string("ersonal") + std::string(8, '\0');
  c.lastUniqueID = last_unique;
  ByteWriter w;
  EncodeCategoryInfo(c, w, 1);
  Bytes b = w.Take();
  b.resize(b.size() + tail);
  return b;
}

TEST_F(LaterPim, MemosRecordAndAppInfo) {
  const Bytes memo = FromHex("53686f7070696e67206c6973740a4d696c6b0a427265616400");
  EXPECT_EQ(DecodeMemo(memo).text, "Shopping list\nMilk\nBread");

  const Bytes block = AppInfoTemplate(24, 0x13);
  ASSERT_EQ(block.size(), 300u);
  const MemosAppInfo info = DecodeMemosAppInfo(block);
  EXPECT_EQ(info.categories.names[1], "");
  EXPECT_EQ(info.categories.lastUniqueID, 0x13);
  EXPECT_EQ(info.sortOrder, 0);
  EXPECT_EQ(EncodeMemosAppInfo(info), block);

  Bytes sorted = block;
  sorted[298] = 1;
  sorted[277] = 0x05;  // colours of categories 0 and 2 edited
  sorted[280] = 7;
  const MemosAppInfo s = DecodeMemosAppInfo(sorted);
  EXPECT_EQ(s.sortOrder, 1);
  EXPECT_EQ(s.colors.edited, 5);
  EXPECT_EQ(s.colors.colors[2], 7);
  EXPECT_EQ(EncodeMemosAppInfo(s), sorted);
  EXPECT_EQ(Refusal([] { DecodeMemosAppInfo(Bytes(298)); }).first, 2);
}

// ---- Calendar ----------------------------------------------------------------

const Bytes kUntimedYearly = Cat(FromHex("ffffffffcce424000500ffff01000000"),
                                 std::string("Untimed yearly event\0Bd01\0\x04\0\x01\0\0", 31));

TEST_F(LaterPim, CalendarWorkedExamples) {
  ASSERT_EQ(kUntimedYearly.size(), 47u);
  const CalendarRecord e = DecodeCalendar(kUntimedYearly);
  EXPECT_TRUE(e.Untimed());
  EXPECT_EQ(e.date, (PackedDate{2006, 7, 4}.Word()));
  ASSERT_TRUE(e.repeat);
  EXPECT_EQ(e.repeat->type, 5);
  EXPECT_EQ(e.description, "Untimed yearly event");
  EXPECT_FALSE(e.location);
  ASSERT_EQ(e.blobs.size(), 1u);
  EXPECT_EQ(e.blobs[0].id, "Bd01");
  const CalendarMeeting m = DecodeMeeting(BytesOf(e.blobs[0].data));
  EXPECT_EQ(m.appointmentStatus, 1);
  EXPECT_TRUE(m.attendees.empty());
  EXPECT_EQ(EncodeCalendar(e), kUntimedYearly);

  const Bytes monthly = Cat(FromHex("17000000cc41640001020300cd7e02220000"),
                            std::string("Monthly on the last Saturday\0", 29));
  const CalendarRecord r = DecodeCalendar(monthly);
  EXPECT_EQ(r.startHour, 23);
  EXPECT_EQ(r.endHour, 0);
  EXPECT_EQ(r.endMinute, 0);
  ASSERT_TRUE(r.alarm);
  EXPECT_EQ(r.alarm->advance, 1);
  EXPECT_EQ(r.alarm->unit, 2);
  EXPECT_EQ(r.repeat->end, (PackedDate{2006, 11, 30}.Word()));
  EXPECT_EQ(r.repeat->frequency, 2);
  EXPECT_EQ(r.repeat->repeatOn, 34);
  EXPECT_EQ(EncodeCalendar(r), monthly);
}

// An event with every part: alarm, repeat, exceptions, the three texts, a
// zone, a meeting with attendees, a server ID, a foreign blob, garbage in the
// flags' low byte and an interrupted blob after the last.
CalendarRecord FullEvent() {
  CalendarRecord e;
  e.startHour = 9;
  e.startMinute = 30;
  e.endHour = 10;
  e.endMinute = 0;
  e.date = PackedDate{2006, 3, 6}.Word();
  e.otherFlags = 0x0017;
  e.alarm = DatebookAlarm{10, 0};
  DatebookRepeat rp;
  rp.type = 2;
  rp.repeatOn = 0x0A;
  rp.startOfWeek = 1;
  e.repeat = rp;
  e.exceptions = std::vector<std::uint16_t>{PackedDate{2006, 3, 13}.Word()};
  e.description = "Team meeting";
  e.note = "Bring the figures";
  e.location = "Room 4";
  CalendarTimeZone z;
  z.offset = -300;
  z.dstStart = DstRule{2, 0, 1, 3};
  z.dstEnd = DstRule{2, 0, 0, 11};
  z.dstAdjustment = 60;
  z.country = 23;
  z.name = "New York";
  CalendarMeeting m;
  m.meetingStatus = 3;
  m.attendees = {{0, "Ann Lee", "ann@example.com"}, {1, "Bo", "bo@example.com"}, {2, "Cy", ""}};
  e.blobs = {{"Bd00", EncodeTimeZone(z)},
             {"Bd01", EncodeMeeting(m)},
             {"Bd02", std::string("srv-1\0", 6)},
             {"Xy01", std::string("\x01\x02\x03", 3)}};
  e.extra = std::string("Bd0", 3);
  return e;
}

TEST_F(LaterPim, CalendarEveryPartRoundTrips) {
  const CalendarRecord e = FullEvent();
  const Bytes bytes = EncodeCalendar(e);
  EXPECT_EQ(bytes[6], 0x7E);  // alarm, repeat, note, exceptions, description, location
  EXPECT_EQ(bytes[7], 0x17);
  const CalendarRecord back = DecodeCalendar(bytes);
  EXPECT_EQ(back, e);
  const CalendarTimeZone z = DecodeTimeZone(BytesOf(back.blobs[0].data));
  EXPECT_EQ(z.offset, -300);
  EXPECT_EQ(z.dstAdjustment, 60);
  EXPECT_EQ(z.name, "New York");
  // The zone blob's fixed part as the layout gives it.
  EXPECT_EQ(Bytes(back.blobs[0].data.begin(), back.blobs[0].data.begin() + 14),
            FromHex("fed4 02000103 0200000b 003c 17 00"));
  const CalendarMeeting m = DecodeMeeting(BytesOf(back.blobs[1].data));
  ASSERT_EQ(m.attendees.size(), 3u);
  EXPECT_EQ(m.attendees[0].email, "ann@example.com");
  EXPECT_EQ(m.attendees[2].role, 2);

  // Without location and blobs the record is a Date Book record.
  CalendarRecord plain = e;
  plain.location.reset();
  plain.blobs.clear();
  plain.extra.clear();
  EXPECT_EQ(EncodeCalendar(plain), EncodeDatebook(plain));
  Hostile(bytes, DecodeCalendar, EncodeCalendar);
}

TEST_F(LaterPim, CalendarDamage) {
  // Location flagged but not ended.
  EXPECT_EQ(Refusal([] { DecodeCalendar(FromHex("ffffffffcce40200 41")); }).first, 7);
  // Meeting count past the data; zone without its name's zero.
  EXPECT_EQ(Refusal([] { DecodeMeeting(FromHex("00000005 01 4100 00")); }).first, 9);
  EXPECT_EQ(Refusal([] { DecodeTimeZone(FromHex("0000 00000000 00000000 0000 00 00 41")); }).first,
            8);
  EXPECT_EQ(Refusal([] { DecodeTimeZone(FromHex("0000")); }).first, 8);
  CalendarRecord bad;
  bad.blobs = {{"Bd0", ""}};
  EXPECT_EQ(Refusal([&] { EncodeCalendar(bad); }).second, "A value is out of range for its field!");
  bad.blobs = {{"Bd00", std::string(70000, 'x')}};
  EXPECT_EQ(Refusal([&] { EncodeCalendar(bad); }).first, 5);
}

TEST_F(LaterPim, CalendarOrder) {
  DatebookRecord once, untimed, forever, until;
  once.date = PackedDate{2006, 1, 1}.Word();
  once.startHour = 8;
  once.startMinute = 0;
  untimed.date = once.date;
  forever.repeat = DatebookRepeat{};
  forever.repeat->type = 1;
  until.repeat = DatebookRepeat{};
  until.repeat->type = 1;
  until.repeat->end = PackedDate{2007, 1, 1}.Word();
  std::vector<DatebookRecord> v{once, forever, untimed, until};
  std::stable_sort(v.begin(), v.end(), CalendarOrderLess);
  EXPECT_EQ(v[0], until);
  EXPECT_EQ(v[1], forever);
  EXPECT_EQ(v[2], untimed);
  EXPECT_EQ(v[3], once);
}

TEST_F(LaterPim, CalendarAppInfo) {
  Bytes block = AppInfoTemplate(22, 0x0F);
  block[278 + 2] = 2;  // category 2 has colour 2
  block[296] = 1;
  const CalendarAppInfo info = DecodeCalendarAppInfo(block);
  EXPECT_EQ(info.colors.colors[2], 2);
  EXPECT_EQ(info.startOfWeek, 1);
  EXPECT_EQ(EncodeCalendarAppInfo(info), block);
}

// ---- Contacts ----------------------------------------------------------------

const Bytes kCompanyOnly =
    Cat(FromHex("065432100000000000000014000018 0001"), std::string("Company Only Ltd\0"
                                                                    "555-0200\0\xa3\x9f\0\0",
                                                                    30));
const Bytes kEmptyNote = FromHex("06543217020100320000000200000400 00 456d70747900 00");

TEST_F(LaterPim, ContactsWorkedExamples) {
  ASSERT_EQ(kCompanyOnly.size(), 47u);
  const ContactsRecord c = DecodeContacts(kCompanyOnly);
  EXPECT_EQ(c[ContactsField::kCompany], "Company Only Ltd");
  EXPECT_EQ(c[ContactsField::kPhone1], "555-0200");
  EXPECT_EQ(c.phoneLabels[6], 6);
  EXPECT_EQ(c.displayPhone, 0);
  EXPECT_EQ(c.companyOffset, 1);
  EXPECT_EQ(c.StandardCompanyOffset(), 1);
  EXPECT_EQ(c.birthday, (PackedDate{1985, 12, 31}.Word()));
  EXPECT_EQ(c.birthdayFlags, 0);
  EXPECT_FALSE(c.reminderDays);
  EXPECT_EQ(EncodeContacts(c), kCompanyOnly);

  ASSERT_EQ(kEmptyNote.size(), 24u);
  const ContactsRecord n = DecodeContacts(kEmptyNote);
  EXPECT_EQ(n.phoneLabels[0], 7);
  EXPECT_EQ((n.addressLabels), (std::array<std::uint8_t, 3>{1, 0, 2}));
  EXPECT_EQ((n.chatLabels), (std::array<std::uint8_t, 2>{2, 3}));
  EXPECT_EQ(n[ContactsField::kFirstName], "Empty");
  EXPECT_EQ(n[ContactsField::kNote], "");
  EXPECT_EQ(EncodeContacts(n), kEmptyNote);
}

ContactsRecord FullContact() {
  ContactsRecord c;
  for (std::size_t i = 0; i < kContactsFieldCount; ++i)
    c.fields[i] = std::string("f").append(std::to_string(i));
  c[ContactsField::kLastName] = "Lee";
  c[ContactsField::kFirstName] = "Ann";
  c[ContactsField::kCompany] = "Acme";
  c.phoneLabels = {7, 1, 2, 3, 4, 5, 6};
  c.displayPhone = 2;
  c.chatLabels = {1, 4};
  c.companyOffset = c.StandardCompanyOffset();
  c.birthday = PackedDate{1970, 5, 17}.Word();
  c.birthdayFlags = 1;
  c.reminderDays = 3;
  ContactsAnniversary a;
  a.date = PackedDate{1999, 6, 12}.Word();
  a.flags = 1;
  a.reminderDays = 7;
  a.ringtoneID = 0x12345678;
  a.ringtoneType = 2;
  c.blobs = {{"Bd00", EncodePicture({1, std::string("\xff\xd8\xff\xe0 jpeg \xff\xd9", 12)})},
             {"Bd01", EncodeAnniversary(a)},
             {"Xy01", std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e", 14)}};
  return c;
}

TEST_F(LaterPim, ContactsEveryPartRoundTrips) {
  const ContactsRecord c = FullContact();
  EXPECT_EQ(c.companyOffset, 1 + 4 + 4);
  const Bytes bytes = EncodeContacts(c);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 17),
            FromHex("26543217 0210 0041 0fffffff 00003fff 09"));
  // The tail as the worked example gives it.
  const std::string tail(bytes.end() - (5 + 6 + 14 + 6 + 12 + 6 + 14),
                         bytes.end() - 6 - 14 - 6 - 12 - 6 - 14);
  EXPECT_EQ(tail.substr(0, 5), std::string("\x84\xb1\x00\x01\x03", 5));
  const std::string anniversary(bytes.end() - 6 - 14 - 12 - 6, bytes.end() - 6 - 14);
  EXPECT_EQ(Bytes(anniversary.begin(), anniversary.end()),
            FromHex("42643031000c becc00010700 12345678 0002"));
  const ContactsRecord back = DecodeContacts(bytes);
  EXPECT_EQ(back, c);
  EXPECT_EQ(DecodePicture(BytesOf(back.blobs[0].data)).jpeg.substr(0, 2), "\xff\xd8");
  EXPECT_EQ(DecodeAnniversary(BytesOf(back.blobs[1].data)).ringtoneID, 0x12345678u);

  // Junk after the last whole blob stays, and so do reserved bits.
  Bytes junk = bytes;
  junk.insert(junk.end(), {'B', 'd', '0', '0', 0x00, 0x40, 0x01});
  junk[4] |= 0xF0;
  junk[8] |= 0x80;
  const ContactsRecord j = DecodeContacts(junk);
  EXPECT_EQ(j.extra.size(), 7u);
  EXPECT_EQ(j.addressReserved, 0x0F);
  EXPECT_EQ(j.flags1High, 0x80000000u);
  EXPECT_EQ(EncodeContacts(j), junk);
  Hostile(bytes, DecodeContacts, EncodeContacts);
}

TEST_F(LaterPim, ContactsDamage) {
  EXPECT_EQ(Refusal([] { DecodeContacts(Bytes(16)); }).first, 1);
  // First name flagged, its zero missing.
  EXPECT_EQ(
      Refusal([] { DecodeContacts(FromHex("00000000 0000 0000 00000002 00000000 00 41")); }).first,
      2);
  // Birthday flagged, one byte there.
  EXPECT_EQ(
      Refusal([] { DecodeContacts(FromHex("00000000 0000 0000 00000000 00000800 00 84")); }).first,
      3);
  EXPECT_EQ(Refusal([] { DecodePicture(FromHex("00")); }).first, 5);
  EXPECT_EQ(Refusal([] { DecodeAnniversary(FromHex("0000")); }).first, 6);
  ContactsRecord bad;
  bad.phoneLabels[3] = 16;
  EXPECT_EQ(Refusal([&] { EncodeContacts(bad); }).second, "A value is out of range for its field!");
}

// The empty database another program ships: its 1092-byte block decodes to
// the labels and encodes to the same bytes.
TEST_F(LaterPim, ContactsAppInfoOfTheCorpusFile) {
  const std::string path =
      std::string(CORVANE_SHARED_DIR) + "/corpus/pim-ContactsDB-PAdd-empty.pdb";
  std::ifstream f(path, std::ios::binary);
  if (!f) GTEST_SKIP() << "no corpus at " << path;
  const Bytes file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_GE(file.size(), 78u);
  const auto u32 = [&](std::size_t at) {
    return (std::uint32_t{file[at]} << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) |
           file[at + 3];
  };
  ASSERT_EQ(file[76] << 8 | file[77], 0);  // no records
  const std::size_t from = u32(52);
  ASSERT_LT(from, file.size());
  const std::span<const std::uint8_t> block(file.data() + from, file.size() - from);
  ASSERT_EQ(block.size(), 1092u);
  const ContactsAppInfo info = DecodeContactsAppInfo(block);
  EXPECT_EQ(info.labels.size(), 49u);
  EXPECT_EQ(info.labels[40], "Mobile");
  EXPECT_EQ(info.labels[45], "AOL ICQ");
  EXPECT_EQ(info.country, 23);
  EXPECT_FALSE(info.SortByCompany());
  EXPECT_EQ(info.categories.names[1], "");
  EXPECT_EQ(info.colors.colors[0], 0x0f);  // a copy of the dirty words, kept
  EXPECT_EQ(EncodeContactsAppInfo(info), Bytes(block.begin(), block.end()));
  ContactsAppInfo standard = ContactsAppInfo::Standard();
  EXPECT_EQ(standard.labels, info.labels);

  // The longer block: four more labels, kept.
  Bytes longer(block.begin(), block.end());
  longer.insert(longer.begin() + 304 + 16 * 49, 64, 'z');
  const ContactsAppInfo l = DecodeContactsAppInfo(longer);
  EXPECT_EQ(l.labels.size(), 53u);
  EXPECT_EQ(l.labels[52], std::string(16, 'z'));
  EXPECT_EQ(l.country, 23);
  EXPECT_EQ(EncodeContactsAppInfo(l), longer);
  EXPECT_EQ(Refusal([&] { DecodeContactsAppInfo(std::span(block.data(), 1091)); }).first, 2);
}

// Random bytes: refused cleanly or encoded back to themselves.
TEST_F(LaterPim, RandomRecords) {
  std::mt19937 rng(20);
  for (int i = 0; i < 3000; ++i) {
    Bytes b(rng() % 64);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng() % 4 == 0 ? 0 : rng());
    const auto check = [&](auto decode, auto encode) {
      try {
        EXPECT_EQ(encode(decode(b)), b);
      } catch (const EPDBException&) {
      }
    };
    check(DecodeTasks, EncodeTasks);
    check(DecodeCalendar, EncodeCalendar);
    check(DecodeContacts, EncodeContacts);
  }
}

}  // namespace
}  // namespace corvane::apps
