// export and import --app on real files from other software, against Perl's
// Palm modules (an independent reader), and the vCard, iCalendar and text
// outputs against the rules of their RFCs.
#include <gtest/gtest.h>

#include <filesystem>

#include "corvane/pdb/corvane.h"
#include "tool_runner.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::RunCorvane;
using test::ToolResult;

const std::string kCorpus = std::string(CORVANE_SHARED_DIR) + "/corpus";
const std::string kOracle = std::string(CORVANE_SOURCE_DIR) + "/tests/tools/apps_oracle.pl";

bool HavePerlModules() {
  static const bool have =
      std::system(
          "perl -MPalm::Memo -MPalm::ToDo -MPalm::Address -MPalm::Datebook -MPalm::Mail "
          "-MJSON::PP -e1 >/dev/null 2>&1") == 0;
  return have;
}

#define SKIP_WITHOUT_CORPUS() \
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no shared corpus at " << kCorpus
#define SKIP_WITHOUT_PERL()                                                                     \
  if (!HavePerlModules())                                                                       \
  GTEST_SKIP() << "perl or its Palm modules are missing (Debian: apt-get install libpalm-perl)" \
                  "; the comparison with them is not made"

// The files export --app reads: the handheld's own databases and e-books.
std::vector<std::string> AppFiles() {
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(kCorpus)) {
    const std::string name = e.path().filename().string();
    if (name.starts_with("pim-") || name.starts_with("doc-") ||
        name == "nsb-DocReaderLib-Guide.pdb")
      files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string EncodingFor(const std::string& path) {
  return path.find("-JP") != std::string::npos ? "SHIFT_JIS" : "cp1252";
}

std::string Oracle(const std::string& pdb, const std::string& json, const std::string& enc) {
  test::TempDir tmp;
  const std::string cmd = "perl " + test::ShellQuote(kOracle) + " " + test::ShellQuote(pdb) + " " +
                          test::ShellQuote(json) + " " + test::ShellQuote(enc) + " >" +
                          test::ShellQuote(tmp.File("out")) + " 2>&1";
  std::system(cmd.c_str());
  return test::ReadText(tmp.File("out"));
}

struct Rec {
  Bytes data;
  std::uint8_t category = 0;
  std::string category_name;
  std::uint8_t flags = 0;
  std::int32_t uid = 0;
  bool operator==(const Rec&) const = default;
};

struct Db {
  std::string creator, type;
  Bytes app_info;
  std::vector<Rec> records;
};

Db Load(const std::string& path) {
  TCorvane db;
  db.SetDirectory(fs::path(path).parent_path().string());
  db.SetPDBFilename(fs::path(path).filename().string());
  db.OpenDatabase();
  Db out;
  out.creator = db.CreatorID();
  out.type = db.DatabaseType();
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
    if (out.app_info.size() >= 276) r.category_name = db.GetCategory(r.category);
    out.records.push_back(std::move(r));
  }
  db.CloseDatabase();
  return out;
}

struct AppsCli : ::testing::Test {
  test::TempDir dir;
  std::string Write(const std::string& name, const std::string& text) {
    test::WriteText(dir.File(name), text);
    return dir.File(name);
  }
  // Runs and expects success; gives standard output.
  std::string Ok(const std::vector<std::string>& args) {
    const ToolResult r = RunCorvane(args);
    EXPECT_EQ(r.status, 0) << args.back() << "\n" << r.err;
    return r.out;
  }
};

TEST_F(AppsCli, CorpusValuesEqualPerls) {
  SKIP_WITHOUT_CORPUS();
  SKIP_WITHOUT_PERL();
  for (const std::string& f : AppFiles()) {
    const std::string enc = EncodingFor(f);
    const std::string json = Write("export.json", Ok({"export", "--encoding", enc, f}));
    const std::string verdict = Oracle(f, json, enc);
    EXPECT_EQ(verdict.rfind("OK", 0), 0u) << f << "\n" << verdict;
  }
}

