// export --sort and --where as the user's locale and the file's character set
// have them: texts sort by the locale's collation, --nocase folds accented
// letters too, and nothing else of the locale reaches the output.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "corvane/engines/pocketstudio.h"
#include "support/temp_dir.h"
#include "tool_runner.h"

namespace corvane {
namespace {

using test::RunCorvane;
using test::ToolResult;

// A PocketStudio table of names (Windows-1252) and prices.
std::string WriteNames(const test::TempDir& dir, const std::vector<std::string>& names) {
  TPDBPocketStudio e;
  auto& name = e.Fields().Add();
  name.SetFieldName("Name");
  name.SetDataType(PSString);
  auto& price = e.Fields().Add();
  price.SetFieldName("Price");
  price.SetDataType(PSDouble);
  e.SetDirectory(dir.path());
  e.SetPDBFilename("names.pdb");
  e.SetOpenMode(dmModeWriteOnly);
  e.SetDBName("Names");
  e.SetCreatorID("Test");
  e.SetDatabaseType("DATA");
  e.CreateDatabase();
  double p = 0.5;
  for (const std::string& n : names) {
    e.Append();
    e.Fields().GetItem(0).SetAsPSString(n);
    e.Fields().GetItem(1).SetAsPSDouble(p);
    p += 1.25;
    e.Post();
  }
  e.CloseDatabase();
  return dir.File("names.pdb");
}

// The first locale of the list the system has, "" when none.
std::string RealLocale(const std::vector<const char*>& names) {
  const std::string saved = std::setlocale(LC_COLLATE, nullptr);
  std::string found;
  for (const char* n : names) {
    if (std::setlocale(LC_COLLATE, n)) {
      found = n;
      break;
    }
  }
  std::setlocale(LC_COLLATE, saved.c_str());
  return found;
}

ToolResult ExportNames(const std::string& file, const std::vector<std::string>& extra,
                       const std::string& lang = "C", const std::string& format = "csv") {
  std::vector<std::string> args = {"export",         "--engine",      "pocketstudio",
                                   "--field",        "Name:PSString", "--field",
                                   "Price:PSDouble", "--format",      format};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(file);
  return RunCorvane(args, "", lang);
}

std::vector<std::string> Names(const ToolResult& r) {
  std::vector<std::string> out;
  std::size_t at = r.out.find("\r\n");  // after the header line
  while (at != std::string::npos && at + 2 < r.out.size()) {
    const std::size_t start = at + 2;
    const std::size_t end = r.out.find("\r\n", start);
    const std::string line = r.out.substr(start, end - start);
    out.push_back(line.substr(0, line.find(',')));
    at = end;
  }
  return out;
}

TEST(ExportCollation, SortFollowsTheUsersLocale) {
  test::TempDir dir;
  const std::string file = WriteNames(dir, {"banana", "Apricot", "cherry", "Banana", "apple"});
  const ToolResult bytes = ExportNames(file, {"--sort", "Name"});
  ASSERT_EQ(bytes.status, 0) << bytes.err;
  EXPECT_EQ(Names(bytes),
            (std::vector<std::string>{"Apricot", "Banana", "apple", "banana", "cherry"}));
  const std::string locale = RealLocale({"en_US.UTF-8", "en_US.utf8"});
  if (locale.empty()) GTEST_SKIP() << "no en_US.UTF-8 locale";
  const ToolResult en = ExportNames(file, {"--sort", "Name"}, locale);
  ASSERT_EQ(en.status, 0) << en.err;
  EXPECT_EQ(Names(en),
            (std::vector<std::string>{"apple", "Apricot", "banana", "Banana", "cherry"}));
}

TEST(ExportCollation, NoCaseFoldsAccentedLettersOfTheFilesCharacterSet) {
  test::TempDir dir;
  // Windows-1252: Água, água, Ção, ção, pera.
  const std::string file =
      WriteNames(dir, {"\xC1gua", "pera", "\xE7\xE3o", "\xE1gua", "\xC7\xE3o"});
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> names;  // as printed, UTF-8
  };
  const Case cases[] = {
      {{"--where", "Name=\xC3\xA1gua", "--nocase"}, {"\xC3\x81gua", "\xC3\xA1gua"}},
      {{"--where", "Name=\xC3\x87*", "--nocase"}, {"\xC3\xA7\xC3\xA3o", "\xC3\x87\xC3\xA3o"}},
      {{"--where", "Name=\xC3\xA1gua"}, {"\xC3\xA1gua"}},
      // Folded, Á and á are one letter: ties keep file order.
      {{"--sort", "Name", "--nocase"},
       {"pera", "\xC3\x81gua", "\xC3\xA1gua", "\xC3\xA7\xC3\xA3o", "\xC3\x87\xC3\xA3o"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[1]);
    const ToolResult r = ExportNames(file, c.options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Names(r), c.names);
  }
}

TEST(ExportCollation, OnlyTheOrderOfTextsTakesTheLocale) {
  const std::string locale = RealLocale({"de_DE.UTF-8", "de_DE.utf8"});
  if (locale.empty()) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  test::TempDir dir;
  const std::string file = WriteNames(dir, {"b", "a", "c"});
  for (const std::string format : {"csv", "json"}) {
    SCOPED_TRACE(format);
    const ToolResult c = ExportNames(file, {"--sort", "Price", "--desc"}, "C", format);
    const ToolResult de = ExportNames(file, {"--sort", "Price", "--desc"}, locale, format);
    ASSERT_EQ(c.status, 0) << c.err;
    ASSERT_EQ(de.status, 0) << de.err;
    EXPECT_EQ(de.out, c.out) << "a decimal point, never a comma";
    EXPECT_NE(c.out.find("1.75"), std::string::npos) << c.out;
  }
}

}  // namespace
}  // namespace corvane
