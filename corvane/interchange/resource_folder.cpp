#include "corvane/interchange/resource_folder.h"

#include <cerrno>
#include <cstdio>
#include <set>

#include "corvane/apps/bitmap.h"
#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/output.h"
#include "corvane/interchange/png_writer.h"
#include "corvane/interchange/text_encoding.h"
#include "corvane/pdb/resource_list.h"

namespace corvane::cli {

namespace {

constexpr std::string_view kJsonName = kResourcesJsonName;

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

std::size_t ExportResourceFolder(std::span<const std::uint8_t> file,
                                 const std::filesystem::path& folder,
                                 const std::function<void(const ResourceWarning&)>& warn) {
  const pdb::ResourceDatabase db = pdb::ReadResourceDatabase(file, 0);
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
    warn({std::nullopt,
          "is not laid out as this command writes resource databases; import will not give "
          "back the same bytes"});
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
    // A repeated type and ID. Appended, not "-" + ...: g++ 12 at -O3 warns falsely of that
    // (-Wrestrict, GCC bug 105651).
    if (!used.insert(stem).second) stem.append(1, '-').append(std::to_string(i));
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
        warn({i, "resource " + std::to_string(i) + " (" + FourCharText(r.type) + " " +
                     std::to_string(r.id) + "): " + e.what()});
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
  return db.resources.size();
}


}  // namespace corvane::cli