TEST_F(AppsCli, CorpusJsonRoundTripsByteForByte) {
  SKIP_WITHOUT_CORPUS();
  for (const std::string& f : AppFiles()) {
    const std::string enc = EncodingFor(f);
    const std::string json = Write("export.json", Ok({"export", "--encoding", enc, f}));
    const std::string out = dir.File("again.pdb");
    fs::remove(out);
    Ok({"import", "--encoding", enc, "--input", json, "-o", out});
    const Db a = Load(f), b = Load(out);
    EXPECT_EQ(a.creator, b.creator) << f;
    EXPECT_EQ(a.type, b.type) << f;
    EXPECT_EQ(a.app_info, b.app_info) << f;
    EXPECT_EQ(a.records, b.records) << f;
  }
}

TEST_F(AppsCli, CorpusCsvRoundTripsTheRecords) {
  SKIP_WITHOUT_CORPUS();
  for (const std::string& f : AppFiles()) {
    if (f.find("/doc-") != std::string::npos || f.find("DocReader") != std::string::npos) continue;
    const std::string enc = EncodingFor(f);
    const Db a = Load(f);
    const ToolResult r = RunCorvane({"export", "--format", "csv", "--encoding", enc, f});
    ASSERT_EQ(r.status, 0) << f << r.err;
    const std::string csv = Write("export.csv", r.out);
    std::string name;
    if (a.creator == "memo") name = "memo";
    if (a.creator == "todo") name = "todo";
    if (a.creator == "addr") name = "address";
    if (a.creator == "date") name = "datebook";
    if (a.creator == "mail") name = "mail";
    if (name.empty()) name = "raw";
    const std::string out = dir.File("again.pdb");
    fs::remove(out);
    std::vector<std::string> args = {"import",  "--app", name, "--encoding", enc,
                                     "--input", csv,     "-o", out};
    if (name == "raw") {
      for (const char* o : {"--name", "Raw", "--creator", "Raww", "--type", "DATA"})
        args.push_back(o);
    }
    Ok(args);
    const Db b = Load(out);
    ASSERT_EQ(a.records.size(), b.records.size()) << f;
    for (std::size_t i = 0; i < a.records.size(); ++i) {
      EXPECT_EQ(a.records[i].data, b.records[i].data) << f << " record " << i;
      EXPECT_EQ(a.records[i].uid, b.records[i].uid) << f << " record " << i;
      EXPECT_EQ(a.records[i].flags, b.records[i].flags) << f << " record " << i;
      // CSV carries the category's name, not the table: the name survives.
      if (!a.records[i].category_name.empty()) {
        EXPECT_EQ(a.records[i].category_name, b.records[i].category_name) << f;
      }
    }
  }
}

const char* kMemoJson = R"({"app": "memo", "appInfo": {"categories": [{"name": "Unfiled"},
  {"name": "Work"}, {"name": "Café"}], "sortOrder": 1},
  "records": [
    {"category": "Café", "secret": true, "text": "Crème brûlée — 3 € each\nsecond line"},
    {"category": "Work", "text": ""},
    {"category": "New one", "text": "a category the table did not have"}]})";

const char* kToDoJson = R"({"app": "todo", "records": [
  {"description": "Buy milk", "note": "2 litres", "due": "2031-12-31", "priority": 3, "completed": true},
  {"description": "Someday", "note": "", "due": null, "priority": 5, "completed": false}]})";

const char* kAddressJson = R"({"app": "address", "records": [
  {"lastName": "Souza, Jr.", "firstName": "Ana; Maria", "company": "Ação \\ Cia", "phone1": "555-0101",
   "phone2": "ana@example.com", "phone3": null, "phone4": null, "phone5": "555-0199",
   "phoneLabels": ["work", "email", "fax", "other", "mobile"], "displayPhone": "phone5",
   "address": "Rua Um, 1\nApto 2", "city": "São Paulo", "state": "SP", "zipCode": "01000-000",
   "country": "Brasil", "title": null, "custom1": "c1", "custom2": null, "custom3": null,
   "custom4": null, "note": "Ünïcödé note that is long enough to be folded across lines of a vCard, àéîõü àéîõü àéîõü"},
  {"lastName": null, "firstName": null, "company": "Only a company", "phone1": null, "phone2": null,
   "phone3": null, "phone4": null, "phone5": null, "phoneLabels": ["work", "home", "fax", "other", "email"],
   "displayPhone": "phone1", "address": null, "city": null, "state": null, "zipCode": null,
   "country": null, "title": "CEO", "custom1": null, "custom2": null, "custom3": null, "custom4": null,
   "note": null}]})";

