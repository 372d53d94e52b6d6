// corvane records: the record list, one entry per record, optionally with its bytes.
#include <array>
#include <cstdio>
#include <memory>

#include "corvane/interchange/json.h"
#include "corvane/interchange/text_encoding.h"
#include "corvane/pdb/corvane.h"
#include "corvane/pdb/resource_list.h"
#include "tools/commands.h"
#include "tools/picture_commands.h"

namespace corvane::cli {
namespace {

constexpr std::array<OptionSpec, 2> kOptions = {{
    {"--json", ""},
    {"--data", ""},
}};

constexpr std::string_view kHelp =
    "Usage: corvane records [--json] [--data] FILE\n"
    "\n"
    "Lists the records of the database FILE: index, data offset, size, category,\n"
    "unique ID and flags. A deleted record has size 0 and no data. FILE may have\n"
    "any name; of a resource database (.prc) it lists the resources: index, type,\n"
    "ID, data offset and size (JSON keys index, type, id, offset, size), and of\n"
    "each bitmap (Tbmp, tAIB, tbsb) the size and depth of every member of its\n"
    "family (JSON key bitmap: [{width, height, depth, version, density, ...}]).\n"
    "\n"
    "  --json   a JSON array with one object per record (one per line)\n"
    "  --data   add each record's bytes as lower-case hexadecimal\n"
    "  --help   this text\n";

constexpr std::array<std::string_view, 4> kRecFlagNames = {"secret", "busy", "dirty", "delete"};

struct Record {
  std::int32_t index = 0;
  std::uint32_t offset = 0;
  std::int32_t size = 0;
  std::uint8_t category = 0;
  std::uint32_t unique_id = 0;
  TRecFlags flags;
  std::shared_ptr<Bytes> data;
};

Record ReadRecord(TCorvane& db, std::int32_t i) {
  Record r;
  r.index = i;
  const std::optional<TRecordEntry> entry = db.GetRecInFile(i);
  if (entry) r.offset = entry->DataOffset;
  std::int32_t uid = 0;
  db.GetRecord(i, r.data, r.size, r.flags, uid, r.category);
  r.unique_id = static_cast<std::uint32_t>(uid);
  if (!r.data) r.size = 0;  // a deleted record
  return r;
}

void WriteJsonRecord(const Record& r, bool with_data, std::string& out) {
  JsonWriter w(out);
  w.BeginObject(JsonWriter::Layout::kInline);
  w.Key("index");
  w.Int(r.index);
  w.Key("offset");
  w.UInt(r.offset);
  w.Key("size");
  w.Int(r.size);
  w.Key("category");
  w.UInt(r.category);
  w.Key("uniqueID");
  w.UInt(r.unique_id);
  w.Key("flags");
  w.BeginArray();
  for (std::size_t f = 0; f < kRecFlagNames.size(); ++f) {
    if (r.flags.Contains(static_cast<TRecEnumFlags>(f))) w.String(kRecFlagNames[f]);
  }
  w.EndArray();
  if (with_data) {
    w.Key("data");
    std::string hex;
    if (r.data) AppendHex(hex, *r.data);
    w.String(hex);
  }
  w.EndObject();
}

void WriteTextRecord(const Record& r, bool with_data, std::string& out) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%5d  %10u  %8d  %3u  0x%06x  ", r.index, r.offset, r.size,
                unsigned{r.category}, r.unique_id);
  out += buf;
  std::string flags;
  for (std::size_t f = 0; f < kRecFlagNames.size(); ++f) {
    if (!r.flags.Contains(static_cast<TRecEnumFlags>(f))) continue;
    if (!flags.empty()) flags += ',';
    flags += kRecFlagNames[f];
  }
  if (r.flags.Empty()) flags.push_back('-');
  if (with_data && r.data && !r.data->empty()) {
    std::snprintf(buf, sizeof buf, "%-24s  ", flags.c_str());
    out += buf;
    AppendHex(out, *r.data);
  } else {
    out += flags;
  }
  out += '\n';
}

// A resource database lists its resources: type, ID, offset and size.
int ListResources(const std::string& path, bool json, bool with_data, Output& out) {
  const Bytes file = ReadWholeFile(path);
  const pdb::ResourceDatabase db = pdb::ReadResourceDatabase(file, 0);
  std::string& buf = out.Buffer();
  buf += json ? "[" : with_data ? "index  type         id      offset      size  data\n"
                                : "index  type         id      offset      size\n";
  for (std::size_t i = 0; i < db.resources.size(); ++i) {
    const pdb::Resource& r = db.resources[i];
    const std::string type = ToUtf8(r.type, TextEncoding::kWindows1252);
    const auto data = std::span<const std::uint8_t>(file).subspan(r.offset, r.size);
    if (json) {
      buf += i == 0 ? "\n  " : ",\n  ";
      JsonWriter w(buf);
      w.BeginObject(JsonWriter::Layout::kInline);
      w.Key("index");
      w.UInt(i);
      w.Key("type");
      w.String(type);
      w.Key("id");
      w.UInt(r.id);
      w.Key("offset");
      w.UInt(r.offset);
      w.Key("size");
      w.UInt(r.size);
      if (IsBitmapResource(r.type)) {
        w.Key("bitmap");
        DescribeBitmapResource(w, data);
      }
      if (with_data) {
        w.Key("data");
        std::string hex;
        AppendHex(hex, data);
        w.String(hex);
      }
      w.EndObject();
    } else {
      char line[128];
      std::snprintf(line, sizeof line, "%5zu  %-8s  %5u  %10u  %8u", i, Printable(type).c_str(),
                    unsigned{r.id}, r.offset, r.size);
      buf += line;
      // With --data the bytes take the last column.
      if (!with_data && IsBitmapResource(r.type)) buf += "  " + Printable(BitmapSummary(data));
      if (with_data && !data.empty()) {
        buf += "  ";
        AppendHex(buf, data);
      }
      buf += '\n';
    }
    out.FlushIfLarge();
  }
  if (json) buf += db.resources.empty() ? "]\n" : "\n]\n";
  return kExitOk;
}

int RunRecords(const ParsedArgs& args, Output& out) {
  const std::string& path = SingleFileArgument(args);
  const bool json = args.Has("--json");
  const bool with_data = args.Has("--data");
  if (IsResourceFile(path)) return ListResources(path, json, with_data, out);
  TCorvane db;
  OpenForReading(db, path);
  const std::int32_t count = db.RecordCount();
  std::string& buf = out.Buffer();
  if (json) {
    buf += '[';
  } else {
    buf += with_data
               ? "index      offset      size  cat  uniqueID  flags                     data\n"
               : "index      offset      size  cat  uniqueID  flags\n";
  }
  for (std::int32_t i = 0; i < count; ++i) {
    const Record r = ReadRecord(db, i);
    if (json) {
      buf += i == 0 ? "\n  " : ",\n  ";
      WriteJsonRecord(r, with_data, buf);
    } else {
      WriteTextRecord(r, with_data, buf);
    }
    out.FlushIfLarge();
  }
  if (json) buf += count == 0 ? "]\n" : "\n]\n";
  db.CloseDatabase();
  return kExitOk;
}

}  // namespace

const Command kRecordsCommand = {"records", "list the records: offset, size, category, ID, flags",
                                 kHelp, kOptions, RunRecords};

}  // namespace corvane::cli
