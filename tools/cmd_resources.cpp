// export --resources / import --resources: a resource database (.prc) as a
// folder of one file per resource, bitmaps also as PNG, and resources.json;
// and back, byte for byte. Also `records`' description of bitmap resources.
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "corvane/apps/bitmap.h"
#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/json.h"
#include "corvane/interchange/json_reader.h"
#include "corvane/interchange/png_writer.h"
#include "corvane/interchange/text_encoding.h"
#include "corvane/interchange/values.h"
#include "corvane/pdb/resource_list.h"
#include "corvane/pdb/resource_writer.h"
#include "tools/picture_commands.h"

namespace corvane::cli {

namespace {

constexpr std::string_view kJsonName = "resources.json";

// Type and creator bytes as JSON text and back: Latin-1 maps every byte to a
// character and back again.
std::string FourCharText(std::string_view bytes) {
  return ToUtf8(bytes, TextEncoding::kLatin1);
}

// Letters and digits stay; every other byte (a slash, a space, a zero byte)
// becomes %XX, so that every type gives a distinct, portable file name.
std::string SafeFileStem(std::string_view type) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : type) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      out += ch;
    } else {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
    }
  }
  return out;
}

std::span<const std::uint8_t> AsBytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

void WriteBitmapMember(JsonWriter& w, const apps::BitmapInfo& b) {
  w.BeginObject(JsonWriter::Layout::kInline);
  w.Key("offset");
  w.UInt(b.offset);
  w.Key("width");
  w.UInt(b.width);
  w.Key("height");
  w.UInt(b.height);
  w.Key("depth");
  w.UInt(b.depth);
  w.Key("version");
  w.UInt(b.version);
  w.Key("density");
  w.UInt(b.density);
  w.Key("compression");
  switch (b.compression) {
    case apps::BitmapCompression::kScanLine:
      w.String("scanline");
      break;
    case apps::BitmapCompression::kRle:
      w.String("rle");
      break;
    case apps::BitmapCompression::kPackBits:
      w.String("packbits");
      break;
    default:
      w.String("none");
      break;
  }
  w.Key("transparent");
  w.Bool(b.transparent);
  w.Key("colorTable");
  w.Bool(!b.color_table.empty());
  w.EndObject();
}

std::uint64_t Number(const JsonValue& object, std::string_view key, std::uint64_t max) {
  const JsonValue* v = object.Find(key);
  if (v == nullptr || v->kind != JsonValue::Kind::kNumber) {
    throw Exception(std::string(kJsonName) + ": \"" + std::string(key) + "\" is not a number");
  }
  std::uint64_t n = 0;
  const auto [end, ec] = std::from_chars(v->text.data(), v->text.data() + v->text.size(), n);
  if (ec != std::errc() || end != v->text.data() + v->text.size() || n > max) {
    throw Exception(std::string(kJsonName) + ": \"" + std::string(key) + "\" is " + v->text +
                    ", not a whole number up to " + std::to_string(max));
  }
  return n;
}

std::string Text(const JsonValue& object, std::string_view key) {
  const JsonValue* v = object.Find(key);
  if (v == nullptr || v->kind != JsonValue::Kind::kString) {
    throw Exception(std::string(kJsonName) + ": \"" + std::string(key) + "\" is not a string");
  }
  return v->text;
}

// A file the JSON names, beside it; names that would leave the folder are refused.
Bytes ReadBeside(const std::filesystem::path& folder, const std::string& name) {
  const std::filesystem::path p(name);
  if (name.empty() || p.is_absolute() || p.has_parent_path() || name == "." || name == "..") {
    throw Exception(std::string(kJsonName) + ": \"" + name + "\" is not a file name in its folder");
  }
  return ReadWholeFile((folder / p).string());
}

}  // namespace

void WriteBytesToFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw EInOutError("cannot create '" + path.string() + "'", errno);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) throw EInOutError("cannot write '" + path.string() + "'", errno);
}

bool IsBitmapResource(std::string_view type) noexcept {
  return type == "Tbmp" || type == "tAIB" || type == "tbsb";
}

