#include "corvane/apps/jfile.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "corvane/apps/record_bytes.h"

namespace corvane::apps {
namespace {

constexpr std::array<JFileLayout, 3> kLayouts = {{
    {JFileVersion::k3, "JbDb", "JBas", 20, 62, 452},
    {JFileVersion::k4, "JfDb", "JFil", 50, 450, 576},
    {JFileVersion::k5, "JfD5", "JFi5", 50, 450, 576},
}};

// JFile 3's settings run as both real tables have it: zeros but a 1 in the
// word at block offset 550.
std::string NewSettings(const JFileLayout& layout) {
  std::string s(layout.settingsSize, '\0');
  if (layout.version == JFileVersion::k3) s[550 - 506 + 1] = 1;
  return s;
}

bool IsUsualUnused(const JFileField& f) {
  return f.name.empty() && f.padding.empty() && f.type == kJFileText && f.width == 80;
}

// The digits of s[at, at + n) as a number; nothing when any is not a digit.
std::optional<int> Digits(std::string_view s, std::size_t at, std::size_t n) {
  int v = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

// Reads a typed value and keeps it only when writing it gives `stored` back.
TableValue Canonical(TableValue v, std::string_view stored) {
  try {
    if (JFileStoredText(v) == stored) return v;
  } catch (const EPDBException&) {
  }
  return std::string(stored);
}

}  // namespace

const JFileLayout& JFileLayoutOf(JFileVersion version) noexcept {
  return kLayouts[static_cast<std::size_t>(version)];
}

std::optional<JFileVersion> JFileVersionOf(std::string_view type,
                                           std::string_view creator) noexcept {
  for (const JFileLayout& l : kLayouts) {
    if (l.type == type && l.creator == creator) return l.version;
  }
  return std::nullopt;
}

JFileTable JFileTable::New(JFileVersion version) {
  const JFileLayout& layout = JFileLayoutOf(version);
  JFileTable t;
  t.version = version;
  t.marker = layout.marker;
  t.settings = NewSettings(layout);
  return t;
}

JFileTable DecodeJFileTable(JFileVersion version, std::span<const std::uint8_t> block) {
  const JFileLayout& layout = JFileLayoutOf(version);
  ByteReader in(block);
  in.Need(layout.BlockSize(), 1, kMsgAppInfoTooShort);
  std::vector<JFileField> slots(layout.slots);
  for (JFileField& f : slots) f.name = in.FixedName(kJFileNameSize, &f.padding);
  for (JFileField& f : slots) f.type = in.U16();
  const std::uint16_t count = in.U16();
  if (count > layout.slots) RaisePDB(2, kMsgJFileFieldCount);
  JFileTable t;
  t.version = version;
  t.marker = in.U16();
  for (JFileField& f : slots) f.width = in.U16();
  t.lastWidth = in.U16();
  t.settings = in.Bytes(layout.settingsSize);
  t.extra = in.Rest();
  t.fields.assign(slots.begin(), slots.begin() + count);
  std::size_t last = layout.slots;
  while (last > count && IsUsualUnused(slots[last - 1])) --last;
  t.unused.assign(slots.begin() + count, slots.begin() + static_cast<std::ptrdiff_t>(last));
  return t;
}

Bytes EncodeJFileTable(const JFileTable& table) {
  const JFileLayout& layout = JFileLayoutOf(table.version);
  if (table.fields.size() > layout.slots) RaisePDB(1, kMsgJFileFieldCount);
  std::vector<JFileField> slots(table.fields);
  for (std::size_t i = 0; slots.size() < layout.slots; ++i) {
    slots.push_back(i < table.unused.size() ? table.unused[i] : JFileField{});
  }
  const std::string settings = table.settings.empty() ? NewSettings(layout) : table.settings;
  if (settings.size() != layout.settingsSize) RaisePDB(3, kMsgValueOutOfRange);
  ByteWriter out;
  for (const JFileField& f : slots) {
    if (f.name.size() > kJFileNameSize) RaisePDB(2, kMsgJFileNameTooLong);
    out.FixedName(f.name, kJFileNameSize, 2, f.padding);
  }
  for (const JFileField& f : slots) out.U16(f.type);
  out.U16(static_cast<std::uint16_t>(table.fields.size()));
  out.U16(table.marker);
  for (const JFileField& f : slots) out.U16(f.width);
  out.U16(table.lastWidth);
  out.Raw(settings);
  out.Raw(table.extra);
  return out.Take();
}

JFileRowExtent ViewJFileRow(const JFileTable& table, std::span<const std::uint8_t> record,
                            std::vector<std::string_view>& values) {
  const std::size_t n = table.fields.size();
  values.clear();
  const auto text_at = [&](std::size_t at, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(record.data()) + at, size);
  };
  JFileRowExtent extent;
  std::size_t start = 0;  // of the texts
  if (table.version != JFileVersion::k3) {
    if (record.size() < 2 * n) RaisePDB(1, kMsgRecordTooShort);
    start = 2 * n;
    // The lengths describe the row when each text ends, with its only zero,
    // where its length says, and the last ends the record.
    std::size_t at = start;
    bool described = true;
    for (std::size_t i = 0; i < n && described; ++i) {
      const std::size_t len = static_cast<std::size_t>(record[2 * i] << 8 | record[2 * i + 1]);
      if (len == 0 || len > record.size() - at ||
          std::memchr(record.data() + at, 0, len - 1) != nullptr || record[at + len - 1] != 0) {
        described = false;
        break;
      }
      values.push_back(text_at(at, len - 1));
      at += len;
    }
    if (described && at == record.size()) {
      extent.end = at;
      return extent;
    }
    values.clear();
    extent.lengthsStored = true;
  }
  std::size_t at = start;
  for (std::size_t i = 0; i < n; ++i) {
    const void* zero =
        at < record.size() ? std::memchr(record.data() + at, 0, record.size() - at) : nullptr;
    if (zero == nullptr) RaisePDB(2, kMsgJFileFewerFields);
    const std::size_t end = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) -
                                                     record.data());
    values.push_back(text_at(at, end - at));
    at = end + 1;
  }
  extent.end = at;
  return extent;
}

