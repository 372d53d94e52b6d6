// export --app photo: the picture a file-stream photo database holds, as the
// image file it is (no re-encoding), or a JSON description of the stream.
#include <cerrno>
#include <cstdio>

#include "corvane/apps/bitmap.h"
#include "corvane/apps/photo.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/json.h"
#include "corvane/interchange/png_writer.h"
#include "corvane/interchange/text_encoding.h"
#include "corvane/pdb/corvane.h"
#include "tools/commands.h"
#include "tools/picture_commands.h"

namespace corvane::cli {

namespace {

// Seconds since 1904-01-01 as the command prints dates; 0 is no date.
void PalmSeconds(JsonWriter& w, std::uint32_t seconds) {
  if (seconds == 0) {
    w.Null();
    return;
  }
  w.String(FormatDateTime(1462 + seconds / 86400 + (seconds % 86400) / 86400.0));
}

// The photo application's index database: one object per photo, thumbnails
// written as stored into a folder when asked.
int RunPhotoIndexExport(const ParsedArgs& args, Output& out) {
  if (args.Has("--format") && args.Value("--format", "") != "json") {
    throw UsageError("--app photos writes JSON");
  }
  const std::string folder = args.Value("--thumbnails", "");
  TCorvane db;
  OpenForReading(db, SingleFileArgument(args));
  std::string& buf = out.Buffer();
  JsonWriter w(buf);
  w.BeginObject();
  w.Key("database");
  WriteDatabaseJson(w, db, TextEncoding::kWindows1252);
  w.Key("app");
  w.String("photos");
  w.Key("photos");
  w.BeginArray();
  for (std::int32_t i = 0; i < db.RecordCount(); ++i) {
    std::shared_ptr<Bytes> data;
    std::int32_t size = 0, uid = 0;
    TRecFlags flags;
    std::uint8_t category = 0;
    db.GetRecord(i, data, size, flags, uid, category);
    // The application empties the record of a photo it deleted.
    if (!data || data->empty()) continue;
    apps::PhotoIndexRecord p;
    try {
      p = apps::DecodePhotoIndexRecord(*data);
    } catch (const EPDBException& e) {
      throw EPDBException(e.ErrorCode(), "record " + std::to_string(i) + ": " + e.what());
    }
    w.BeginObject(JsonWriter::Layout::kInline);
    w.Key("index");
    w.Int(i);
    w.Key("category");
    w.UInt(category);
    w.Key("uniqueID");
    w.UInt(static_cast<std::uint32_t>(uid));
    w.Key("name");
    w.String(ToUtf8(p.name, TextEncoding::kWindows1252));
    w.Key("photoDatabase");
    w.String(ToUtf8(p.name + ".jpg", TextEncoding::kWindows1252));
    w.Key("width");
    w.UInt(p.width);
    w.Key("height");
    w.UInt(p.height);
    w.Key("size");
    w.UInt(p.size);
    w.Key("modified");
    PalmSeconds(w, p.modified);
    w.Key("created");
    PalmSeconds(w, p.created);
    const apps::ImageKind kind = apps::RecogniseImage(p.thumbnail);
    w.Key("thumbnail");
    w.BeginObject(JsonWriter::Layout::kInline);
    w.Key("kind");
    w.String(apps::ImageKindName(kind));
    w.Key("length");
    w.UInt(p.thumbnail.size());
    if (!folder.empty() && !p.thumbnail.empty()) {
      const std::string file = std::to_string(i) + "." + apps::ImageExtension(kind);
      WriteBytesToFile(folder + "/" + file, p.thumbnail);
      w.Key("file");
      w.String(file);
    }
    w.EndObject();
    w.Key("fixed");
    std::string hex;
    AppendHex(hex, p.fixed);
    w.String(hex);
    if (!p.extra.empty()) {
      w.Key("extra");
      hex.clear();
      AppendHex(hex, p.extra);
      w.String(hex);
    }
    w.EndObject();
    out.FlushIfLarge();
  }
  w.EndArray();
  w.EndObject();
  w.EndDocument();
  return kExitOk;
}

}  // namespace

int RunPhotoExport(const ParsedArgs& args, Output& out) {
  if (args.Has("--engine")) throw UsageError("--app and --engine exclude each other");
  if (args.Value("--app", "") == "photos") return RunPhotoIndexExport(args, out);
  const std::string format = args.Value("--format", "image");
  if (format != "image" && format != "json") {
    throw UsageError("--app photo writes the image, or with --format json its description");
  }
  const std::string image_path = args.Has("-o") ? args.Value("-o", "") : args.Value("--output", "");
  TCorvane db;
  OpenForReading(db, SingleFileArgument(args));
  std::vector<std::shared_ptr<Bytes>> blocks;
  std::vector<std::span<const std::uint8_t>> records;
  for (std::int32_t i = 0; i < db.RecordCount(); ++i) {
    std::shared_ptr<Bytes> data;
    std::int32_t size = 0, uid = 0;
    TRecFlags flags;
    std::uint8_t category = 0;
    db.GetRecord(i, data, size, flags, uid, category);
    if (!data) throw Exception("stream record " + std::to_string(i) + " is deleted");
    records.emplace_back(*data);
    blocks.push_back(std::move(data));
  }
  const Bytes stream = apps::ReassembleStream(records);
  const apps::ImageKind kind = apps::RecogniseImage(stream);
  const std::size_t length = apps::ImageLength(stream, kind);
  const std::span<const std::uint8_t> image(stream.data(), length);
  const std::span<const std::uint8_t> rest = std::span<const std::uint8_t>(stream).subspan(length);
  const apps::PhotoTrailer trailer = apps::ReadPhotoTrailer(rest);

  if (args.Has("--thumbnail")) {
    if (!trailer.thumbnail) throw Exception("the stream holds no thumbnail bitmap");
    const auto family = apps::DecodeBitmapFamily(rest.subspan(*trailer.thumbnail));
    const apps::DecodedBitmap& best = family[apps::BestBitmap(std::span(family))];
    WriteBytesToFile(args.Value("--thumbnail", ""),
                   interchange::EncodePng(best.rgba, best.info.width, best.info.height));
  }
  if (!image_path.empty()) WriteBytesToFile(image_path, image);
  if (format == "image") {
    if (image_path.empty()) out.Buffer().append(image.begin(), image.end());
    return kExitOk;
  }

  std::string& buf = out.Buffer();
  JsonWriter w(buf);
  w.BeginObject();
  w.Key("database");
  WriteDatabaseJson(w, db, TextEncoding::kWindows1252);
  w.Key("stream");
  w.BeginObject(JsonWriter::Layout::kInline);
  w.Key("records");
  w.UInt(records.size());
  w.Key("length");
  w.UInt(stream.size());
  w.EndObject();
  w.Key("image");
  w.BeginObject(JsonWriter::Layout::kInline);
  w.Key("kind");
  w.String(apps::ImageKindName(kind));
  w.Key("offset");
  w.UInt(0);
  w.Key("length");
  w.UInt(length);
  w.EndObject();
  w.Key("trailer");
  w.BeginObject();
  w.Key("offset");
  w.UInt(length);
  w.Key("length");
  w.UInt(rest.size());
  w.Key("splashPhoto");
  w.Bool(trailer.splash);
  w.Key("thumbnail");
  if (trailer.thumbnail) {
    w.BeginObject(JsonWriter::Layout::kInline);
    w.Key("offset");
    w.UInt(length + *trailer.thumbnail);
    w.Key("bitmap");
    DescribeBitmapResource(w, rest.subspan(*trailer.thumbnail));
    w.EndObject();
  } else {
    w.Null();
  }
  w.Key("note");
  if (trailer.note) {
    std::string_view text = *trailer.note;
    if (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    w.String(ToUtf8(text, TextEncoding::kWindows1252));
  } else {
    w.Null();
  }
  w.Key("tags");
  w.BeginArray(JsonWriter::Layout::kInline);
  for (const apps::PhotoTag& t : trailer.tags) {
    w.BeginObject(JsonWriter::Layout::kInline);
    w.Key("name");
    w.String(t.name);
    w.Key("offset");
    w.UInt(length + t.offset);
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
  w.EndObject();
  w.EndDocument();
  return kExitOk;
}

}  // namespace corvane::cli
