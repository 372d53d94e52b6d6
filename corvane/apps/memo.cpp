#include "corvane/apps/memo.h"

namespace corvane::apps {

MemoRecord DecodeMemo(std::span<const std::uint8_t> record) {
  ByteReader in(record);
  MemoRecord m;
  m.text = in.CString(1);
  m.extra = in.Rest();
  return m;
}

Bytes EncodeMemo(const MemoRecord& memo) {
  ByteWriter out;
  out.CString(memo.text, 1);
  out.Raw(memo.extra);
  return out.Take();
}

MemoAppInfo DecodeMemoAppInfo(std::span<const std::uint8_t> block) {
  ByteReader in(block);
  MemoAppInfo info;
  info.categories = DecodeCategoryInfo(in, 1);
  in.Need(5, 2, kMsgAppInfoTooShort);
  info.reserved = in.U32();
  info.sortOrder = in.U8();
  info.extra = in.Rest();
  return info;
}

Bytes EncodeMemoAppInfo(const MemoAppInfo& info) {
  ByteWriter out;
  EncodeCategoryInfo(info.categories, out, 1);
  out.U32(info.reserved);
  out.U8(info.sortOrder);
  out.Raw(info.extra);
  return out.Take();
}

}  // namespace corvane::apps
