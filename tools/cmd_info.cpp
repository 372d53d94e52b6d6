// corvane info: the header, the sizes of the two blocks and the category table.
#include <array>
#include <cstdio>
#include <optional>
#include <utility>

#include "corvane/host/locale.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/json.h"
#include "corvane/interchange/text_encoding.h"
#include "corvane/pdb/corvane.h"
#include "corvane/pdb/file_format.h"
#include "corvane/pdb/resource_list.h"
#include "tools/commands.h"

namespace corvane::cli {
namespace {

constexpr std::array<OptionSpec, 2> kOptions = {{
    {"--json", ""},
    {"--encoding", "cp1252|latin1|utf8"},
}};

constexpr std::string_view kHelp =
    "Usage: corvane info [--json] [--encoding cp1252|latin1|utf8] FILE\n"
    "\n"
    "Shows the header of the database FILE, the sizes of its application-info and\n"
    "sort-info blocks and its 16 categories, and the handheld application it\n"
    "belongs to when export --app knows it (application). FILE may have any name;\n"
    "a resource database (.prc) shows its header and the number of its resources.\n"
    "\n"
    "  --json        one JSON object; dates are local time, null when unset;\n"
    "                flags names the attribute bits; categories is null without\n"
    "                a category table; recordCount of a resource database counts\n"
    "                its resources\n"
    "  --encoding E  character set of the names in the file (default cp1252,\n"
    "                the handhelds' Windows-1252)\n"
    "  --help        this text\n";

// Every named bit of the attribute word; bits without a name show as 0xNNNN.
constexpr std::array<std::pair<std::uint16_t, std::string_view>, 13> kAttributeNames = {{
    {0x0001, "resource"},
    {0x0002, "readOnly"},
    {0x0004, "appInfoDirty"},
    {0x0008, "backup"},
    {0x0010, "okToInstallNewer"},
    {0x0020, "resetAfterInstall"},
    {0x0040, "copyPrevention"},
    {0x0080, "stream"},
    {0x0100, "hidden"},
    {0x0200, "launchableData"},
    {0x0400, "recyclable"},
    {0x0800, "bundle"},
    {0x8000, "open"},
}};

struct Category {
  std::string name;
  std::uint8_t id;
};

// What info shows, from a record database's manager or a resource list.
struct HeaderView {
  std::string name, type, creator;  // as stored
  std::uint16_t attributes = 0, version = 0;
  TDateTime created = 0, modified = 0, backed_up = 0;
  std::array<std::uint32_t, 3> stored{};  // the three dates as stored
  std::uint32_t modification_number = 0, app_info_offset = 0, sort_info_offset = 0;
  std::uint32_t unique_id_seed = 0, entries = 0;
  std::int64_t app_info_size = 0, sort_info_size = 0;
  std::optional<std::array<Category, 16>> categories;
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

HeaderView ViewOf(TCorvane& db) {
  HeaderView v;
  v.name = db.DatabaseName();
  v.type = db.DatabaseType();
  v.creator = db.CreatorID();
  v.attributes = db.GetAttributes();
  v.version = db.GetDBVersion();
  v.created = db.CreationDate();
  v.modified = db.GetModificationDate();
  v.backed_up = db.GetLastBackupDate();
  v.stored = {db.StoredDate(TCorvane::HeaderDate::Creation),
              db.StoredDate(TCorvane::HeaderDate::Modification),
              db.StoredDate(TCorvane::HeaderDate::Backup)};
  v.modification_number = db.GetModification();
  v.app_info_offset = db.GetAppInfoOffset();
  v.sort_info_offset = db.GetSortInfoOffset();
  v.unique_id_seed = db.GetUniqueIDSeed();
  v.entries = db.RecordCount();
  v.app_info_size = BlockSize(db, true);
  v.sort_info_size = BlockSize(db, false);
  v.categories = ReadCategories(db);
  return v;
}

// A resource database has no category table: its application-info block, if
// any, is the application's own.
HeaderView ViewOf(const pdb::ResourceDatabase& db) {
  const pdb::Header& h = db.header;
  HeaderView v;
  v.name = h.name;
  v.type = h.type;
  v.creator = h.creator;
  v.attributes = h.attributes;
  v.version = h.version;
  v.created = h.creation_date;
  v.modified = h.modification_date;
  v.backed_up = h.backup_date;
  v.stored = {h.creation_stored, h.modification_stored, h.backup_stored};
  v.modification_number = h.modification_number;
  v.app_info_offset = h.app_info_offset;
  v.sort_info_offset = h.sort_info_offset;
  v.unique_id_seed = h.unique_id_seed;
  v.entries = static_cast<std::uint32_t>(db.resources.size());
  v.app_info_size = db.app_info_size;
  v.sort_info_size = db.sort_info_size;
  return v;
}

std::vector<std::string> FlagNames(std::uint16_t attributes) {
  std::vector<std::string> names;
  std::uint16_t named = 0;
  for (const auto& [bit, name] : kAttributeNames) {
    named |= bit;
    if ((attributes & bit) != 0) names.emplace_back(name);
  }
  for (std::uint16_t bit = 1; bit != 0; bit = static_cast<std::uint16_t>(bit << 1)) {
    if ((attributes & bit) != 0 && (named & bit) == 0) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "0x%04x", unsigned{bit});
      names.emplace_back(buf);
    }
  }
  return names;
}

// `app`: the handheld application the database belongs to, when info shows
// it (export's "database" object names it beside, as "app").
void WriteInfoObject(JsonWriter& w, const HeaderView& v, TextEncoding enc,
                     std::string_view app = {}) {
  // A date stored in other bytes than a write of its reading would give
  // (seconds since 1970, which the reader also takes) carries them beside
  // it, so that import writes the header back as it was.
  const int bias = StandardTimeZoneBiasMinutes();
  const auto date = [&](std::string_view key, TDateTime dt, std::uint32_t stored) {
    w.Key(key);
    if (dt == 0) {
      w.Null();
      return;
    }
    w.String(FormatDateTime(dt));
    std::uint32_t written = 0;
    if (!pdb::StoredDate(dt, bias, written) || written != stored) {
      w.Key(std::string(key) + "Stored");
      w.UInt(stored);
    }
  };
  w.BeginObject();
  w.Key("name");
  w.String(ToUtf8(v.name, enc));
  w.Key("attributes");
  w.UInt(v.attributes);
  w.Key("flags");
  w.BeginArray(JsonWriter::Layout::kInline);
  for (const std::string& f : FlagNames(v.attributes)) w.String(f);
  w.EndArray();
  w.Key("version");
  w.UInt(v.version);
  date("created", v.created, v.stored[0]);
  date("modified", v.modified, v.stored[1]);
  date("backedUp", v.backed_up, v.stored[2]);
  w.Key("modificationNumber");
  w.UInt(v.modification_number);
  w.Key("appInfoOffset");
  w.UInt(v.app_info_offset);
  w.Key("sortInfoOffset");
  w.UInt(v.sort_info_offset);
  w.Key("type");
  w.String(ToUtf8(v.type, enc));
  w.Key("creator");
  w.String(ToUtf8(v.creator, enc));
  if (!app.empty()) {
    w.Key("application");
    w.String(app);
  }
  w.Key("uniqueIDSeed");
  w.UInt(v.unique_id_seed);
  w.Key("recordCount");
  w.UInt(v.entries);
  w.Key("appInfoSize");
  w.Int(v.app_info_size);
  w.Key("sortInfoSize");
  w.Int(v.sort_info_size);
  w.Key("categories");
  if (!v.categories) {
    w.Null();
  } else {
    w.BeginArray();
    for (std::size_t i = 0; i < v.categories->size(); ++i) {
      w.BeginObject(JsonWriter::Layout::kInline);
      w.Key("index");
      w.UInt(i);
      w.Key("name");
      w.String(ToUtf8((*v.categories)[i].name, enc));
      w.Key("id");
      w.UInt((*v.categories)[i].id);
      w.EndObject();
    }
    w.EndArray();
  }
  w.EndObject();
}

void WriteText(const HeaderView& v, TextEncoding enc, std::string& out, std::string_view app) {
  char buf[128];
  const auto line = [&](const char* label, const std::string& value) {
    std::snprintf(buf, sizeof buf, "%-20s", label);
    out += buf;
    out += value;
    out += '\n';
  };
  const auto date = [](TDateTime dt) { return dt == 0 ? std::string("-") : FormatDateTime(dt); };
  line("name:", Printable(ToUtf8(v.name, enc)));
  std::string attributes;
  std::snprintf(buf, sizeof buf, "0x%04x", unsigned{v.attributes});
  attributes = buf;
  const auto flags = FlagNames(v.attributes);
  for (std::size_t i = 0; i < flags.size(); ++i) {
    attributes += i == 0 ? " (" : ", ";
    attributes += flags[i];
  }
  if (!flags.empty()) attributes += ')';
  line("attributes:", attributes);
  line("version:", std::to_string(v.version));
  line("created:", date(v.created));
  line("modified:", date(v.modified));
  line("backedUp:", date(v.backed_up));
  line("modificationNumber:", std::to_string(v.modification_number));
  line("appInfoOffset:", std::to_string(v.app_info_offset));
  line("sortInfoOffset:", std::to_string(v.sort_info_offset));
  line("type:", Printable(ToUtf8(v.type, enc)));
  line("creator:", Printable(ToUtf8(v.creator, enc)));
  if (!app.empty()) line("application:", std::string(app));
  line("uniqueIDSeed:", std::to_string(v.unique_id_seed));
  line((v.attributes & pdb::kAttrResourceDB) != 0 ? "resourceCount:" : "recordCount:",
       std::to_string(v.entries));
  line("appInfoSize:", std::to_string(v.app_info_size));
  line("sortInfoSize:", std::to_string(v.sort_info_size));
  if (!v.categories) {
    line("categories:", "-");
    return;
  }
  out += "categories:\n  index   id  name\n";
  for (std::size_t i = 0; i < v.categories->size(); ++i) {
    std::snprintf(buf, sizeof buf, "  %5zu  %3u  ", i, unsigned{(*v.categories)[i].id});
    out += buf;
    out += Printable(ToUtf8((*v.categories)[i].name, enc));
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
  HeaderView view;
  if (IsResourceFile(path)) {
    view = ViewOf(pdb::ReadResourceDatabase(ReadWholeFile(path), StandardTimeZoneBiasMinutes()));
  } else {
    TCorvane db;
    OpenForReading(db, path);
    view = ViewOf(db);
    db.CloseDatabase();
  }
  // A database of one of the handheld's own applications (export --app reads it).
  const App app = (view.attributes & pdb::kAttrResourceDB) != 0
                      ? App::kRaw
                      : AppFromHeader(view.creator, view.type);
  const std::string_view app_name = app == App::kRaw ? std::string_view() : Identity(app).name;
  if (args.Has("--json")) {
    JsonWriter w(out.Buffer());
    WriteInfoObject(w, view, enc, app_name);
    w.EndDocument();
  } else {
    WriteText(view, enc, out.Buffer(), app_name);
  }
  return kExitOk;
}

}  // namespace

void WriteDatabaseJson(JsonWriter& w, TCorvane& db, TextEncoding enc) {
  WriteInfoObject(w, ViewOf(db), enc);
}

const Command kInfoCommand = {"info", "show the header, block sizes and categories", kHelp,
                              kOptions, RunInfo};

}  // namespace corvane::cli
