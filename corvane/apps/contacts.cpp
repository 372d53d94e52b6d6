#include "corvane/apps/contacts.h"

namespace corvane::apps {
namespace {

constexpr std::uint32_t kFlags1Texts = 0x0FFFFFFF;  // texts 0..27
constexpr std::uint32_t kFlags2Texts = 0x000007FF;  // texts 28..38
constexpr std::uint32_t kHasBirthday = 0x0800;
constexpr std::uint32_t kHasBirthdayFlags = 0x1000;
constexpr std::uint32_t kHasReminderDays = 0x2000;
constexpr std::uint32_t kFlags2Known =
    kFlags2Texts | kHasBirthday | kHasBirthdayFlags | kHasReminderDays;

std::string AsString(Bytes b) {
  return std::string(b.begin(), b.end());
}

}  // namespace

std::uint8_t ContactsRecord::StandardCompanyOffset() const noexcept {
  if (!(*this)[ContactsField::kCompany]) return 0;
  std::size_t at = 1;
  for (const ContactsField f : {ContactsField::kLastName, ContactsField::kFirstName}) {
    if (const auto& t = (*this)[f]) at += t->size() + 1;
  }
  return static_cast<std::uint8_t>(at);
}

ContactsRecord DecodeContacts(std::span<const std::uint8_t> record) {
  ByteReader in(record);
  in.Need(17, 1, kMsgRecordTooShort);
  ContactsRecord c;
  const std::uint32_t phones = in.U32();
  for (std::size_t i = 0; i < kContactsPhoneCount; ++i)
    c.phoneLabels[i] = (phones >> (4 * i)) & 0x0F;
  c.displayPhone = static_cast<std::uint8_t>(phones >> 28);
  const std::uint16_t addresses = in.U16();
  for (std::size_t i = 0; i < kContactsAddressCount; ++i)
    c.addressLabels[i] = (addresses >> (4 * i)) & 0x0F;
  c.addressReserved = static_cast<std::uint8_t>(addresses >> 12);
  const std::uint16_t chats = in.U16();
  c.chatLabels[0] = chats & 0x0F;
  c.chatLabels[1] = (chats >> 4) & 0x0F;
  c.chatReserved = static_cast<std::uint8_t>(chats >> 8);
  const std::uint32_t flags1 = in.U32();
  const std::uint32_t flags2 = in.U32();
  c.flags1High = flags1 & ~kFlags1Texts;
  c.flags2High = flags2 & ~kFlags2Known;
  c.companyOffset = in.U8();
  for (std::size_t i = 0; i < kContactsFieldCount; ++i) {
    const bool present = i < 28 ? (flags1 >> i) & 1 : (flags2 >> (i - 28)) & 1;
    if (present) c.fields[i] = in.CString(2);
  }
  if (flags2 & kHasBirthday) {
    in.Need(2, 3, kMsgRecordTooShort);
    c.birthday = in.U16();
  }
  if (flags2 & kHasBirthdayFlags) {
    in.Need(2, 3, kMsgRecordTooShort);
    c.birthdayFlags = in.U16();
  }
  if (flags2 & kHasReminderDays) {
    in.Need(1, 3, kMsgRecordTooShort);
    c.reminderDays = in.U8();
  }
  c.blobs = ReadBlobs(in);
  c.extra = in.Rest();
  return c;
}

Bytes EncodeContacts(const ContactsRecord& c) {
  std::uint32_t phones = std::uint32_t{c.displayPhone} << 28;
  for (std::size_t i = 0; i < kContactsPhoneCount; ++i) {
    if (c.phoneLabels[i] > 0x0F) RaisePDB(1, kMsgValueOutOfRange);
    phones |= std::uint32_t{c.phoneLabels[i]} << (4 * i);
  }
  std::uint32_t addresses = std::uint32_t{c.addressReserved} << 12;
  for (std::size_t i = 0; i < kContactsAddressCount; ++i) {
    if (c.addressLabels[i] > 0x0F) RaisePDB(1, kMsgValueOutOfRange);
    addresses |= std::uint32_t{c.addressLabels[i]} << (4 * i);
  }
  if (c.displayPhone > 0x0F || c.addressReserved > 0x0F || c.chatLabels[0] > 0x0F ||
      c.chatLabels[1] > 0x0F || (c.flags1High & kFlags1Texts) || (c.flags2High & kFlags2Known))
    RaisePDB(1, kMsgValueOutOfRange);
  const std::uint32_t chats = (std::uint32_t{c.chatReserved} << 8) |
                              (std::uint32_t{c.chatLabels[1]} << 4) | c.chatLabels[0];
  std::uint32_t flags1 = c.flags1High, flags2 = c.flags2High;
  for (std::size_t i = 0; i < kContactsFieldCount; ++i) {
    if (!c.fields[i]) continue;
    if (i < 28) {
      flags1 |= 1u << i;
    } else {
      flags2 |= 1u << (i - 28);
    }
  }
  if (c.birthday) flags2 |= kHasBirthday;
  if (c.birthdayFlags) flags2 |= kHasBirthdayFlags;
  if (c.reminderDays) flags2 |= kHasReminderDays;
  ByteWriter out;
  out.U32(phones);
  out.U16(static_cast<std::uint16_t>(addresses));
  out.U16(static_cast<std::uint16_t>(chats));
  out.U32(flags1);
  out.U32(flags2);
  out.U8(c.companyOffset);
  for (const auto& f : c.fields) {
    if (f) out.CString(*f, 2);
  }
  if (c.birthday) out.U16(*c.birthday);
  if (c.birthdayFlags) out.U16(*c.birthdayFlags);
  if (c.reminderDays) out.U8(*c.reminderDays);
  WriteBlobs(c.blobs, out, 4);
  out.Raw(c.extra);
  return out.Take();
}

ContactsAppInfo ContactsAppInfo::Standard() {
  static constexpr const char* kLabels[kContactsLabelsShort] = {
      "Last name", "First name", "Company",  "Title",    "Work",        "Home",     "Fax",
      "Other",     "E-mail",     "Main",     "Pager",    "Chat1",       "Chat2",    "Web site",
      "Custom 1",  "Custom 2",   "Custom 3", "Custom 4", "Custom 5",    "Custom 6", "Custom 7",
      "Custom 8",  "Custom 9",   "Addr(W)",  "City",     "State",       "Zip Code", "Country",
      "Addr(H)",   "City",       "State",    "Zip Code", "Country",     "Addr(O)",  "City",
      "State",     "Zip Code",   "Country",  "Note",     "Birthday",    "Mobile",   "IM",
      "AIM",       "MSN",        "Yahoo",    "AOL ICQ",  "Phone/Email", "IM",       "Address"};
  ContactsAppInfo info;
  info.labels.assign(std::begin(kLabels), std::end(kLabels));
  info.labelPadding.assign(kContactsLabelsShort, {});
  info.categories.names[1] = "Business";
  info.categories.names[2] = "Personal";
  info.country = 23;
  return info;
}

ContactsAppInfo DecodeContactsAppInfo(std::span<const std::uint8_t> block) {
  ByteReader in(block);
  ContactsAppInfo info;
  info.categories = DecodeCategoryInfo(in, 1);
  in.Need(28 + 16 * kContactsLabelsShort + 4, 2, kMsgAppInfoTooShort);
  info.colors = ReadCategoryColors(in);
  info.reserved2 = in.U16();
  info.dirtyLabels1 = in.U32();
  info.dirtyLabels2 = in.U32();
  const std::size_t n = (in.Remaining() - 4) / 16;
  info.labels.resize(n);
  info.labelPadding.resize(n);
  for (std::size_t i = 0; i < n; ++i) info.labels[i] = in.FixedName(16, &info.labelPadding[i]);
  info.country = in.U8();
  info.reserved = in.U8();
  info.misc = in.U16();
  info.extra = in.Rest();
  return info;
}

Bytes EncodeContactsAppInfo(const ContactsAppInfo& info) {
  if (info.labels.size() < kContactsLabelsShort ||
      (!info.labelPadding.empty() && info.labelPadding.size() != info.labels.size()) ||
      info.extra.size() >= 16)  // more would read back as another label
    RaisePDB(2, kMsgValueOutOfRange);
  ByteWriter out;
  EncodeCategoryInfo(info.categories, out, 1);
  WriteCategoryColors(info.colors, out);
  out.U16(info.reserved2);
  out.U32(info.dirtyLabels1);
  out.U32(info.dirtyLabels2);
  for (std::size_t i = 0; i < info.labels.size(); ++i)
    out.FixedName(info.labels[i], 16, 2, info.labelPadding.empty() ? "" : info.labelPadding[i]);
  out.U8(info.country);
  out.U8(info.reserved);
  out.U16(info.misc);
  out.Raw(info.extra);
  return out.Take();
}

ContactsPicture DecodePicture(std::span<const std::uint8_t> data) {
  ByteReader in(data);
  in.Need(2, 5, kMsgRecordTooShort);
  ContactsPicture p;
  p.dirty = in.U16();
  p.jpeg = in.Rest();
  return p;
}

std::string EncodePicture(const ContactsPicture& p) {
  ByteWriter out;
  out.U16(p.dirty);
  out.Raw(p.jpeg);
  return AsString(out.Take());
}

ContactsAnniversary DecodeAnniversary(std::span<const std::uint8_t> data) {
  ByteReader in(data);
  in.Need(12, 6, kMsgRecordTooShort);
  ContactsAnniversary a;
  a.date = in.U16();
  a.flags = in.U16();
  a.reminderDays = in.U8();
  a.pad = in.U8();
  a.ringtoneID = in.U32();
  a.ringtoneType = in.U16();
  a.extra = in.Rest();
  return a;
}

std::string EncodeAnniversary(const ContactsAnniversary& a) {
  ByteWriter out;
  out.U16(a.date);
  out.U16(a.flags);
  out.U8(a.reminderDays);
  out.U8(a.pad);
  out.U32(a.ringtoneID);
  out.U16(a.ringtoneType);
  out.Raw(a.extra);
  return AsString(out.Take());
}

}  // namespace corvane::apps
