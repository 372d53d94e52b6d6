// export and import --app contacts|calendar|tasks|memos on databases built
// from the codecs with every optional part: JSON and CSV give back the very
// bytes, the empty databases' blocks decode to their settings, and Perl's
// Palm::Datebook (which reads the Calendar database too) reads the same
// values the export prints.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "corvane/apps/calendar.h"
#include "corvane/apps/contacts.h"
#include "corvane/apps/memos.h"
#include "corvane/apps/tasks.h"
#include "corvane/interchange/json_reader.h"
#include "corvane/pdb/corvane.h"
#include "tool_runner.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace corvane::apps;
using cli::JsonValue;
using cli::ParseJson;
using test::RunCorvane;
using test::ToolResult;

std::string HexOf(const Bytes& b) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  for (std::uint8_t x : b) {
    s += kDigits[x >> 4];
    s += kDigits[x & 15];
  }
  return s;
}

Bytes Of(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

struct Rec {
  Bytes data;
  std::uint8_t category = 0;
  std::uint8_t flags = 0;
  std::int32_t uid = 0;
  bool operator==(const Rec&) const = default;
};

struct Db {
  std::string name, creator, type;
  Bytes app_info;
  std::vector<Rec> records;
};

Db Load(const std::string& path) {
  TCorvane db;
  db.SetDirectory(fs::path(path).parent_path().string());
  db.SetPDBFilename(fs::path(path).filename().string());
  db.OpenDatabase();
  Db out{db.DatabaseName(), db.CreatorID(), db.DatabaseType(), {}, {}};
  std::span<const std::uint8_t> block;
  std::int32_t n = 0;
  db.GetAppInfoP(block, n);
  out.app_info.assign(block.begin(), block.end());
  for (std::int32_t i = 0; i < db.RecordCount(); ++i) {
    Rec r;
    std::shared_ptr<Bytes> data;
    std::int32_t size = 0;
    TRecFlags flags;
    db.GetRecord(i, data, size, flags, r.uid, r.category);
    if (data) r.data = *data;
    r.flags = pdb::RecFlagsToByte(flags);
    out.records.push_back(std::move(r));
  }
  db.CloseDatabase();
  return out;
}

// The category table the handheld's own templates hold: names 1 and 2
// deleted by a zero in their first byte.
CategoryInfo TemplateCategories() {
  CategoryInfo c = CategoryInfo::Standard();
  c.padding[1] = std::string("usiness") + std::string(8, '\0');
  c.padding[2] = std::string("ersonal") + std::string(8, '\0');
  c.names[3] = "Travel";
  c.ids[3] = 17;
  c.lastUniqueID = 17;
  return c;
}

ContactsRecord Contact(int n) {
  ContactsRecord c;
  if (n == 0) {
    for (std::size_t i = 0; i < kContactsFieldCount; ++i) c.fields[i] = std::string("v").append(std::to_string(i));
    c[ContactsField::kLastName] = "Lee";
    c[ContactsField::kFirstName] = "Ann";
    c[ContactsField::kCompany] = "Acme, Inc.";
    c[ContactsField::kNote] = "Met at the fair;\nlikes tea";
    c[ContactsField::kPhone5] = "ann@example.com";
    c[ContactsField::kChat1] = "annlee";
    c[ContactsField::kWebSite] = "http://example.com/ann";
    c.phoneLabels = {0, 1, 2, 3, 4, 5, 7};
    c.displayPhone = 6;
    c.chatLabels = {1, 4};
    c.addressLabels = {1, 0, 2};
    c.birthday = PackedDate{1970, 5, 17}.Word();
    c.birthdayFlags = 1;
    c.reminderDays = 3;
    ContactsAnniversary a;
    a.date = PackedDate{1999, 6, 12}.Word();
    a.flags = 1;
    a.reminderDays = 7;
    a.ringtoneID = 0x12345678;
    a.ringtoneType = 2;
    c.blobs = {
        {"Bd00", EncodePicture({1, std::string("\xff\xd8\xff\xe0\0\x10JFIF\0\xff\xd9", 14)})},
        {"Bd01", EncodeAnniversary(a)},
        {"Xy01", std::string("\x01\x02\0\x04", 4)}};
  } else if (n == 1) {  // the worked example: company, one phone, birthday without reminder
    c[ContactsField::kCompany] = "Company Only Ltd";
    c[ContactsField::kPhone1] = "555-0200";
    c.birthday = PackedDate{1985, 12, 31}.Word();
    c.birthdayFlags = 0;
  } else if (n == 2) {  // an empty note, odd slots, the blobs out of order, junk at the end
    c[ContactsField::kFirstName] = "Empty";
    c[ContactsField::kNote] = "";
    c[ContactsField::kPhone3] = "555";
    c[ContactsField::kCity3] = "Lyon";
    c.phoneLabels = {7, 1, 2, 3, 4, 5, 6};
    c.chatLabels = {2, 3};
    c.addressReserved = 5;
    c.companyOffset = 9;
    c.birthday = 0xFFFF;
    c.blobs = {{"Bd01", std::string("\0\0", 2)}, {"Bd00", std::string("\0\x02\xff\xd8", 4)}};
    c.extra = std::string("Bd0", 3);
  }
  return c;
}

CalendarRecord Event(int n) {
  CalendarRecord e;
  if (n == 0) {  // repeating, every part
    e.startHour = 9;
    e.startMinute = 30;
    e.endHour = 10;
    e.endMinute = 0;
    e.date = PackedDate{2006, 3, 6}.Word();
    e.alarm = DatebookAlarm{10, 0};
    DatebookRepeat rp;
    rp.type = 2;
    rp.repeatOn = 0x0A;
    rp.startOfWeek = 1;
    rp.end = PackedDate{2006, 12, 31}.Word();
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
  } else if (n == 1) {  // the worked example: untimed yearly, empty meeting blob
    e.date = PackedDate{2006, 7, 4}.Word();
    DatebookRepeat rp;
    rp.type = 5;
    e.repeat = rp;
    e.description = "Untimed yearly event";
    e.blobs = {{"Bd01", std::string("\0\x01\0\0", 4)}};
  } else if (n == 2) {  // once, with a zone and garbage in the flags' low byte
    e.startHour = 14;
    e.startMinute = 0;
    e.endHour = 15;
    e.endMinute = 30;
    e.date = PackedDate{2006, 5, 2}.Word();
    e.description = "Call Berlin";
    e.otherFlags = 0x0011;
    CalendarTimeZone z;
    z.offset = 60;
    z.dstStart = DstRule{2, 0, 4, 3};
    z.dstEnd = DstRule{3, 0, 4, 10};
    z.dstAdjustment = 60;
    z.country = 9;
    z.flags = 0x80;
    z.name = "Berlin";
    e.blobs = {{"Bd00", EncodeTimeZone(z)}};
    e.extra = std::string("\0\x01", 2);
  } else {  // once, floating, location only
    e.startHour = 8;
    e.startMinute = 0;
    e.endHour = 8;
    e.endMinute = 45;
    e.date = PackedDate{2006, 5, 3}.Word();
    e.description = "Breakfast";
    e.location = "Cafe";
  }
  return e;
}

TasksRecord Task(int n) {
  TasksRecord t;
  if (n == 0) {
    t.due = PackedDate{2006, 4, 10}.Word();
    t.completedOn = PackedDate{2006, 4, 9}.Word();
    t.alarm = TasksAlarm{8, 15, 2};
    DatebookRepeat rp;
    rp.type = 2;
    rp.repeatOn = 0x02;
    t.repeat = TasksRepeat{PackedDate{2006, 1, 2}.Word(), rp};
    t.repeatFromCompletion = true;
    t.description = "Water the plants";
    t.note = "Ficus first";
  } else if (n == 1) {
    t.completed = true;
    t.priority = 5;
    t.completedOn = PackedDate{2006, 3, 1}.Word();
    t.description = "Done task, no due date";
  } else {
    t.priority = 3;
    t.due = PackedDate{2006, 6, 1}.Word();
    t.alarm = TasksAlarm{kNoTime, kNoTime, 0};
    t.description = "Odd";
    t.textFlagsFlipped = 0x0400;
    t.otherDataFlags = 0x0003;
    t.otherRecordFlags = 0x0100;
    t.extra = "zz";
  }
  return t;
}

std::string Python() {
  static const std::string found = [] {
    for (const std::string p : {"python3", "/usr/bin/python3"}) {
      if (std::system((p + " -c 'import vobject, icalendar' >/dev/null 2>&1").c_str()) == 0)
        return p;
    }
    return std::string();
  }();
  return found;
}

#define SKIP_WITHOUT_PYTHON()                                                                 \
  if (Python().empty())                                                                       \
  GTEST_SKIP() << "python3-vobject or python3-icalendar is missing (Debian: apt-get install " \
                  "python3-vobject python3-icalendar); the outputs are not parsed"

struct LaterPimCli : ::testing::Test {
  test::TempDir dir;
  std::string Write(const std::string& name, const std::string& text) {
    test::WriteText(dir.File(name), text);
    return dir.File(name);
  }
  std::string Ok(const std::vector<std::string>& args) {
    const ToolResult r = RunCorvane(args);
    EXPECT_EQ(r.status, 0) << args.front() << " " << args.back() << "\n" << r.err;
    return r.out;
  }
  // A database of the application's own name, creator and type holding
  // these bytes, written through import --app raw.
  std::string Build(const std::string& file, const char* name, const char* creator,
                    const Bytes& app_info, const std::vector<Bytes>& records) {
    std::string json = std::string(R"({"database": {"name": ")") + name + R"(", "creator": ")" +
                       creator +
                       R"(", "type": "DATA", "version": 1}, "app": "raw", "appInfo": {"data": ")" +
                       HexOf(app_info) + R"("}, "records": [)";
    for (std::size_t i = 0; i < records.size(); ++i) {
      json += std::string(i ? ", " : "") + R"({"category": )" + std::to_string(i % 4) +
              R"(, "secret": )" + (i == 1 ? "true" : "false") + R"(, "uniqueID": )" +
              std::to_string(0x1000 + i) + R"(, "data": ")" + HexOf(records[i]) + R"("})";
    }
    json += "]}";
    const std::string out = dir.File(file);
    Ok({"import", "--input", Write(file + ".json", json), "-o", out});
    return out;
  }
  std::string Contacts() {
    ContactsAppInfo info = ContactsAppInfo::Standard();
    info.categories = TemplateCategories();
    info.misc = 0x0100;
    info.colors.colors[2] = 2;
    info.labels[14] = "Gift, idea";
    std::vector<Bytes> records;
    for (int n = 0; n < 3; ++n) records.push_back(EncodeContacts(Contact(n)));
    return Build("contacts.pdb", "ContactsDB-PAdd", "PAdd", EncodeContactsAppInfo(info), records);
  }
  std::string Calendar() {
    CalendarAppInfo cal;
    cal.categories = TemplateCategories();
    cal.colors.colors[2] = 2;
    cal.startOfWeek = 1;
    std::vector<Bytes> events;
    for (int n = 0; n < 4; ++n) events.push_back(EncodeCalendar(Event(n)));
    return Build("calendar.pdb", "CalendarDB-PDat", "PDat", EncodeCalendarAppInfo(cal), events);
  }
  // `with_to_do`: one more record, a To Do record written into the database
  // by other software.
  std::string Tasks(bool with_to_do = false) {
    TasksAppInfo tasks_info;
    tasks_info.categories = TemplateCategories();
    tasks_info.dirty = 0xFFFF;
    tasks_info.sortOrder = 3;
    std::vector<Bytes> tasks;
    for (int n = 0; n < 3; ++n) tasks.push_back(EncodeTasks(Task(n)));
    if (with_to_do) tasks.push_back(Bytes{0xFF, 0xFF, 0x01, 'H', 'i', 0, 0});
    return Build("tasks.pdb", "TasksDB-PTod", "PTod", EncodeTasksAppInfo(tasks_info), tasks);
  }
  // What python3-vobject and python3-icalendar read in the export's output.
  std::vector<std::string> Parsed(const std::string& pdb, const std::string& format) {
    const std::string file = Write("out." + format, Ok({"export", "--format", format, pdb}));
    const std::string out = dir.File("parsed.txt");
    const std::string cmd =
        Python() + " " +
        test::ShellQuote(std::string(CORVANE_SOURCE_DIR) + "/tests/tools/pim_check.py") + " " +
        test::ShellQuote(file) + " >" + test::ShellQuote(out) + " 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << test::ReadText(out) << test::ReadText(file);
    std::vector<std::string> lines;
    std::string all = test::ReadText(out), line;
    for (char c : all) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    return lines;
  }
  // JSON and CSV round trips: the same bytes, attributes and settings back.
  // CSV cannot tell an empty text from none: `csv_lossy` names the records
  // holding an empty text.
  void RoundTrips(const std::string& pdb, const std::string& app,
                  const std::vector<std::size_t>& csv_lossy = {}) {
    const Db a = Load(pdb);
    const std::string json = Ok({"export", pdb});
    EXPECT_NE(json.find("\"app\": \"" + app + "\""), std::string::npos) << json.substr(0, 2000);
    const std::string back = dir.File("back-" + app + ".pdb");
    Ok({"import", "--input", Write("back-" + app + ".json", json), "-o", back});
    const Db b = Load(back);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.creator, b.creator);
    EXPECT_EQ(a.app_info, b.app_info) << app;
    EXPECT_EQ(a.records, b.records) << app << "\n" << json;

    const std::string csv = Ok({"export", "--format", "csv", pdb});
    const std::string from_csv = dir.File("csv-" + app + ".pdb");
    Ok({"import", "--app", app, "--input", Write("back-" + app + ".csv", csv), "-o", from_csv});
    const Db c = Load(from_csv);
    EXPECT_EQ(c.name, a.name);
    ASSERT_EQ(c.records.size(), a.records.size());
    for (std::size_t i = 0; i < a.records.size(); ++i) {
      if (std::find(csv_lossy.begin(), csv_lossy.end(), i) != csv_lossy.end()) continue;
      EXPECT_EQ(c.records[i].data, a.records[i].data) << app << " CSV record " << i << "\n" << csv;
    }
  }
};

