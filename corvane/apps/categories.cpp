#include "corvane/apps/categories.h"

namespace corvane::apps {

CategoryInfo CategoryInfo::Standard() {
  CategoryInfo c;
  c.names[0] = "Unfiled";
  for (std::uint8_t i = 0; i < 16; ++i) c.ids[i] = i;
  c.lastUniqueID = 15;
  return c;
}

CategoryInfo DecodeCategoryInfo(ByteReader& block, int code) {
  block.Need(kCategoryPartSize, code, kMsgAppInfoTooShort);
  CategoryInfo c;
  c.renamed = block.U16();
  for (std::size_t i = 0; i < 16; ++i) c.names[i] = block.FixedName(16, &c.padding[i]);
  for (std::uint8_t& id : c.ids) id = block.U8();
  c.lastUniqueID = block.U8();
  c.filler = block.U8();
  return c;
}

void EncodeCategoryInfo(const CategoryInfo& info, ByteWriter& out, int code) {
  out.U16(info.renamed);
  for (std::size_t i = 0; i < 16; ++i) out.FixedName(info.names[i], 16, code, info.padding[i]);
  for (std::uint8_t id : info.ids) out.U8(id);
  out.U8(info.lastUniqueID);
  out.U8(info.filler);
}

}  // namespace corvane::apps
