#include "corvane/apps/memos.h"

namespace corvane::apps {

MemosAppInfo DecodeMemosAppInfo(std::span<const std::uint8_t> block) {
  ByteReader in(block);
  MemosAppInfo info;
  info.categories = DecodeCategoryInfo(in, 1);
  in.Need(23, 2, kMsgAppInfoTooShort);
  info.colors = ReadCategoryColors(in);
  info.reserved2 = in.U16();
  info.reserved3 = in.U16();
  info.sortOrder = in.U8();
  info.extra = in.Rest();
  return info;
}

Bytes EncodeMemosAppInfo(const MemosAppInfo& info) {
  ByteWriter out;
  EncodeCategoryInfo(info.categories, out, 1);
  WriteCategoryColors(info.colors, out);
  out.U16(info.reserved2);
  out.U16(info.reserved3);
  out.U8(info.sortOrder);
  out.Raw(info.extra);
  return out.Take();
}

}  // namespace corvane::apps