const char* kDatebookJson = R"({"app": "datebook", "appInfo": {"startOfWeek": 1}, "records": [
  {"date": "2021-02-17", "start": "09:30", "end": "10:15", "description": "Stand-up; daily, short",
   "note": "Room 2", "alarm": {"advance": 5, "unit": "minutes"},
   "repeat": {"type": "weekly", "frequency": 2, "end": "2021-12-31", "days": ["mon", "wed"], "startOfWeek": 1},
   "exceptions": ["2021-03-01", "2021-03-03"]},
  {"date": "2021-05-01", "start": null, "end": null, "description": "Holiday", "note": null,
   "alarm": {"advance": 1, "unit": "days"}, "repeat": {"type": "yearly", "frequency": 1, "end": null},
   "exceptions": null},
  {"date": "2021-06-08", "start": "18:00", "end": "19:00", "description": "Club", "note": null,
   "alarm": null, "repeat": {"type": "monthlyByDay", "frequency": 1, "end": null, "week": 4, "day": "tue"},
   "exceptions": null}]})";

const char* kMailJson = R"({"app": "mail", "records": [
  {"date": "2004-04-15T13:05", "subject": "Olá", "from": "ana@example.com", "to": "bob@example.com\ncarl@example.com",
   "cc": "", "bcc": "", "replyTo": "", "sentTo": "", "body": "Corpo\nda mensagem", "read": true, "priority": 0},
  {"date": null, "subject": "draft", "from": "", "to": "", "cc": "", "bcc": "", "replyTo": "", "sentTo": "",
   "body": "", "read": false, "priority": 1}]})";

TEST_F(AppsCli, ImportedFilesLoadInPerlWithTheSameValues) {
  SKIP_WITHOUT_PERL();
  const std::pair<const char*, const char*> inputs[] = {{"memo", kMemoJson},
                                                        {"todo", kToDoJson},
                                                        {"address", kAddressJson},
                                                        {"datebook", kDatebookJson},
                                                        {"mail", kMailJson}};
  for (const auto& [app, text] : inputs) {
    const std::string json = Write(std::string(app) + ".json", text);
    const std::string out = dir.File(std::string(app) + ".pdb");
    Ok({"import", "--input", json, "-o", out});
    const std::string verdict = Oracle(out, json, "cp1252");
    EXPECT_EQ(verdict.rfind("OK", 0), 0u) << app << "\n" << verdict;
    // Export gives back what went in.
    const std::string again = Write("again.json", Ok({"export", out}));
    EXPECT_EQ(Oracle(out, again, "cp1252").rfind("OK", 0), 0u) << app;
  }
  const Db memo = Load(dir.File("memo.pdb"));
  EXPECT_EQ(memo.records[2].category_name, "New one");
  EXPECT_EQ(memo.records[0].flags & 0x10, 0x10);  // secret
}

TEST_F(AppsCli, StandardNamesAndCategories) {
  const std::string out = dir.File("m.pdb");
  Ok({"import", "--app", "memo", "--input", Write("m.json", kMemoJson), "-o", out});
  const std::string info = Ok({"info", "--json", out});
  EXPECT_NE(info.find("\"name\": \"MemoDB\""), std::string::npos) << info;
  EXPECT_NE(info.find("\"creator\": \"memo\""), std::string::npos);
  EXPECT_NE(info.find("\"type\": \"DATA\""), std::string::npos);
  EXPECT_NE(info.find("\"name\": \"Work\""), std::string::npos);
  EXPECT_NE(info.find("\"appInfoSize\": 282"), std::string::npos);
}

