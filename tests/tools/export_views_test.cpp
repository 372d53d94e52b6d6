// export reads the values of the file it walks without Variants, and those of
// --sort/--where from the rows the dataset kept: both must print the same
// bytes, for every kind of value and the record attributes beside them.
#include <gtest/gtest.h>

#include "tool_runner.h"

namespace corvane {
namespace {

using test::RunCorvane;
using test::ToolResult;

std::vector<std::string> Cat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Case {
  std::string engine;
  std::vector<std::string> fields;
  std::string where;  // a field every record matches with "*"
  std::string csv;    // imported, then exported both ways
};

TEST(ExportViews, WalkAndSelectionPrintTheSameBytes) {
  const Case cases[] = {
      {"pocketstudio",
       {"--field", "Done:PSBoolean", "--field", "Qty:PSInt16",     "--field", "Big:PSUInt32",
        "--field", "Day:PSDate",     "--field", "At:PSTime",       "--field", "When:PSDateTime",
        "--field", "Who:PSString",   "--field", "Code:PSString:6", "--field", "Ratio:PSSingle",
        "--field", "Price:PSDouble", "--field", "Blob:PSBinary"},
       "Who",
       "Done,Qty,Big,Day,At,When,Who,Code,Ratio,Price,Blob,category,flags,uniqueID\r\n"
       "true,-32768,4294967295,2031-12-31,23:59:00,1904-01-01T00:00:01,\"a,\"\"b\"\"\r\nc\","
       "Caf\xC3\xA9,0.1,NaN,00ff,3,\"secret,dirty\",42\r\n"
       "false,0,0,,00:00:00,,,,-0,-Infinity,,0,,0\r\n"
       "true,127,1,1904-01-01,00:01:00,2040-02-06T06:28:15,\x7F\x01,\xE2\x82\xAC,3.4028235e+38,"
       "1e-300,0001,15,busy,16777215\r\n"},
      {"nsbasic",
       {"--field", "Id:NSBInteger", "--field", "Name:NSBString", "--field", "Day:NSBDate",
        "--field", "At:NSBTime", "--field", "Amount:NSBDouble", "--field", "Count:NSBShort",
        "--field", "Small:NSBSingle", "--field", "B:NSBByte"},
       "Name",
       "Id,Name,Day,At,Amount,Count,Small,B,flags\r\n"
       "-2147483648,,1900-01-01,00:00:00,-0,65535,1.5,255,dirty\r\n"
       "2147483647,\"x\"\"y\",2031-12-31,23:59:59,Infinity,0,-0.25,0,\r\n"
       "0,\xC3\xA9t\xC3\xA9,,12:34:56,1e+308,1,0,1,secret\r\n"},
      {"java",
       {"--field", "B:JByte", "--field", "Ok:JBoolean", "--field", "C:JChar", "--field", "I:JInt",
        "--field", "L:JLong", "--field", "S:JShort", "--field", "T:JString", "--field", "D:JDate"},
       "T",
       "B,Ok,C,I,L,S,T,D\r\n"
       "255,true,Z,-1,-9223372036854775808,-32768,t,1969-12-31T23:59:59\r\n"
       "0,false,,0,9223372036854775807,32767,,\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.engine);
    test::TempDir dir;
    const std::string in = dir.File("in.csv"), out = dir.File("v.pdb");
    test::WriteText(in, c.csv);
    const ToolResult imported =
        RunCorvane(Cat(Cat({"import", "--engine", c.engine, "--name", "Views", "--creator", "Crvn",
                            "--type", "DATA", "--input", in, "-o", out},
                           c.fields),
                       {}));
    ASSERT_EQ(imported.status, 0) << imported.err;
    for (const std::vector<std::string>& format :
         {std::vector<std::string>{"--format", "csv", "--with-attributes"},
          std::vector<std::string>{"--format", "json"}}) {
      const std::vector<std::string> base =
          Cat(Cat({"export", "--engine", c.engine}, c.fields), format);
      const ToolResult walked = RunCorvane(Cat(base, {out}));
      const ToolResult selected = RunCorvane(Cat(base, {"--where", c.where + "=*", out}));
      ASSERT_EQ(walked.status, 0) << walked.err;
      ASSERT_EQ(selected.status, 0) << selected.err;
      EXPECT_EQ(walked.out, selected.out);
      EXPECT_FALSE(walked.out.empty());
    }
  }
}

// The records' members as export lays them out, attributes and all.
TEST(ExportViews, JsonRecordLayout) {
  test::TempDir dir;
  const std::string in = dir.File("in.csv"), out = dir.File("r.pdb");
  test::WriteText(in,
                  "Id,Name,category,flags,uniqueID\r\n"
                  "7,\"q\"\"\\\r\n\",3,\"secret,busy,dirty\",42\r\n"
                  "-1,,0,,0\r\n");
  const std::vector<std::string> fields = {"--field", "Id:NSBInteger", "--field", "Name:NSBString"};
  ASSERT_EQ(RunCorvane(Cat(Cat({"import", "--engine", "nsbasic", "--name", "R", "--creator", "Crvn",
                                "--type", "DATA", "--input", in, "-o", out},
                               fields),
                           {}))
                .status,
            0);
  const ToolResult json = RunCorvane(Cat(Cat({"export", "--engine", "nsbasic"}, fields), {out}));
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("  \"records\": [\n"
                          "    {\"Id\": 7, \"Name\": \"q\\\"\\\\\\r\\n\", \"category\": 3, "
                          "\"flags\": [\"secret\", \"busy\", \"dirty\"], \"uniqueID\": 42},\n"
                          "    {\"Id\": -1, \"Name\": \"\", \"category\": 0, \"flags\": [], "
                          "\"uniqueID\": 0}\n"
                          "  ]\n"
                          "}\n"),
            std::string::npos)
      << json.out;
  // A field of an attribute's name hides that attribute.
  const std::vector<std::string> hiding = {"--field", "Id:NSBInteger", "--field",
                                           "flags:NSBString"};
  const ToolResult hidden = RunCorvane(Cat(Cat({"export", "--engine", "nsbasic"}, hiding), {out}));
  ASSERT_EQ(hidden.status, 0) << hidden.err;
  EXPECT_NE(hidden.out.find("{\"Id\": -1, \"flags\": \"\", \"category\": 0, \"uniqueID\": 0}"),
            std::string::npos)
      << hidden.out;
}

// The attribute columns of CSV, each combination of flags, and files whose
// records print nothing or whose fields hide attributes.
TEST(ExportViews, AttributeColumnsAndEmptyFiles) {
  test::TempDir dir;
  const std::string in = dir.File("in.csv"), out = dir.File("a.pdb"), none = dir.File("n.pdb");
  test::WriteText(in,
                  "Id,Name,category,flags,uniqueID\r\n"
                  "7,\"q\"\"\\\r\n\",3,\"secret,busy,dirty\",42\r\n"
                  "-1,,0,,0\r\n"
                  "2147483647,x,15,busy,16777215\r\n"
                  "-2147483648,y,1,\"busy,dirty\",1\r\n");
  const std::vector<std::string> fields = {"--field", "Id:NSBInteger", "--field", "Name:NSBString"};
  const auto import = [&](const std::string& from, const std::string& to) {
    return RunCorvane(Cat(Cat({"import", "--engine", "nsbasic", "--name", "A", "--creator", "Crvn",
                               "--type", "DATA", "--input", from, "-o", to},
                              fields),
                          {}));
  };
  ASSERT_EQ(import(in, out).status, 0);
  const ToolResult csv = RunCorvane(Cat(Cat({"export", "--engine", "nsbasic"}, fields),
                                        {"--format", "csv", "--with-attributes", out}));
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out,
            "Id,Name,category,flags,uniqueID\r\n"
            "7,\"q\"\"\\\r\n\",3,\"secret,busy,dirty\",42\r\n"
            "-1,,0,,0\r\n"
            "2147483647,x,15,busy,16777215\r\n"
            "-2147483648,y,1,\"busy,dirty\",1\r\n");

