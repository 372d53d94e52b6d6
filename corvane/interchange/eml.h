// One mail message as an RFC 5322 file (.eml) that mail programs open:
// headers from the handheld's record, non-ASCII header text as RFC 2047
// encoded words, the body as UTF-8 in quoted-printable so that no line is
// too long and no byte is lost.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::interchange {

struct MailMessage {
  // UTF-8. Header texts may hold anything: a line break in one is written as
  // a space, never as a new header.
  std::string subject, from, to, cc, bcc, replyTo, body;
  // The date as the handheld keeps it (local time, zone unknown); year 0
  // for none, which leaves the Date header out.
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  std::uint8_t priority = 1;  // 0 high, 1 normal, 2 low
};

std::string FormatEml(const MailMessage& message);

}  // namespace corvane::interchange
