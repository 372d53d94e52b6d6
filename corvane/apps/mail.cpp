#include "corvane/apps/mail.h"

namespace corvane::apps {

MailRecord DecodeMail(std::span<const std::uint8_t> record) {
  ByteReader in(record);
  in.Need(6, 1, kMsgRecordTooShort);
  MailRecord m;
  m.date = in.U16();
  m.hour = in.U8();
  m.minute = in.U8();
  const std::uint16_t flags = in.U16();
  m.read = (flags & 0x8000) != 0;
  m.signature = (flags & 0x4000) != 0;
  m.confirmRead = (flags & 0x2000) != 0;
  m.confirmDelivery = (flags & 0x1000) != 0;
  m.priority = (flags >> 10) & 0x03;
  m.addressing = (flags >> 8) & 0x03;
  m.otherFlags = static_cast<std::uint8_t>(flags);
  for (std::string& f : m.fields) f = in.CString(2);
  m.extra = in.Rest();
  return m;
}

Bytes EncodeMail(const MailRecord& mail) {
  if (mail.priority > 3 || mail.addressing > 3) RaisePDB(1, kMsgValueOutOfRange);
  std::uint16_t flags = mail.otherFlags;
  if (mail.read) flags |= 0x8000;
  if (mail.signature) flags |= 0x4000;
  if (mail.confirmRead) flags |= 0x2000;
  if (mail.confirmDelivery) flags |= 0x1000;
  flags |= static_cast<std::uint16_t>((mail.priority << 10) | (mail.addressing << 8));
  ByteWriter out;
  out.U16(mail.date);
  out.U8(mail.hour);
  out.U8(mail.minute);
  out.U16(flags);
  for (const std::string& f : mail.fields) out.CString(f, 2);
  out.Raw(mail.extra);
  return out.Take();
}

MailAppInfo DecodeMailAppInfo(std::span<const std::uint8_t> block) {
  ByteReader in(block);
  MailAppInfo info;
  info.categories = DecodeCategoryInfo(in, 1);
  in.Need(12, 2, kMsgAppInfoTooShort);
  info.reserved = in.U16();
  info.dirty = in.U16();
  info.sortOrder = in.U8();
  info.reserved2 = in.U8();
  info.unsentID = in.U32();
  info.signatureOffset = in.U16();
  info.extra = in.Rest();
  return info;
}

Bytes EncodeMailAppInfo(const MailAppInfo& info) {
  ByteWriter out;
  EncodeCategoryInfo(info.categories, out, 1);
  out.U16(info.reserved);
  out.U16(info.dirty);
  out.U8(info.sortOrder);
  out.U8(info.reserved2);
  out.U32(info.unsentID);
  out.U16(info.signatureOffset);
  out.Raw(info.extra);
  return out.Take();
}

}  // namespace corvane::apps
