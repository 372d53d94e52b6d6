// Messages a user can act on: a failure names the file and, where it is known,
// the record, the field and the offsets; a value out of a field's range says
// so with the range; a file that is no record database says what it is.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tool_runner.h"

namespace corvane {
namespace {

using test::RunCorvane;
using test::ToolResult;

void ExpectSays(const ToolResult& r, int status, const std::vector<std::string>& said) {
  EXPECT_EQ(r.status, status) << r.err;
  for (const std::string& s : said) EXPECT_NE(r.err.find(s), std::string::npos) << r.err;
}

TEST(Messages, DamagedAndUnsuitableFilesAreNamedWithTheFault) {
  test::TempDir dir;
  // Record 0 runs to record 1's offset, far past the end of the file.
  test::ByteWriter w = test::PdbHeader("Broken", 2);
  w.U32(96).U32(0).U32(70000).U32(1).U16(0).U32(0x41424344);
  const std::string broken = dir.File("broken.pdb");
  test::WriteAll(broken, w.bytes);
  ExpectSays(RunCorvane({"export", "--app", "raw", broken}), 1,
             {"'" + broken + "'", "record 0", "70000", "past the end of the file at 100"});
  // A block offset past the end: named in every command that opens the file.
  const std::string app_info = dir.File("appinfo.pdb");
  test::WriteAll(app_info, test::PdbHeader("Broken", 0, 4000).U16(0).bytes);
  for (const char* command : {"info", "export", "records"}) {
    SCOPED_TRACE(command);
    ExpectSays(RunCorvane({command, app_info}), 1,
               {"'" + app_info + "'", "application-info block", "4000"});
  }

  const std::string empty = dir.File("empty.pdb");
  test::WriteAll(empty, {});
  ExpectSays(RunCorvane({"info", empty}), 1, {"'" + empty + "'", "empty"});
  const ToolResult device = RunCorvane({"info", "/dev/null"});
  ExpectSays(device, 1, {"/dev/null", "device"});
  EXPECT_EQ(device.err.find("does not exist"), std::string::npos) << device.err;
}

TEST(Messages, AResourceDatabaseIsNotExportedAsRecords) {
  test::TempDir dir;
  const std::string prc = dir.File("app.prc");
  test::WriteAll(prc, test::PdbHeader("App", 0, 0, 0, 0x0001).U16(0).bytes);
  for (const std::vector<std::string>& args : {std::vector<std::string>{"export", prc},
                                               {"export", "--app", "memo", prc},
                                               {"export", "--engine", "appforge", prc}}) {
    SCOPED_TRACE(args.back() + " " + args[1]);
    ExpectSays(RunCorvane(args), 1,
               {"resource database", "corvane records", "corvane export --resources"});
  }
}

TEST(Messages, NumbersPastAFieldsRangeSaySoWithTheRange) {
  test::TempDir dir;
  for (const char* n : {"9223372036854775808", "1.23e+29", "-1e300"}) {
    SCOPED_TRACE(n);
    const std::string json = dir.File("in.json");
    const std::string text =
        std::string("{\"fields\":[{\"name\":\"N\",\"type\":\"NSBInteger\"}],") +
        "\"records\":[{\"N\":" + n + "}]}";
    test::WriteAll(json, std::vector<std::uint8_t>(text.begin(), text.end()));
    const ToolResult r =
        RunCorvane({"import", "--engine", "nsbasic", "--name", "N", "--creator", "Test", "--type",
                    "DATA", "--input", json, "-o", dir.File("out.pdb")});
    ExpectSays(r, 1, {"field 'N'", "outside -2147483648 to 2147483647"});
    EXPECT_EQ(r.err.find("whole number"), std::string::npos) << r.err;
  }
  // A fraction is still no whole number.
  const std::string json = dir.File("in.json");
  const std::string text =
      "{\"fields\":[{\"name\":\"N\",\"type\":\"NSBInteger\"}],\"records\":[{\"N\":1.5}]}";
  test::WriteAll(json, std::vector<std::uint8_t>(text.begin(), text.end()));
  ExpectSays(RunCorvane({"import", "--engine", "nsbasic", "--name", "N", "--creator", "Test",
                         "--type", "DATA", "--input", json, "-o", dir.File("out.pdb")}),
             1, {"1.5 is not a whole number"});
}

// A stored date no calendar has names its record and field, whether the
// records are walked (export) or loaded into a table (convert, --sort).
TEST(Messages, AnUnreadableDateNamesTheRecordAndField) {
  test::TempDir dir;
  test::ByteWriter w = test::PdbHeader("Dates", 2);
  w.U32(96).U32(0).U32(104).U32(1).U16(0);
  w.U32(0x4132EC25).U32(0);  // 1240101: 2024-01-01
  w.U32(0x4132F137).U32(0);  // 1241399: a 13th month
  const std::string path = dir.File("dates.pdb");
  test::WriteAll(path, w.bytes);
  const std::vector<std::string> fields = {"--engine", "nsbasic", "--field", "D:NSBDate"};
  std::vector<std::vector<std::string>> runs = {{"export"}, {"export", "--sort", "D"}, {"convert"}};
  for (auto& args : runs) {
    SCOPED_TRACE(args.back());
    const bool convert = args[0] == "convert";
    args.insert(args.begin() + 1, fields.begin(), fields.end());
    if (convert) args.insert(args.end(), {"--to", "java", "-o", dir.File("out.pdb")});
    args.push_back(path);
    ExpectSays(RunCorvane(args), 1, {"record 1", "field 'D'", "1241399"});
  }
}

// Where export writes a date or a name, import takes it, and a wrong value is
// told in the same words (not as a number that was expected).
TEST(Messages, AppImportAsksForTheFormsExportWrites) {
  test::TempDir dir;
  struct Case {
    const char* json;
    const char* said;  // nullptr: imported
  };
  const Case cases[] = {
      {R"({"app":"datebook","records":[{"date":"2021-01-01","repeat":{"type":"daily",)"
       R"("frequency":1},"exceptions":["2021-01-03"]}]})",
       nullptr},
      {R"({"app":"datebook","records":[{"date":"2021-01-01","repeat":{"type":"daily",)"
       R"("frequency":1},"exceptions":["tomorrow"]}]})",
       "\"exceptions\" must be a date YYYY-MM-DD from 1904-01-01 to 2031-12-31, not tomorrow"},
      {R"({"app":"address","records":[{"lastName":"A","displayPhone":"phone2"}]})", nullptr},
      {R"({"app":"address","records":[{"lastName":"A","displayPhone":"mobile"}]})",
       "\"displayPhone\" must be phone1 to phone5, not mobile"},
      {R"({"app":"contacts","records":[{"lastName":"A","displayPhone":"phone9"}]})",
       "\"displayPhone\" must be phone1 to phone7, not phone9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    const std::string in = dir.File("in.json");
    const std::string text = c.json;
    test::WriteAll(in, std::vector<std::uint8_t>(text.begin(), text.end()));
    const ToolResult r = RunCorvane({"import", "--input", in, "-o", dir.File("out.pdb")});
    if (c.said == nullptr) {
      EXPECT_EQ(r.status, 0) << r.err;
    } else {
      ExpectSays(r, 1, {c.said});
      EXPECT_EQ(r.err.find("whole number"), std::string::npos) << r.err;
    }
  }
}

}  // namespace
}  // namespace corvane