TEST_F(LaterPimCli, ContactsRoundTripWithEveryPart) {
  const std::string pdb = Contacts();
  RoundTrips(pdb, "contacts", {2});

  const JsonValue v = ParseJson(Ok({"export", pdb}));
  const JsonValue& r0 = v.Find("records")->items[0];
  EXPECT_EQ(r0.Find("lastName")->text, "Lee");
  EXPECT_EQ(r0.Find("phones")->items.size(), 7u);
  EXPECT_EQ(r0.Find("phones")->items[6].Find("label")->text, "mobile");
  EXPECT_EQ(r0.Find("displayPhone")->text, "phone7");
  EXPECT_EQ(r0.Find("chats")->items[1].Find("label")->text, "icq");
  EXPECT_EQ(r0.Find("addresses")->items[0].Find("label")->text, "home");
  EXPECT_EQ(r0.Find("addresses")->items[2].Find("zipCode")->text, "v36");
  EXPECT_EQ(r0.Find("webSite")->text, "http://example.com/ann");
  EXPECT_EQ(r0.Find("custom9")->text, "v22");
  EXPECT_EQ(r0.Find("birthday")->text, "1970-05-17");
  EXPECT_EQ(r0.Find("birthdayReminder")->text, "3");
  EXPECT_EQ(r0.Find("picture")->text, "/9j/4AAQSkZJRgD/2QA=");
  EXPECT_EQ(r0.Find("anniversary")->Find("date")->text, "1999-06-12");
  EXPECT_EQ(r0.Find("blobs")->items[2].Find("id")->text, "Xy01");
  EXPECT_EQ(r0.Find("category")->text, "Unfiled");
  const JsonValue& r1 = v.Find("records")->items[1];
  EXPECT_EQ(r1.Find("lastName"), nullptr);  // nothing there, no key
  EXPECT_EQ(r1.Find("blobs"), nullptr);
  EXPECT_EQ(r1.Find("phones")->items.size(), 1u);
  const JsonValue* info_json = v.Find("appInfo");
  EXPECT_EQ(info_json->Find("labels")->items.size(), 49u);
  EXPECT_TRUE(info_json->Find("sortByCompany")->boolean);
}