// Every physical line ends in CRLF, holds at most 75 octets and is valid
// UTF-8 on its own; unfolded, the logical lines.
std::vector<std::string> CheckFolding(const std::string& text) {
  std::vector<std::string> logical;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t crlf = text.find("\r\n", at);
    EXPECT_NE(crlf, std::string::npos) << "a line without CRLF at " << at;
    if (crlf == std::string::npos) break;
    const std::string line = text.substr(at, crlf - at);
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    EXPECT_LE(line.size(), 75u) << line;
    if (!line.empty()) {
      const auto first = static_cast<unsigned char>(line[0]);
      EXPECT_NE(first & 0xC0, 0x80) << "a fold split a UTF-8 character: " << line;
      const auto last = static_cast<unsigned char>(line.back());
      EXPECT_FALSE(last >= 0xC0) << "a fold split a UTF-8 character: " << line;
    }
    if (!line.empty() && line[0] == ' ' && !logical.empty()) {
      logical.back() += line.substr(1);
    } else {
      logical.push_back(line);
    }
    at = crlf + 2;
  }
  return logical;
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<std::size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(AppsCli, VCardFollowsItsRfc) {
  const std::string out = dir.File("a.pdb");
  Ok({"import", "--input", Write("a.json", kAddressJson), "-o", out});
  const std::vector<std::string> lines = CheckFolding(Ok({"export", "--format", "vcard", out}));
  EXPECT_EQ(Count(lines, "BEGIN:VCARD"), 2u);
  EXPECT_EQ(Count(lines, "VERSION:3.0"), 2u);
  EXPECT_EQ(Count(lines, "FN:"), 2u);
  EXPECT_EQ(Count(lines, "N:"), 2u);
  EXPECT_EQ(Count(lines, "END:VCARD"), 2u);
  EXPECT_TRUE(HasLine(lines, "N:Souza\\, Jr.;Ana\\; Maria;;;"));
  EXPECT_TRUE(HasLine(lines, "FN:Ana\\; Maria Souza\\, Jr."));
  EXPECT_TRUE(HasLine(lines, "ORG:Ação \\\\ Cia"));
  EXPECT_TRUE(HasLine(lines, "TEL;TYPE=WORK,VOICE:555-0101"));
  EXPECT_TRUE(HasLine(lines, "EMAIL;TYPE=INTERNET:ana@example.com"));
  EXPECT_TRUE(HasLine(lines, "TEL;TYPE=CELL,VOICE,PREF:555-0199"));
  EXPECT_TRUE(HasLine(lines, "ADR:;;Rua Um\\, 1\\nApto 2;São Paulo;SP;01000-000;Brasil"));
  EXPECT_TRUE(HasLine(lines, "CATEGORIES:Unfiled"));
  EXPECT_TRUE(HasLine(lines,
                      "NOTE:Ünïcödé note that is long enough to be folded across lines of a "
                      "vCard\\, àéîõü àéîõü àéîõü"));
  EXPECT_TRUE(HasLine(lines, "FN:Only a company"));
  EXPECT_TRUE(HasLine(lines, "TITLE:CEO"));
}