JFileRow DecodeJFileRow(const JFileTable& table, std::span<const std::uint8_t> record) {
  std::vector<std::string_view> views;
  views.reserve(table.fields.size());
  const JFileRowExtent extent = ViewJFileRow(table, record, views);
  JFileRow row;
  row.values.assign(views.begin(), views.end());
  if (extent.lengthsStored) {
    row.lengths.assign(reinterpret_cast<const char*>(record.data()), 2 * table.fields.size());
  }
  row.extra.assign(reinterpret_cast<const char*>(record.data()) + extent.end,
                   record.size() - extent.end);
  return row;
}

Bytes EncodeJFileRow(const JFileTable& table, const JFileRow& row) {
  const std::size_t n = table.fields.size();
  if (row.values.size() != n) RaisePDB(1, kMsgJFileFewerFields);
  ByteWriter out;
  if (table.version != JFileVersion::k3) {
    if (!row.lengths.empty()) {
      if (row.lengths.size() != 2 * n) RaisePDB(1, kMsgValueOutOfRange);
      out.Raw(row.lengths);
    } else {
      for (const std::string& v : row.values) {
        if (v.size() >= 0xFFFF) RaisePDB(3, kMsgValueOutOfRange);
        out.U16(static_cast<std::uint16_t>(v.size() + 1));
      }
    }
  }
  for (const std::string& v : row.values) out.CString(v, 2);
  out.Raw(row.extra);
  return out.Take();
}

TableValue JFileValueOf(std::uint16_t type, std::string_view stored) {
  if (type != kJFileText && stored.empty()) return std::monostate{};
  const char* const b = stored.data();
  const char* const e = b + stored.size();
  switch (type) {
    case kJFileBoolean:
      if (stored == "1" || stored == "0") return stored == "1";
      break;
    case kJFileInteger: {
      std::int64_t n = 0;
      const auto r = std::from_chars(b, e, n);
      if (r.ec == std::errc() && r.ptr == e) return Canonical(n, stored);
      break;
    }
    case kJFileFloat: {
      double d = 0;
      const auto r = std::from_chars(b, e, d);
      if (r.ec == std::errc() && r.ptr == e && std::isfinite(d)) return Canonical(d, stored);
      break;
    }
    case kJFileDate:
      if (stored.size() == 8) {
        const auto y = Digits(stored, 0, 4), m = Digits(stored, 4, 2), d = Digits(stored, 6, 2);
        // Two digits each from valid values: written back as these very
        // digits, so no second text is made to compare.
        if (y && m && d && TableDate{*y, *m, *d}.Valid()) return TableDate{*y, *m, *d};
      }
      break;
    case kJFileTime:
      if (stored.size() == 8 && stored[2] == ':' && stored[5] == ':') {
        const auto h = Digits(stored, 0, 2), m = Digits(stored, 3, 2), s = Digits(stored, 6, 2);
        if (h && m && s && TableTime{*h, *m, *s}.Valid()) return TableTime{*h, *m, *s};
      }
      break;
    default:
      break;
  }
  return std::string(stored);
}

std::string JFileStoredText(const TableValue& value) {
  char buf[40];
  if (const auto* t = std::get_if<std::string>(&value)) return *t;
  if (const auto* f = std::get_if<bool>(&value)) return *f ? "1" : "0";
  if (const auto* n = std::get_if<std::int64_t>(&value)) {
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, *n).ptr);
  }
  if (const auto* d = std::get_if<double>(&value)) return TableFloatText(*d);
  if (const auto* d = std::get_if<TableDate>(&value)) {
    if (!d->Valid()) RaisePDB(1, kMsgValueOutOfRange);
    return TableDateText(*d, 0);
  }
  if (const auto* t = std::get_if<TableTime>(&value)) {
    if (!t->Valid()) RaisePDB(1, kMsgValueOutOfRange);
    return TableTimeText(*t, true);
  }
  return {};
}

}  // namespace corvane::apps