TEST_F(LaterPimCli, CalendarTasksAndMemosRoundTrip) {
  const std::string calendar = Calendar();
  RoundTrips(calendar, "calendar");
  const std::string todo = Tasks(true);
  RoundTrips(todo, "tasks");

  MemosAppInfo memos_info;
  memos_info.categories = TemplateCategories();
  memos_info.sortOrder = 1;
  const std::string memos =
      Build("memos.pdb", "MemosDB-PMem", "PMem", EncodeMemosAppInfo(memos_info),
            {Of(std::string("Shopping list\nMilk\nBread\0", 25)),
             Of(std::string("Second\0trailer", 14))});
  RoundTrips(memos, "memos");
  EXPECT_EQ(Ok({"export", "--format", "text", memos}), "Shopping list\nMilk\nBread\n\f\nSecond\n");

  const JsonValue c = ParseJson(Ok({"export", calendar}));
  const JsonValue& e0 = c.Find("records")->items[0];
  EXPECT_EQ(e0.Find("location")->text, "Room 4");
  EXPECT_EQ(e0.Find("timeZone")->Find("name")->text, "New York");
  EXPECT_EQ(e0.Find("timeZone")->Find("offset")->text, "-300");
  EXPECT_EQ(e0.Find("attendees")->items.size(), 3u);
  EXPECT_EQ(e0.Find("attendees")->items[0].Find("role")->text, "organizer");
  EXPECT_EQ(e0.Find("serverID")->text, "srv-1");
  const JsonValue& e3 = c.Find("records")->items[3];
  EXPECT_EQ(e3.Find("alarm"), nullptr);
  EXPECT_EQ(e3.Find("timeZone"), nullptr);
  EXPECT_EQ(c.Find("appInfo")->Find("startOfWeek")->text, "1");

  const JsonValue t = ParseJson(Ok({"export", todo}));
  const JsonValue& t0 = t.Find("records")->items[0];
  EXPECT_EQ(t0.Find("due")->text, "2006-04-10");
  EXPECT_EQ(t0.Find("completedOn")->text, "2006-04-09");
  EXPECT_EQ(t0.Find("alarm")->Find("time")->text, "08:15");
  EXPECT_EQ(t0.Find("repeat")->Find("start")->text, "2006-01-02");
  EXPECT_EQ(t.Find("appInfo")->Find("sortOrder")->text, "3");
  const JsonValue& t3 = t.Find("records")->items[3];
  EXPECT_EQ(t3.Find("data")->text, "ffff0148690000");
  EXPECT_EQ(t3.Find("undecodable")->text, "Record is shorter than its fixed part!");
}

