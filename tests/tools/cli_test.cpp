// The `corvane` program as a user meets it: exit codes, messages on standard
// error, and the exact output formats (other programs parse the JSON).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tool_runner.h"

namespace corvane {
namespace {

using Result = test::ToolResult;

// Runs the program with `args` in the source directory, in the given language.
Result RunTool(const std::vector<std::string>& args, const std::string& lang = "C") {
  return test::RunCorvane(args, "", lang);
}

TEST(Cli, ExitCodesAndMessages) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_has, err;  // err: the whole of standard error, or "" for none
  };
  const Case cases[] = {
      {{"--help"}, 0, "Usage: corvane", ""},
      {{"--version"}, 0, "corvane ", ""},
      {{"info", "--help"}, 0, "Usage: corvane info", ""},
      {{"records", "-h"}, 0, "Usage: corvane records", ""},
      {{"info", "samples/contacts.pdb"}, 0, "name:               Contacts\n", ""},
      {{"info", "--encoding=latin1", "samples/contacts.pdb"}, 0, "Caf\xC3\xA9", ""},
      {{"records", "samples/contacts.pdb", "--data"}, 0, "dirty,delete", ""},
      {{}, 2, "", "corvane: missing COMMAND\nTry 'corvane --help'.\n"},
      {{"--bogus"}, 2, "", "corvane: unknown option '--bogus'\nTry 'corvane --help'.\n"},
      {{"frob", "x.pdb"}, 2, "", "corvane: unknown command 'frob'\nTry 'corvane --help'.\n"},
      {{"info"}, 2, "", "corvane: missing FILE\nTry 'corvane info --help'.\n"},
      {{"info", "a.pdb", "b.pdb"},
       2,
       "",
       "corvane: unexpected argument 'b.pdb'\nTry 'corvane info --help'.\n"},
      {{"info", "--data", "a.pdb"},
       2,
       "",
       "corvane: unknown option '--data'\nTry 'corvane info --help'.\n"},
      {{"info", "--encoding"},
       2,
       "",
       "corvane: option '--encoding' needs a value (cp1252|latin1|utf8)\n"
       "Try 'corvane info --help'.\n"},
      {{"info", "--encoding", "ebcdic", "samples/contacts.pdb"},
       2,
       "",
       "corvane: unknown encoding 'ebcdic' (cp1252, latin1 or utf8)\nTry 'corvane info --help'.\n"},
      {{"records", "--json=yes", "a.pdb"},
       2,
       "",
       "corvane: option '--json' takes no value\nTry 'corvane records --help'.\n"},
      // Any name is read; a directory is no database file.
      {{"records", "samples"}, 1, "", "corvane: cannot open 'samples': Is a directory (code 4)\n"},
      {{"info", "samples/missing.pdb"},
       1,
       "",
       "corvane: cannot open 'samples/missing.pdb': No such file or directory (code 4)\n"},
      {{"records", "--", "samples/missing.PDB"},
       1,
       "",
       "corvane: cannot open 'samples/missing.PDB': No such file or directory (code 4)\n"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    const Result r = RunTool(c.args);
    EXPECT_EQ(r.status, c.status) << line << r.err;
    EXPECT_NE(r.out.find(c.out_has), std::string::npos) << line << r.out;
    EXPECT_EQ(r.err, c.err) << line;
  }
}

TEST(Cli, LibraryMessagesFollowTheLanguage) {
  const Result r = RunTool({"info", "fuzz/corpus/bad-empty-file.pdb"}, "pt_BR.UTF-8");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "corvane: cannot read 'fuzz/corpus/bad-empty-file.pdb': Arquivo n\xC3\xA3o "
            "est\xC3\xA1 no formato Palm Database (PDB)! (it is empty) (code 7)\n");
}