void DescribeBitmapResource(JsonWriter& w, std::span<const std::uint8_t> data) {
  try {
    const std::vector<apps::BitmapInfo> family = apps::ReadBitmapFamily(data);
    w.BeginArray(JsonWriter::Layout::kInline);
    for (const apps::BitmapInfo& b : family) WriteBitmapMember(w, b);
    w.EndArray();
  } catch (const EPDBException& e) {
    w.String(std::string("damaged: ") + e.what());
  }
}

std::string BitmapSummary(std::span<const std::uint8_t> data) {
  try {
    const std::vector<apps::BitmapInfo> family = apps::ReadBitmapFamily(data);
    std::string out;
    for (const apps::BitmapInfo& b : family) {
      if (!out.empty()) out += ", ";
      out += std::to_string(b.width) + "x" + std::to_string(b.height) + " " +
             std::to_string(b.depth) + "-bit";
      if (b.density != 72) out += " @" + std::to_string(b.density);
    }
    return "bitmap " + out;
  } catch (const EPDBException& e) {
    return std::string("damaged bitmap: ") + e.what();
  }
}

int RunResourcesExport(const ParsedArgs& args, Output& out) {
  if (args.Has("--engine") || args.Has("--app")) {
    throw UsageError("--resources excludes --engine and --app");
  }
  const std::string& path = SingleFileArgument(args);
  const std::filesystem::path folder(args.Value("--resources", ""));
  if (folder.empty()) throw UsageError("--resources needs a folder");
  const Bytes file = ReadWholeFile(path);
  if (!pdb::IsResourceDatabase(file)) {
    throw Exception("'" + path + "' is no resource database (.prc): its header lacks the resource attribute");
  }
  const pdb::ResourceDatabase db = pdb::ReadResourceDatabase(file, 0);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) throw EInOutError("cannot create '" + folder.string() + "': " + ec.message(), ec.value());

  const std::span<const std::uint8_t> bytes(file);
  const pdb::Header& h = db.header;
  const std::size_t list_end = pdb::kHeaderSize + pdb::kResourceEntrySize * db.resources.size();
  // The bytes from the end of the list to the first block that follows it.
  std::size_t first = file.size();
  if (h.app_info_offset != 0) first = std::min<std::size_t>(first, h.app_info_offset);
  if (h.sort_info_offset != 0) first = std::min<std::size_t>(first, h.sort_info_offset);
  if (!db.resources.empty()) first = std::min<std::size_t>(first, db.resources.front().offset);
  // Anything but gap, blocks and resources in that order cannot be written
  // back as it was.
  std::size_t expect = first;
  bool in_order = true;
  const auto follows = [&](std::uint32_t offset, std::uint32_t size) {
    if (offset != expect) in_order = false;
    expect = std::size_t{offset} + size;
  };
  if (h.app_info_offset != 0) follows(h.app_info_offset, db.app_info_size);
  if (h.sort_info_offset != 0) follows(h.sort_info_offset, db.sort_info_size);
  for (const pdb::Resource& r : db.resources) follows(r.offset, r.size);
  if (!in_order || h.next_record_list_id != 0) {
    std::fprintf(stderr,
                 "corvane: warning: '%s' is not laid out as this command writes resource "
                 "databases; import will not give back the same bytes\n",
                 path.c_str());
  }

  std::string json;
  JsonWriter w(json);
  w.BeginObject();
  w.Key("name");
  w.String(ToUtf8(h.name, TextEncoding::kWindows1252));
  w.Key("nameField");
  std::string hex;
  AppendHex(hex, bytes.first(pdb::kNameSize));
  w.String(hex);
  w.Key("attributes");
  w.UInt(h.attributes);
  w.Key("version");
  w.UInt(h.version);
  w.Key("storedDates");
  w.BeginObject(JsonWriter::Layout::kInline);
  w.Key("created");
  w.UInt(LoadU32(bytes.data() + 36));
  w.Key("modified");
  w.UInt(LoadU32(bytes.data() + 40));
  w.Key("backedUp");
  w.UInt(LoadU32(bytes.data() + 44));
  w.EndObject();
  w.Key("modificationNumber");
  w.UInt(h.modification_number);
  w.Key("type");
  w.String(FourCharText(h.type));
  w.Key("creator");
  w.String(FourCharText(h.creator));
  w.Key("uniqueIDSeed");
  w.UInt(h.unique_id_seed);
  w.Key("gap");
  hex.clear();
  if (first > list_end) AppendHex(hex, bytes.subspan(list_end, first - list_end));
  w.String(hex);
  const auto block = [&](const char* key, std::uint32_t offset, std::uint32_t size,
                         const char* name) {
    w.Key(key);
    if (offset == 0) {
      w.Null();
      return;
    }
    WriteBytesToFile(folder / name, bytes.subspan(offset, size));
    w.String(name);
  };
  block("appInfo", h.app_info_offset, db.app_info_size, "appinfo.bin");
  block("sortInfo", h.sort_info_offset, db.sort_info_size, "sortinfo.bin");

  w.Key("resources");
  w.BeginArray();
  std::set<std::string> used;
  for (std::size_t i = 0; i < db.resources.size(); ++i) {
    const pdb::Resource& r = db.resources[i];
    const std::span<const std::uint8_t> data = bytes.subspan(r.offset, r.size);
    std::string stem = SafeFileStem(r.type) + "-" + std::to_string(r.id);
    if (!used.insert(stem).second) stem += "-" + std::to_string(i);  // a repeated type and ID
    used.insert(stem);
    WriteBytesToFile(folder / (stem + ".bin"), data);
    w.BeginObject(JsonWriter::Layout::kInline);
    w.Key("type");
    w.String(FourCharText(r.type));
    w.Key("id");
    w.UInt(r.id);
    w.Key("size");
    w.UInt(r.size);
    w.Key("file");
    w.String(stem + ".bin");
    if (IsBitmapResource(r.type)) {
      try {
        const std::vector<apps::DecodedBitmap> family = apps::DecodeBitmapFamily(data);
        const apps::DecodedBitmap& best = family[apps::BestBitmap(std::span(family))];
        w.Key("bitmap");
        w.BeginArray(JsonWriter::Layout::kInline);
        for (const apps::DecodedBitmap& d : family) WriteBitmapMember(w, d.info);
        w.EndArray();
        if (best.info.width > 0 && best.info.height > 0) {
          WriteBytesToFile(folder / (stem + ".png"),
                    interchange::EncodePng(best.rgba, best.info.width, best.info.height));
          w.Key("png");
          w.String(stem + ".png");
        }
      } catch (const EPDBException& e) {
        std::fprintf(stderr, "corvane: warning: resource %zu (%s %u): %s\n", i,
                     Printable(FourCharText(r.type)).c_str(), unsigned{r.id}, e.what());
        w.Key("bitmap");
        w.String(std::string("damaged: ") + e.what());
      }
    }
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
  w.EndDocument();
  WriteBytesToFile(folder / kJsonName, AsBytes(json));
  out.Buffer() += "wrote " + std::to_string(db.resources.size()) + " resources to " +
                  folder.string() + "/\n";
  return kExitOk;
}

