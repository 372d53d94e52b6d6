// corvane info: the header, the sizes of the two blocks and the category table.
#include <array>
#include <cstdio>
#include <optional>
#include <utility>

#include "corvane/host/locale.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/database_json.h"
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


const Command kInfoCommand = {"info", "show the header, block sizes and categories", kHelp,
                              kOptions, RunInfo};

}  // namespace corvane::cli