// New databases take the application's own name, creator and type, and the
// Calendar's records go in the order the handheld keeps them.
TEST_F(LaterPimCli, NewDatabasesAndEmptyOnes) {
  const std::string json = R"({"records": [
      {"date": "2006-05-02", "start": "14:00", "end": "15:00", "description": "Later"},
      {"date": "2006-05-01", "description": "Untimed", "location": "Home",
       "timeZone": {"name": "Paris", "offset": 60}},
      {"date": "2006-01-01", "description": "Daily", "repeat": {"type": "daily"},
       "attendees": [{"role": "required", "name": "Bo", "email": "bo@example.com"}]}]})";
  const std::string pdb = dir.File("new.pdb");
  Ok({"import", "--app", "calendar", "--input", Write("new.json", json), "-o", pdb});
  const Db d = Load(pdb);
  EXPECT_EQ(d.name, "CalendarDB-PDat");
  EXPECT_NE(Ok({"info", pdb}).find("\napplication:        calendar\n"), std::string::npos);
  EXPECT_NE(Ok({"info", "--json", pdb}).find("\"application\": \"calendar\""), std::string::npos);
  EXPECT_EQ(d.creator, "PDat");
  EXPECT_EQ(d.type, "DATA");
  ASSERT_EQ(d.records.size(), 3u);
  EXPECT_EQ(*DecodeCalendar(d.records[0].data).description, "Daily");
  EXPECT_EQ(*DecodeCalendar(d.records[2].data).description, "Later");
  const CalendarRecord untimed = DecodeCalendar(d.records[1].data);
  EXPECT_EQ(*untimed.location, "Home");
  ASSERT_EQ(untimed.blobs.size(), 1u);
  EXPECT_EQ(DecodeTimeZone(BytesOf(untimed.blobs[0].data)).name, "Paris");

  // Empty databases: the blocks' settings decode and come back byte for byte.
  ContactsAppInfo contacts = ContactsAppInfo::Standard();
  contacts.categories = CategoryInfo::Standard();  // as import makes them without a block
  for (const auto& [app, block] :
       std::vector<std::pair<std::string, Bytes>>{{"calendar", EncodeCalendarAppInfo({})},
                                                  {"tasks", EncodeTasksAppInfo({})},
                                                  {"memos", EncodeMemosAppInfo({})},
                                                  {"contacts", EncodeContactsAppInfo(contacts)}}) {
    const std::string empty = dir.File("empty-" + app + ".pdb");
    Ok({"import", "--app", app, "--input", Write("e.json", R"({"records": []})"), "-o", empty});
    EXPECT_EQ(Load(empty).app_info, block) << app;
    RoundTrips(empty, app);
  }
  const ToolResult bad =
      RunCorvane({"import", "--app", "contacts", "--input",
                  Write("b.json", R"({"records": [{"phones": [{"slot": 3}, {"slot": 2}]}]})"), "-o",
                  dir.File("b.pdb")});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("the slots run from 1 to 7"), std::string::npos) << bad.err;
}

