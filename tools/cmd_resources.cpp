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
#include "corvane/interchange/resource_folder.h"
#include "corvane/interchange/text_encoding.h"
#include "corvane/interchange/values.h"
#include "corvane/pdb/resource_list.h"
#include "corvane/pdb/resource_writer.h"
#include "tools/picture_commands.h"

namespace corvane::cli {

namespace {

constexpr std::string_view kJsonName = kResourcesJsonName;

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
  pdb::ReadResourceDatabase(file, 0);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) throw EInOutError("cannot create '" + folder.string() + "': " + ec.message(), ec.value());
  const std::size_t count = ExportResourceFolder(file, folder, [&](const ResourceWarning& w) {
    if (w.resource) {
      std::fprintf(stderr, "corvane: warning: %s\n", Printable(w.text).c_str());
    } else {
      std::fprintf(stderr, "corvane: warning: '%s' %s\n", path.c_str(), w.text.c_str());
    }
  });
  out.Buffer() += "wrote " + std::to_string(count) + " resources to " + folder.string() + "/\n";
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
