// corvane info: the header, the sizes of the two blocks and the category table.
#include <array>
#include <cstdio>
#include <optional>

#include "corvane/pdb/corvane.h"
#include "corvane/pdb/file_format.h"
#include "tools/commands.h"
#include "tools/json.h"
#include "tools/text_encoding.h"

namespace corvane::cli {
namespace {

constexpr std::array<OptionSpec, 2> kOptions = {{
    {"--json", ""},
    {"--encoding", "cp1252|latin1|utf8"},
}};

constexpr std::string_view kHelp =
    "Usage: corvane info [--json] [--encoding cp1252|latin1|utf8] FILE\n"
    "\n"
    "Shows the header of the database FILE (.pdb), the sizes of its application-info\n"
    "and sort-info blocks and its 16 categories.\n"
    "\n"
    "  --json        one JSON object; dates are local time, null when unset;\n"
    "                categories is null without a category table\n"
    "  --encoding E  character set of the names in the file (default cp1252,\n"
    "                the handhelds' Windows-1252)\n"
    "  --help        this text\n";

constexpr std::array<std::string_view, 6> kDBFlagNames = {
    "readOnly",         "appInfoDirty",      "backup",
    "okToInstallNewer", "resetAfterInstall", "copyPrevention"};

struct Category {
  std::string name;
  std::uint8_t id;
};

// The table as the manager reads it; nothing when the file has no
// application-info block or one too short to hold the table.
std::optional<std::array<Category, 16>> ReadCategories(TCorvane& db) {
  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  db.GetAppInfoP(block, length);
  if (db.GetAppInfoOffset() == 0 ||
      length < static_cast<std::int32_t>(pdb::kCategoryTableMinSize)) {
    return std::nullopt;
  }
  std::array<Category, 16> table;
  for (std::uint8_t i = 0; i < 16; ++i) {
    table[i].name = db.GetCategory(i);
    table[i].id = db.GetCategoryID(i);
  }
  return table;
}

std::vector<std::string_view> FlagNames(TDBFlags flags) {
  std::vector<std::string_view> names;
  for (std::size_t i = 0; i < kDBFlagNames.size(); ++i) {
    if (flags.Contains(static_cast<TDBEnumFlags>(i))) names.push_back(kDBFlagNames[i]);
  }
  return names;
}

std::int32_t BlockSize(TCorvane& db, bool app_info) {
  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  if (app_info) {
    db.GetAppInfoP(block, length);
  } else {
    db.GetSortInfoP(block, length);
  }
  return length;
}

void WriteInfoObject(JsonWriter& w, TCorvane& db, TextEncoding enc,
                     const std::optional<std::array<Category, 16>>& categories) {
  const auto date = [&](std::string_view key, TDateTime dt) {
    w.Key(key);
    if (dt == 0) {
      w.Null();
    } else {
      w.String(FormatDateTime(dt));
    }
  };
  w.BeginObject();
  w.Key("name");
  w.String(ToUtf8(db.DatabaseName(), enc));
  w.Key("attributes");
  w.UInt(db.GetAttributes());
  w.Key("flags");
  w.BeginArray(JsonWriter::Layout::kInline);
  for (std::string_view f : FlagNames(db.GetDBFlags())) w.String(f);
  w.EndArray();
  w.Key("version");
  w.UInt(db.GetDBVersion());
  date("created", db.CreationDate());
  date("modified", db.GetModificationDate());
  date("backedUp", db.GetLastBackupDate());
  w.Key("modificationNumber");
  w.UInt(db.GetModification());
  w.Key("appInfoOffset");
  w.UInt(db.GetAppInfoOffset());
  w.Key("sortInfoOffset");
  w.UInt(db.GetSortInfoOffset());
  w.Key("type");
  w.String(ToUtf8(db.DatabaseType(), enc));
  w.Key("creator");
  w.String(ToUtf8(db.CreatorID(), enc));
  w.Key("uniqueIDSeed");
  w.UInt(db.GetUniqueIDSeed());
  w.Key("recordCount");
  w.UInt(db.RecordCount());
  w.Key("appInfoSize");
  w.Int(BlockSize(db, true));
  w.Key("sortInfoSize");
  w.Int(BlockSize(db, false));
  w.Key("categories");
  if (!categories) {
    w.Null();
  } else {
    w.BeginArray();
    for (std::size_t i = 0; i < categories->size(); ++i) {
      w.BeginObject(JsonWriter::Layout::kInline);
      w.Key("index");
      w.UInt(i);
      w.Key("name");
      w.String(ToUtf8((*categories)[i].name, enc));
      w.Key("id");
      w.UInt((*categories)[i].id);
      w.EndObject();
    }
    w.EndArray();
  }
  w.EndObject();
}

void WriteJson(TCorvane& db, TextEncoding enc,
               const std::optional<std::array<Category, 16>>& categories, std::string& out) {
  JsonWriter w(out);
  WriteInfoObject(w, db, enc, categories);
  w.EndDocument();
}

void WriteText(TCorvane& db, TextEncoding enc,
               const std::optional<std::array<Category, 16>>& categories, std::string& out) {
  char buf[128];
  const auto line = [&](const char* label, const std::string& value) {
    std::snprintf(buf, sizeof buf, "%-20s", label);
    out += buf;
    out += value;
    out += '\n';
  };
  const auto date = [](TDateTime dt) { return dt == 0 ? std::string("-") : FormatDateTime(dt); };
  line("name:", Printable(ToUtf8(db.DatabaseName(), enc)));
  std::string attributes;
  std::snprintf(buf, sizeof buf, "0x%04x", db.GetAttributes());
  attributes = buf;
  const auto flags = FlagNames(db.GetDBFlags());
  for (std::size_t i = 0; i < flags.size(); ++i) {
    attributes += i == 0 ? " (" : ", ";
    attributes += flags[i];
  }
  if (!flags.empty()) attributes += ')';
  line("attributes:", attributes);
  line("version:", std::to_string(db.GetDBVersion()));
  line("created:", date(db.CreationDate()));
  line("modified:", date(db.GetModificationDate()));
  line("backedUp:", date(db.GetLastBackupDate()));
  line("modificationNumber:", std::to_string(db.GetModification()));
  line("appInfoOffset:", std::to_string(db.GetAppInfoOffset()));
  line("sortInfoOffset:", std::to_string(db.GetSortInfoOffset()));
  line("type:", Printable(ToUtf8(db.DatabaseType(), enc)));
  line("creator:", Printable(ToUtf8(db.CreatorID(), enc)));
  line("uniqueIDSeed:", std::to_string(db.GetUniqueIDSeed()));
  line("recordCount:", std::to_string(db.RecordCount()));
  line("appInfoSize:", std::to_string(BlockSize(db, true)));
  line("sortInfoSize:", std::to_string(BlockSize(db, false)));
  if (!categories) {
    line("categories:", "-");
    return;
  }
  out += "categories:\n  index   id  name\n";
  for (std::size_t i = 0; i < categories->size(); ++i) {
    std::snprintf(buf, sizeof buf, "  %5zu  %3u  ", i, unsigned{(*categories)[i].id});
    out += buf;
    out += Printable(ToUtf8((*categories)[i].name, enc));
    out += '\n';
  }
}

int RunInfo(const ParsedArgs& args, Output& out) {
  TextEncoding enc = TextEncoding::kWindows1252;
  const std::string enc_name = args.Value("--encoding", "cp1252");
  if (!ParseTextEncoding(enc_name, enc)) {
    throw UsageError("unknown encoding '" + enc_name + "' (cp1252, latin1 or utf8)");
  }
  const std::string& path = SingleFileArgument(args);
  TCorvane db;
  OpenForReading(db, path);
  const auto categories = ReadCategories(db);
  if (args.Has("--json")) {
    WriteJson(db, enc, categories, out.Buffer());
  } else {
    WriteText(db, enc, categories, out.Buffer());
  }
  db.CloseDatabase();
  return kExitOk;
}

}  // namespace

void WriteDatabaseJson(JsonWriter& w, TCorvane& db, TextEncoding enc) {
  WriteInfoObject(w, db, enc, ReadCategories(db));
}

const Command kInfoCommand = {"info", "show the header, block sizes and categories", kHelp,
                              kOptions, RunInfo};

}  // namespace corvane::cli