TEST_F(LaterPimCli, VCardsParseWithTheRecordsValues) {
  SKIP_WITHOUT_PYTHON();
  const std::vector<std::string> v = Parsed(Contacts(), "vcard");
  const auto has = [&](const std::string& l) {
    return std::find(v.begin(), v.end(), l) != v.end();
  };
  std::string all;
  for (const std::string& l : v) all += l + "\n";
  EXPECT_TRUE(has("FN=Ann Lee")) << all;
  EXPECT_TRUE(has("TEL=VOICE,WORK:v4")) << all;
  EXPECT_TRUE(has("TEL=CELL,PREF,VOICE:v10")) << all;
  EXPECT_TRUE(has("EMAIL=ann@example.com")) << all;
  EXPECT_TRUE(has("IMPP=aim:annlee")) << all;
  EXPECT_TRUE(has("IMPP=icq:v12")) << all;
  EXPECT_TRUE(has("URL=http://example.com/ann")) << all;
  EXPECT_TRUE(has("ADR=HOME:v23|v24|v25|v26|v27")) << all;
  EXPECT_TRUE(has("ADR=OTHER:v33|v34|v35|v36|v37")) << all;
  EXPECT_TRUE(has("BDAY=1970-05-17")) << all;
  EXPECT_TRUE(has("X-ANNIVERSARY=1999-06-12")) << all;
  EXPECT_TRUE(has("NOTE=Met at the fair;\\nlikes tea")) << all;
  EXPECT_TRUE(has("X-PALM-CUSTOM1=Gift, idea:v14")) << all;
  EXPECT_TRUE(has("X-PALM-CUSTOM9=Custom 9:v22")) << all;
  EXPECT_TRUE(has("PHOTO=ffd8ffe0:14")) << all;
  EXPECT_TRUE(has("FN=Company Only Ltd")) << all;
  EXPECT_TRUE(has("CATEGORIES=Unfiled")) << all;
}