  const std::vector<std::string> hiding = {"--field", "category:NSBInteger", "--field",
                                           "uniqueID:NSBString"};
  const ToolResult hidden = RunCorvane(Cat(Cat({"export", "--engine", "nsbasic"}, hiding), {out}));
  ASSERT_EQ(hidden.status, 0) << hidden.err;
  EXPECT_NE(hidden.out.find("  \"records\": [\n"
                            "    {\"category\": 7, \"uniqueID\": \"q\\\"\\\\\\r\\n\", "
                            "\"flags\": [\"secret\", \"busy\", \"dirty\"]},\n"
                            "    {\"category\": -1, \"uniqueID\": \"\", \"flags\": []},\n"),
            std::string::npos)
      << hidden.out;

  // No records: the array is empty, the CSV a header alone.
  test::WriteText(in, "Id,Name\r\n");
  ASSERT_EQ(import(in, none).status, 0);
  const ToolResult empty_json =
      RunCorvane(Cat(Cat({"export", "--engine", "nsbasic"}, fields), {none}));
  ASSERT_EQ(empty_json.status, 0) << empty_json.err;
  EXPECT_NE(empty_json.out.find("\"records\": []\n}\n"), std::string::npos) << empty_json.out;
  const ToolResult empty_csv = RunCorvane(Cat(Cat({"export", "--engine", "nsbasic"}, fields),
                                              {"--format", "csv", "--with-attributes", none}));
  ASSERT_EQ(empty_csv.status, 0) << empty_csv.err;
  EXPECT_EQ(empty_csv.out, "Id,Name,category,flags,uniqueID\r\n");
}

}  // namespace
}  // namespace corvane