int RunResourcesImport(const ParsedArgs& args, Output& out) {
  if (args.Has("--engine") || args.Has("--app")) {
    throw UsageError("--resources excludes --engine and --app");
  }
  if (!args.positional.empty()) {
    throw UsageError("unexpected argument '" + args.positional.front() + "'");
  }
  if (!args.Has("-o") && !args.Has("--output")) throw UsageError("missing -o OUT.prc");
  const std::string out_path = args.Has("-o") ? args.Value("-o", "") : args.Value("--output", "");
  const std::filesystem::path json_path(args.Value("--resources", ""));
  const std::filesystem::path folder =
      json_path.has_parent_path() ? json_path.parent_path() : std::filesystem::path(".");
  JsonValue doc;
  try {
    doc = ParseJson(ReadInput(json_path.string()));
  } catch (const JsonError& e) {
    throw Exception(json_path.string() + ": " + e.what());
  }
  if (doc.kind != JsonValue::Kind::kObject) throw Exception(std::string(kJsonName) + ": not an object");

  TPDBResourceMgr db;
  db.SetOpenMode(dmModeWriteOnly);
  std::optional<Bytes> name_field;
  if (const JsonValue* f = doc.Find("nameField"); f != nullptr && !f->IsNull()) {
    const std::string raw = BytesFromHex(Text(doc, "nameField"));
    if (raw.size() != pdb::kNameSize) {
      throw Exception(std::string(kJsonName) + ": \"nameField\" must hold 32 bytes");
    }
    name_field = Bytes(raw.begin(), raw.end());
  }
  const std::string name = FromUtf8(Text(doc, "name"), TextEncoding::kWindows1252);
  try {
    db.SetDBName(name);
  } catch (const EPDBException&) {
    // The name field written whole carries the name; the property only needs
    // something to accept.
    if (!name_field) throw;
    db.SetDBName("resources");
  }
  db.SetDatabaseType(FromUtf8(Text(doc, "type"), TextEncoding::kLatin1));
  db.SetCreatorID(FromUtf8(Text(doc, "creator"), TextEncoding::kLatin1));
  db.CreateDatabaseFile(out_path);
  try {
    db.SetAttributes(static_cast<std::uint16_t>(Number(doc, "attributes", 0xFFFF)));
    db.SetDBVersion(static_cast<std::uint16_t>(Number(doc, "version", 0xFFFF)));
    db.SetModification(static_cast<std::uint32_t>(Number(doc, "modificationNumber", 0xFFFFFFFF)));
    db.SetUniqueIDSeed(static_cast<std::uint32_t>(Number(doc, "uniqueIDSeed", 0xFFFFFFFF)));
    if (const JsonValue* d = doc.Find("storedDates"); d != nullptr && !d->IsNull()) {
      db.SetStoredDates(static_cast<std::uint32_t>(Number(*d, "created", 0xFFFFFFFF)),
                        static_cast<std::uint32_t>(Number(*d, "modified", 0xFFFFFFFF)),
                        static_cast<std::uint32_t>(Number(*d, "backedUp", 0xFFFFFFFF)));
    }
    if (name_field) {
      db.SetStoredNameField(std::span<const std::uint8_t, pdb::kNameSize>(name_field->data(),
                                                                          pdb::kNameSize));
    }
    if (const JsonValue* g = doc.Find("gap"); g != nullptr && !g->IsNull()) {
      const std::string gap = BytesFromHex(Text(doc, "gap"));
      db.SetGap(Bytes(gap.begin(), gap.end()));
    }
    const auto block = [&](const char* key) -> std::optional<Bytes> {
      const JsonValue* v = doc.Find(key);
      if (v == nullptr || v->IsNull()) return std::nullopt;
      return ReadBeside(folder, Text(doc, key));
    };
    if (auto app = block("appInfo")) db.SetAppInfoP(std::move(*app));
    if (auto sort = block("sortInfo")) db.SetSortInfoP(std::move(*sort));
    const JsonValue* list = doc.Find("resources");
    if (list == nullptr || list->kind != JsonValue::Kind::kArray) {
      throw Exception(std::string(kJsonName) + ": \"resources\" is not an array");
    }
    for (const JsonValue& r : list->items) {
      if (r.kind != JsonValue::Kind::kObject) {
        throw Exception(std::string(kJsonName) + ": a resource is not an object");
      }
      const std::string type = FromUtf8(Text(r, "type"), TextEncoding::kLatin1);
      if (type.size() != 4) {
        throw Exception(std::string(kJsonName) + ": resource type '" + Text(r, "type") +
                        "' is not four characters");
      }
      const Bytes data = ReadBeside(folder, Text(r, "file"));
      db.AddResource(type, static_cast<std::uint16_t>(Number(r, "id", 0xFFFF)), data);
    }
    db.CloseDatabase();
  } catch (...) {
    db.AbortDatabase();
    throw;
  }
  out.Buffer() += "wrote " + out_path + "\n";
  return kExitOk;
}

}  // namespace corvane::cli