TEST_F(AppsCli, ICalendarFollowsItsRfc) {
  const std::string events = dir.File("d.pdb");
  Ok({"import", "--input", Write("d.json", kDatebookJson), "-o", events});
  const std::vector<std::string> lines = CheckFolding(Ok({"export", "--format", "ical", events}));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "BEGIN:VCALENDAR");
  EXPECT_EQ(lines.back(), "END:VCALENDAR");
  EXPECT_TRUE(HasLine(lines, "VERSION:2.0"));
  EXPECT_EQ(Count(lines, "PRODID:"), 1u);
  EXPECT_EQ(Count(lines, "BEGIN:VEVENT"), 3u);
  EXPECT_EQ(Count(lines, "UID:"), 3u);
  EXPECT_EQ(Count(lines, "DTSTAMP:"), 3u);
  for (const std::string& l : lines) {
    if (l.rfind("DTSTAMP:", 0) == 0) {
      // DTSTAMP:YYYYMMDDTHHMMSSZ, in UTC.
      const std::string v = l.substr(8);
      bool ok = v.size() == 16 && v[8] == 'T' && v[15] == 'Z';
      for (std::size_t i = 0; ok && i < 15; ++i) ok = i == 8 || (v[i] >= '0' && v[i] <= '9');
      EXPECT_TRUE(ok) << l;
    }
  }
  EXPECT_TRUE(HasLine(lines, "DTSTART:20210217T093000"));
  EXPECT_TRUE(HasLine(lines, "DTEND:20210217T101500"));
  EXPECT_TRUE(HasLine(lines, "SUMMARY:Stand-up\\; daily\\, short"));
  EXPECT_TRUE(
      HasLine(lines, "RRULE:FREQ=WEEKLY;BYDAY=MO,WE;WKST=MO;INTERVAL=2;UNTIL=20211231T235959"));
  EXPECT_TRUE(HasLine(lines, "EXDATE:20210301T093000,20210303T093000"));
  EXPECT_TRUE(HasLine(lines, "TRIGGER:-PT5M"));
  EXPECT_TRUE(HasLine(lines, "DTSTART;VALUE=DATE:20210501"));
  EXPECT_TRUE(HasLine(lines, "DTEND;VALUE=DATE:20210502"));
  EXPECT_TRUE(HasLine(lines, "RRULE:FREQ=YEARLY"));
  EXPECT_TRUE(HasLine(lines, "TRIGGER:-P1D"));
  EXPECT_TRUE(HasLine(lines, "RRULE:FREQ=MONTHLY;BYDAY=-1TU"));
  EXPECT_EQ(Count(lines, "BEGIN:VALARM"), 2u);
  EXPECT_EQ(Count(lines, "ACTION:DISPLAY"), 2u);

  const std::string todos = dir.File("t.pdb");
  Ok({"import", "--input", Write("t.json", kToDoJson), "-o", todos});
  const std::vector<std::string> t = CheckFolding(Ok({"export", "--format", "ical", todos}));
  EXPECT_EQ(Count(t, "BEGIN:VTODO"), 2u);
  EXPECT_EQ(Count(t, "DTSTAMP:"), 2u);
  EXPECT_EQ(Count(t, "UID:"), 2u);
  EXPECT_TRUE(HasLine(t, "DUE;VALUE=DATE:20311231"));
  EXPECT_TRUE(HasLine(t, "PRIORITY:5"));
  EXPECT_TRUE(HasLine(t, "STATUS:COMPLETED"));
  EXPECT_TRUE(HasLine(t, "STATUS:NEEDS-ACTION"));
  EXPECT_TRUE(HasLine(t, "DESCRIPTION:2 litres"));
}

TEST_F(AppsCli, TextOfMemosAndEBooks) {
  const std::string memos = dir.File("m.pdb");
  Ok({"import", "--input", Write("m.json", kMemoJson), "-o", memos});
  EXPECT_EQ(Ok({"export", "--format", "text", memos}),
            "Crème brûlée — 3 € each\nsecond line\n\f\n\n\f\na category the table did not have\n");

  std::string book;
  for (int i = 0; i < 2000; ++i) book += "Chapter " + std::to_string(i % 7) + ": déjà vu, again.\n";
  const std::string txt = Write("book.txt", book);
  const std::string pdb = dir.File("book.pdb");
  Ok({"import", "--app", "doc", "--input", txt, "-o", pdb});
  EXPECT_EQ(Ok({"export", "--format", "text", pdb}), book);
  const Db db = Load(pdb);
  EXPECT_EQ(db.creator, "REAd");
  EXPECT_EQ(db.type, "TEXt");
  ASSERT_EQ(db.records.size(), 1 + (book.size() - 2000 + 4095) / 4096);  // é is one byte
  EXPECT_EQ(db.records[0].data[1], 2);                                   // compressed
  std::size_t stored = 0;
  for (std::size_t i = 1; i < db.records.size(); ++i) stored += db.records[i].data.size();
  EXPECT_LT(stored, book.size() / 2);
  if (HavePerlModules()) {
    const std::string json = Write("book.json", Ok({"export", pdb}));
    EXPECT_EQ(Oracle(pdb, json, "cp1252").rfind("OK", 0), 0u);
  }
}