TEST_F(LaterPimCli, ICalendarParsesWithTheRecordsValues) {
  SKIP_WITHOUT_PYTHON();
  const std::vector<std::string> v = Parsed(Calendar(), "ical");
  const auto has = [&](const std::string& l) {
    return std::find(v.begin(), v.end(), l) != v.end();
  };
  std::string all;
  for (const std::string& l : v) all += l + "\n";
  EXPECT_TRUE(has("SUMMARY=Team meeting")) << all;
  EXPECT_TRUE(has("DTSTART=2006-03-06T09:30:00-05:00 -1 day, 19:00:00")) << all;
  EXPECT_TRUE(has("LOCATION=Room 4")) << all;
  EXPECT_TRUE(has("ORGANIZER=Ann Lee:mailto:ann@example.com")) << all;
  EXPECT_TRUE(has("ATTENDEE=REQ-PARTICIPANT:Bo:mailto:bo@example.com")) << all;
  EXPECT_TRUE(has("ATTENDEE=OPT-PARTICIPANT:Cy:invalid:nomail")) << all;
  EXPECT_TRUE(has("RRULE=FREQ=WEEKLY;UNTIL=20070101T045959Z;BYDAY=MO,WE;WKST=MO")) << all;
  // Berlin keeps summer time in May: the VTIMEZONE carries the daylight rule.
  EXPECT_TRUE(has("DTSTART=2006-05-02T14:00:00+02:00 2:00:00")) << all;
  EXPECT_TRUE(has("DTSTART=2006-05-03T08:00:00")) << all;  // floating
  EXPECT_TRUE(has("LOCATION=Cafe")) << all;
  EXPECT_TRUE(has("DTSTART=2006-07-04")) << all;
  EXPECT_TRUE(has("TRIGGER=-1 day, 23:50:00")) << all;

  const std::vector<std::string> t = Parsed(Tasks(), "ical");
  std::string tasks;
  for (const std::string& l : t) tasks += l + "\n";
  EXPECT_NE(tasks.find("TODO=Water the plants\nDUE=2006-04-10\nPRIORITY=1\nSTATUS=NEEDS-ACTION\n"
                       "TRIGGER=-2 days, 8:15:00"),
            std::string::npos)
      << tasks;
  EXPECT_NE(tasks.find("TODO=Done task, no due date\nPRIORITY=9\nSTATUS=COMPLETED"),
            std::string::npos)
      << tasks;
}

// Perl's Palm::Datebook reads the Calendar's records (location and zone
// included) with the values the export prints.
TEST_F(LaterPimCli, CalendarValuesEqualPalmDatebooks) {
  if (std::system("perl -MPalm::Datebook -MJSON::PP -e1 >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "perl or Palm::Datebook is missing (Debian: apt-get install libpalm-perl)";
  const std::string pdb = Calendar();
  const std::string json = Write("cal.json", Ok({"export", pdb}));
  const std::string out = dir.File("oracle.txt");
  const std::string cmd =
      "perl " + test::ShellQuote(std::string(CORVANE_SOURCE_DIR) + "/tests/tools/apps_oracle.pl") +
      " " + test::ShellQuote(pdb) + " " + test::ShellQuote(json) + " cp1252 >" +
      test::ShellQuote(out) + " 2>&1";
  std::system(cmd.c_str());
  EXPECT_EQ(test::ReadText(out), "OK 4\n");
}

}  // namespace
}  // namespace corvane
