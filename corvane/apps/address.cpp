#include "corvane/apps/address.h"

namespace corvane::apps {

std::uint8_t AddressRecord::StandardCompanyOffset() const noexcept {
  const auto& company = fields[static_cast<std::size_t>(AddressField::kCompany)];
  if (!company) return 0;
  std::size_t before = 1;
  for (std::size_t i = 0; i < static_cast<std::size_t>(AddressField::kCompany); ++i) {
    if (fields[i]) before += fields[i]->size() + 1;
  }
  return before > 0xFF ? 0 : static_cast<std::uint8_t>(before);
}

AddressRecord DecodeAddress(std::span<const std::uint8_t> record) {
  ByteReader in(record);
  in.Need(9, 1, kMsgRecordTooShort);
  AddressRecord a;
  const std::uint32_t labels = in.U32();
  for (std::size_t i = 0; i < 5; ++i) a.phoneLabels[i] = (labels >> (4 * i)) & 0x0F;
  a.displayPhone = (labels >> 20) & 0x0F;
  a.reservedLabelBits = static_cast<std::uint8_t>(labels >> 24);
  const std::uint32_t mask = in.U32();
  a.maskHighBits = mask & ~((1u << kAddressFieldCount) - 1);
  a.companyOffset = in.U8();
  for (std::size_t i = 0; i < kAddressFieldCount; ++i) {
    if (mask & (1u << i)) a.fields[i] = in.CString(2);
  }
  a.extra = in.Rest();
  return a;
}

Bytes EncodeAddress(const AddressRecord& address) {
  std::uint32_t labels = std::uint32_t{address.reservedLabelBits} << 24;
  for (std::size_t i = 0; i < 5; ++i) {
    if (address.phoneLabels[i] > 0x0F) RaisePDB(1, kMsgValueOutOfRange);
    labels |= std::uint32_t{address.phoneLabels[i]} << (4 * i);
  }
  if (address.displayPhone > 0x0F || (address.maskHighBits & ((1u << kAddressFieldCount) - 1)))
    RaisePDB(1, kMsgValueOutOfRange);
  labels |= std::uint32_t{address.displayPhone} << 20;
  std::uint32_t mask = address.maskHighBits;
  for (std::size_t i = 0; i < kAddressFieldCount; ++i) {
    if (address.fields[i]) mask |= 1u << i;
  }
  ByteWriter out;
  out.U32(labels);
  out.U32(mask);
  out.U8(address.companyOffset);
  for (const auto& f : address.fields) {
    if (f) out.CString(*f, 2);
  }
  out.Raw(address.extra);
  return out.Take();
}

AddressAppInfo AddressAppInfo::Standard() {
  AddressAppInfo info;
  static constexpr const char* kLabels[kAddressLabelCount] = {
      "Last name", "First name", "Company", "Work",     "Home",    "Fax",   "Other",    "E-mail",
      "Address",   "City",       "State",   "Zip Code", "Country", "Title", "Custom 1", "Custom 2",
      "Custom 3",  "Custom 4",   "Note",    "Main",     "Pager",   "Mobile"};
  for (std::size_t i = 0; i < kAddressLabelCount; ++i) info.labels[i] = kLabels[i];
  info.categories.names[1] = "Business";
  info.categories.names[2] = "Personal";
  info.categories.names[3] = "QuickList";
  return info;
}

AddressAppInfo DecodeAddressAppInfo(std::span<const std::uint8_t> block) {
  ByteReader in(block);
  AddressAppInfo info;
  info.categories = DecodeCategoryInfo(in, 1);
  in.Need(2 + 4 + 16 * kAddressLabelCount + 2, 2, kMsgAppInfoTooShort);
  info.reserved = in.U16();
  info.renamedFields = in.U32();
  for (std::size_t i = 0; i < kAddressLabelCount; ++i)
    info.labels[i] = in.FixedName(16, &info.labelPadding[i]);
  info.country = in.U8();
  info.misc = in.U8();
  info.extra = in.Rest();
  return info;
}

Bytes EncodeAddressAppInfo(const AddressAppInfo& info) {
  ByteWriter out;
  EncodeCategoryInfo(info.categories, out, 1);
  out.U16(info.reserved);
  out.U32(info.renamedFields);
  for (std::size_t i = 0; i < kAddressLabelCount; ++i)
    out.FixedName(info.labels[i], 16, 2, info.labelPadding[i]);
  out.U8(info.country);
  out.U8(info.misc);
  out.Raw(info.extra);
  return out.Take();
}

}  // namespace corvane::apps