TEST(Cli, InfoJsonOfTheSample) {
  const Result r = RunTool({"info", "--json", "samples/contacts.pdb"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string categories;
  const char* names[] = {"Unfiled", "Family", "Work", "Caf\xC3\xA9"};
  for (int i = 0; i < 16; ++i) {
    categories += "    {\"index\": " + std::to_string(i) + ", \"name\": \"" +
                  (i < 4 ? names[i] : "") + "\", \"id\": " + std::to_string(i) + "}" +
                  (i < 15 ? ",\n" : "\n");
  }
  EXPECT_EQ(r.out,
            "{\n"
            "  \"name\": \"Contacts\",\n"
            "  \"attributes\": 8,\n"
            "  \"flags\": [\"backup\"],\n"
            "  \"version\": 1,\n"
            "  \"created\": \"2024-03-01T09:30:00\",\n"
            "  \"modified\": \"2024-05-17T18:45:10\",\n"
            "  \"backedUp\": null,\n"
            "  \"modificationNumber\": 12,\n"
            "  \"appInfoOffset\": 128,\n"
            "  \"sortInfoOffset\": 404,\n"
            "  \"type\": \"DATA\",\n"
            "  \"creator\": \"Crvn\",\n"
            "  \"uniqueIDSeed\": 10485767,\n"
            "  \"recordCount\": 6,\n"
            "  \"appInfoSize\": 276,\n"
            "  \"sortInfoSize\": 2,\n"
            "  \"categories\": [\n" +
                categories +
                "  ]\n"
                "}\n");
}

TEST(Cli, RecordsJsonOfTheSample) {
  const Result r = RunTool({"records", "--json", "--data", "samples/contacts.pdb"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      r.out,
      "[\n"
      "  {\"index\": 0, \"offset\": 406, \"size\": 43, \"category\": 1, \"uniqueID\": 10485761, "
      "\"flags\": [\"dirty\"], \"data\": "
      "\"416e6120536f757a61002b353520313120353535352d3031303100616e61406578616d706c652e636f6d00\"},"
      "\n"
      "  {\"index\": 1, \"offset\": 449, \"size\": 46, \"category\": 2, \"uniqueID\": 10485762, "
      "\"flags\": [], \"data\": "
      "\"4272756e6f204c696d61002b353520323120353535352d30313032006272756e6f406578616d706c652e636f6d"
      "00\"},\n"
      "  {\"index\": 2, \"offset\": 495, \"size\": 48, \"category\": 2, \"uniqueID\": 10485763, "
      "\"flags\": [\"secret\"], \"data\": "
      "\"4361726c61204d656e646573002b333531203231203535352030313033006361726c61406578616d706c652e6f"
      "726700\"},\n"
      "  {\"index\": 3, \"offset\": 543, \"size\": 0, \"category\": 1, \"uniqueID\": 10485764, "
      "\"flags\": [\"dirty\", \"delete\"], \"data\": \"\"},\n"
      "  {\"index\": 4, \"offset\": 543, \"size\": 49, \"category\": 3, \"uniqueID\": 10485765, "
      "\"flags\": [], \"data\": "
      "\"4a6f73e920476f6ee7616c766573002b353520333120353535352d30313035006a6f7365406578616d706c652e"
      "636f6d00\"},\n"
      "  {\"index\": 5, \"offset\": 592, \"size\": 45, \"category\": 0, \"uniqueID\": 10485766, "
      "\"flags\": [\"dirty\"], \"data\": "
      "\"4d61726961204f6c697665697261002b31203535352030313036006d61726961406578616d706c652e6e657400"
      "\"}\n"
      "]\n");
}

// A header whose name, type and creator hold bytes that need escaping or
// decoding; no records, no blocks.
std::string WriteOddNames(const test::TempDir& tmp) {
  test::ByteWriter w;
  w.Str("q\"b\\s\x80\xE9\x81", 32).U16(0x8000).U16(0).U32(0).U32(0x7C000000).U32(0);
  w.U32(0).U32(0).U32(0).Str(std::string("\0\x01\n\x7f", 4), 4).Str("ab", 4);
  w.U32(0).U32(0).U16(0).U16(0);
  const std::string path = tmp.File("odd.pdb");
  test::WriteAll(path, w.bytes);
  return path;
}

TEST(Cli, JsonEscapesAndDecodesNames) {
  test::TempDir tmp;
  const std::string path = WriteOddNames(tmp);
  struct Case {
    std::string encoding, name;
  };
  const Case cases[] = {
      {"cp1252", "q\\\"b\\\\s\xE2\x82\xAC\xC3\xA9\xC2\x81"},
      {"latin1", "q\\\"b\\\\s\xC2\x80\xC3\xA9\xC2\x81"},
      {"utf8", "q\\\"b\\\\s\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) {
    const Result r = RunTool({"info", "--json", "--encoding", c.encoding, path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"name\": \"" + c.name + "\",\n"), std::string::npos)
        << c.encoding << r.out;
    EXPECT_NE(r.out.find("\"type\": \"\\u0000\\u0001\\n\\u007f\",\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"creator\": \"ab\\u0000\\u0000\",\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"created\": null,\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"attributes\": 32768,\n  \"flags\": [\"open\"],\n"), std::string::npos);
    EXPECT_NE(r.out.find("\"categories\": null\n"), std::string::npos) << r.out;
  }
  const Result text = RunTool({"info", path});
  EXPECT_NE(text.out.find("type:               \\x00\\x01\\x0a\\x7f\n"), std::string::npos)
      << text.out;
}

TEST(Cli, AFileThatIsNoDatabaseFailsWithTheLibrarysCode) {
  test::TempDir tmp;
  test::WriteAll(tmp.File("short.pdb"), std::vector<std::uint8_t>(40, 0));
  const Result r = RunTool({"records", "--json", tmp.File("short.pdb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "corvane: cannot read '" + tmp.File("short.pdb") +
                       "': File is not in Palm Database Format (PDB)! (it holds 40 bytes, fewer "
                       "than a header's 78) (code 7)\n");
}

// A file that cannot be written is named with the system's reason.
TEST(Cli, CreateFailuresNameThePathAndTheReason) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.File("taken.pdb"));
  struct Case {
    std::string out, reason;
  };
  const Case cases[] = {
      {dir.File("missing/x.pdb"), "No such file or directory"},
      {dir.File("taken.pdb"), "Is a directory"},
  };
  for (const Case& c : cases) {
    const Result r =
        RunTool({"import", "--engine", "generic", "--input", "samples/generic.json", "-o", c.out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvane: cannot create '" + c.out + "': " + c.reason + " (code 7)\n");
  }
}

}  // namespace
}  // namespace corvane