TEST_F(AppsCli, OtherCharacterSetsThroughIconv) {
  const std::string json =
      Write("c.json", R"({"app": "memo", "records": [{"text": "Привет, мир"}]})");
  const std::string out = dir.File("c.pdb");
  Ok({"import", "--encoding", "CP1251", "--input", json, "-o", out});
  EXPECT_EQ(Load(out).records[0].data,
            (Bytes{0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, ',', ' ', 0xEC, 0xE8, 0xF0, 0}));
  EXPECT_NE(Ok({"export", "--encoding", "CP1251", out}).find("Привет, мир"), std::string::npos);

  const ToolResult no =
      RunCorvane({"import", "--encoding", "CP1251", "--input",
                  Write("x.json", R"({"app": "memo", "records": [{"text": "日本"}]})"), "-o",
                  dir.File("x.pdb")});
  EXPECT_EQ(no.status, 1);
  EXPECT_NE(no.err.find("has no byte sequence in CP1251"), std::string::npos) << no.err;
  EXPECT_FALSE(fs::exists(dir.File("x.pdb")));
  const ToolResult bad = RunCorvane({"export", "--encoding", "KLINGON-8", out});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("unknown --encoding 'KLINGON-8'"), std::string::npos) << bad.err;
}

TEST_F(AppsCli, BadUsageAndDamagedRecords) {
  const std::string memos = dir.File("m.pdb");
  Ok({"import", "--input", Write("m.json", kMemoJson), "-o", memos});
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"export", "--format", "vcard", memos}, 2, "--format vcard is for address and contacts, not memo"},
      {{"export", "--format", "ical", memos}, 2, "--format ical is for datebook, todo, calendar and tasks"},
      {{"export", "--app", "palm", memos}, 2, "unknown --app 'palm'"},
      {{"export", "--app", "memo", "--engine", "java", memos},
       2,
       "--app and --engine exclude each other"},
      {{"export", "--format", "xml", memos}, 2, "unknown format 'xml'"},
      {{"export", "--app", "todo", memos},
       1,
       "record 0: A text of the record is not ended by a zero byte!"},
      {{"import", "--input", Write("n.json", R"({"records": []})"), "-o", dir.File("n.pdb")},
       2,
       "missing --app"},
      {{"import", "--app", "todo", "--input",
        Write("p.json", R"({"records": [{"description": "x", "priority": 300}]})"), "-o",
        dir.File("p.pdb")},
       1,
       "record 0 (line 1).\"priority\" must be a whole number from 0 to 127, not 300"},
      {{"import", "--app", "datebook", "--input",
        Write("q.json", R"({"records": [{"date": "2021-02-30"}]})"), "-o", dir.File("q.pdb")},
       1,
       "must be a date from 1904-01-01 to 2031-12-31, not 2021-02-30"},
  };
  for (const Case& c : cases) {
    const ToolResult r = RunCorvane(c.args);
    EXPECT_EQ(r.status, c.status) << c.err << "\n" << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir.File("p.pdb")));
}

TEST_F(AppsCli, AutoPicksTheApplicationFromTheHeader) {
  SKIP_WITHOUT_CORPUS();
  const std::pair<const char*, const char*> files[] = {{"pim-MemoDB-Treo.pdb", "memo"},
                                                       {"pim-ToDoDB-secret.pdb", "todo"},
                                                       {"pim-AddressDB-LifeDrive.pdb", "address"},
                                                       {"pim-DatebookDB-openflag.pdb", "datebook"},
                                                       {"pim-MailDB.pdb", "mail"},
                                                       {"doc-phppdb-bookmark_test.pdb", "doc"},
                                                       {"pim-ExpenseDB-empty-ptBR.pdb", "raw"}};
  for (const auto& [file, app] : files) {
    const std::string out = Ok({"export", kCorpus + "/" + file});
    EXPECT_NE(out.find(std::string("\"app\": \"") + app + "\""), std::string::npos) << file;
  }
}

}  // namespace
}  // namespace corvane
