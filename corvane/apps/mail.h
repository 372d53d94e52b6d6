// Mail (creator `mail`, type `DATA`, database "MailDB"). A record is the
// packed date (0 for none), hour, minute, a flag word (read 0x8000, signature
// 0x4000, confirm read 0x2000, confirm delivery 0x1000, priority in bits
// 11-10, addressing in bits 9-8), then subject, from, to, cc, bcc, reply-to,
// sent-to and body, each ended by a zero byte.
#pragma once

#include <array>
#include <span>
#include <string>

#include "corvane/apps/categories.h"

namespace corvane::apps {

enum class MailField { kSubject, kFrom, kTo, kCc, kBcc, kReplyTo, kSentTo, kBody };
inline constexpr std::size_t kMailFieldCount = 8;

struct MailRecord {
  std::uint16_t date = 0;  // packed date, 0 for none
  std::uint8_t hour = 0, minute = 0;
  bool read = false, signature = false, confirmRead = false, confirmDelivery = false;
  std::uint8_t priority = 1;    // 0 high, 1 normal, 2 low
  std::uint8_t addressing = 0;  // 0 to, 1 cc, 2 bcc
  std::uint8_t otherFlags = 0;  // the flag word's low byte, kept as read
  std::array<std::string, kMailFieldCount> fields{};
  std::string extra;

  std::string& operator[](MailField f) { return fields[static_cast<std::size_t>(f)]; }
  const std::string& operator[](MailField f) const { return fields[static_cast<std::size_t>(f)]; }
  friend bool operator==(const MailRecord&, const MailRecord&) = default;
};

struct MailAppInfo {
  CategoryInfo categories = CategoryInfo::Standard();
  std::uint16_t reserved = 0;
  std::uint16_t dirty = 0;
  std::uint8_t sortOrder = 0;
  std::uint8_t reserved2 = 0;
  std::uint32_t unsentID = 0;
  std::uint16_t signatureOffset = 0;
  std::string extra;
  friend bool operator==(const MailAppInfo&, const MailAppInfo&) = default;
};

MailRecord DecodeMail(std::span<const std::uint8_t> record);
Bytes EncodeMail(const MailRecord& mail);
MailAppInfo DecodeMailAppInfo(std::span<const std::uint8_t> block);
Bytes EncodeMailAppInfo(const MailAppInfo& info);

}  // namespace corvane::apps
