#include "corvane/apps/pim_parts.h"

namespace corvane::apps {

CategoryColors ReadCategoryColors(ByteReader& in) {
  CategoryColors c;
  c.edited = in.U16();
  for (std::uint8_t& color : c.colors) color = in.U8();
  return c;
}

void WriteCategoryColors(const CategoryColors& colors, ByteWriter& out) {
  out.U16(colors.edited);
  for (std::uint8_t color : colors.colors) out.U8(color);
}

std::vector<Blob> ReadBlobs(ByteReader& in) {
  std::vector<Blob> blobs;
  while (in.Remaining() >= 6) {
    // Look ahead without consuming: a blob that runs past the end stays in
    // the trailer whole.
    ByteReader ahead = in;
    std::string id = ahead.Bytes(4);
    const std::size_t size = ahead.U16();
    if (ahead.Remaining() < size) break;
    in = ahead;
    blobs.push_back(Blob{std::move(id), in.Bytes(size)});
  }
  return blobs;
}

void WriteBlobs(const std::vector<Blob>& blobs, ByteWriter& out, int code) {
  for (const Blob& b : blobs) {
    if (b.id.size() != 4 || b.data.size() > 0xFFFF) RaisePDB(code, kMsgValueOutOfRange);
    out.Raw(b.id);
    out.U16(static_cast<std::uint16_t>(b.data.size()));
    out.Raw(b.data);
  }
}

int LastBlob(const std::vector<Blob>& blobs, std::string_view id) noexcept {
  for (std::size_t i = blobs.size(); i-- > 0;) {
    if (blobs[i].id == id) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace corvane::apps
