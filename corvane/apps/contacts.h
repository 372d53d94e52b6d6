// Contacts (creator `PAdd`, type `DATA`, database "ContactsDB-PAdd"), the
// address book of the later handhelds. A record is
//   - a 32-bit phone-label word: the labels of phones 1..7 in four bits each
//     from bit 0, the phone the list shows in bits 28-31;
//   - a 16-bit address-label word (blocks 1..3 in four bits each, four
//     reserved bits) and a 16-bit chat-label word (two labels, a reserved
//     byte);
//   - two 32-bit presence words: bit i of the first for text i (0..27), bit
//     k of the second for text 28+k (28..38), then 0x0800 birth date, 0x1000
//     birthday flags and 0x2000 reminder days;
//   - a byte giving where the company text starts (counted from that byte;
//     0 without a company);
//   - each present text, ended by a zero byte, in the order of ContactsField;
//   - the birthday parts that are flagged (a packed date, a flag word whose
//     bit 0 turns the reminder on, a byte of days ahead);
//   - blobs to the end of the record: `Bd00` the picture (a dirty word, then
//     a JPEG), `Bd01` the anniversary and ring tone, others kept as they are.
//
// The application-info block: the standard category part, the category
// colours, a reserved word, two words of changed-label bits, 49 or 53 field
// labels of 16 bytes, the country, a reserved byte and a word whose bit 8
// sorts by company.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "corvane/apps/categories.h"
#include "corvane/apps/pim_parts.h"

namespace corvane::apps {

enum class ContactsField {
  kLastName,
  kFirstName,
  kCompany,
  kTitle,
  kPhone1,
  kPhone2,
  kPhone3,
  kPhone4,
  kPhone5,
  kPhone6,
  kPhone7,
  kChat1,
  kChat2,
  kWebSite,
  kCustom1,
  kCustom2,
  kCustom3,
  kCustom4,
  kCustom5,
  kCustom6,
  kCustom7,
  kCustom8,
  kCustom9,
  kAddress1,
  kCity1,
  kState1,
  kZipCode1,
  kCountry1,
  kAddress2,
  kCity2,
  kState2,
  kZipCode2,
  kCountry2,
  kAddress3,
  kCity3,
  kState3,
  kZipCode3,
  kCountry3,
  kNote
};
inline constexpr std::size_t kContactsFieldCount = 39;
inline constexpr std::size_t kContactsPhoneCount = 7;
inline constexpr std::size_t kContactsChatCount = 2;
inline constexpr std::size_t kContactsAddressCount = 3;

struct ContactsRecord {
  // Phone labels: 0 work, 1 home, 2 fax, 3 other, 4 e-mail, 5 main, 6 pager,
  // 7 mobile; 8..15 kept as read.
  std::array<std::uint8_t, kContactsPhoneCount> phoneLabels{0, 1, 2, 3, 4, 5, 6};
  std::uint8_t displayPhone = 0;  // 0..6: the phone the list shows
  // Address labels: 0 work, 1 home, 2 other.
  std::array<std::uint8_t, kContactsAddressCount> addressLabels{0, 1, 2};
  std::uint8_t addressReserved = 0;  // the top four bits of the word
  // Chat labels: 0 other, 1 AIM, 2 MSN, 3 Yahoo, 4 ICQ.
  std::array<std::uint8_t, kContactsChatCount> chatLabels{0, 1};
  std::uint8_t chatReserved = 0;   // the top byte of the word
  std::uint32_t flags1High = 0;    // bits 28-31 of the first presence word
  std::uint32_t flags2High = 0;    // bits 14-31 of the second
  std::uint8_t companyOffset = 0;  // as read; StandardCompanyOffset() for new records
  std::array<std::optional<std::string>, kContactsFieldCount> fields{};
  std::optional<std::uint16_t> birthday;       // packed date
  std::optional<std::uint16_t> birthdayFlags;  // bit 0: reminder on
  std::optional<std::uint8_t> reminderDays;
  std::vector<Blob> blobs;
  std::string extra;  // bytes after the last whole blob

  std::optional<std::string>& operator[](ContactsField f) {
    return fields[static_cast<std::size_t>(f)];
  }
  const std::optional<std::string>& operator[](ContactsField f) const {
    return fields[static_cast<std::size_t>(f)];
  }
  // The offset the handheld writes: a single byte, so names longer than 254
  // bytes together wrap it as they do on the handheld.
  std::uint8_t StandardCompanyOffset() const noexcept;
  friend bool operator==(const ContactsRecord&, const ContactsRecord&) = default;
};

inline constexpr std::string_view kPictureBlob = "Bd00";
inline constexpr std::string_view kAnniversaryBlob = "Bd01";

struct ContactsPicture {
  std::uint16_t dirty = 0;
  std::string jpeg;  // the image, whole
  friend bool operator==(const ContactsPicture&, const ContactsPicture&) = default;
};

struct ContactsAnniversary {
  std::uint16_t date = 0xFFFF;  // packed date
  std::uint16_t flags = 0;      // bit 0: reminder on
  std::uint8_t reminderDays = 0;
  std::uint8_t pad = 0;
  std::uint32_t ringtoneID = 0;
  std::uint16_t ringtoneType = 0;
  std::string extra;  // bytes past the twelve
  friend bool operator==(const ContactsAnniversary&, const ContactsAnniversary&) = default;
};

inline constexpr std::size_t kContactsLabelsShort = 49;
inline constexpr std::size_t kContactsLabelsLong = 53;

struct ContactsAppInfo {
  CategoryInfo categories = CategoryInfo::Standard();
  CategoryColors colors;
  std::uint16_t reserved2 = 0;
  std::uint32_t dirtyLabels1 = 0, dirtyLabels2 = 0;
  // 49 labels, or 53 in the longer block; the meaning of the four last ones
  // is not known, so they are only kept.
  std::vector<std::string> labels;
  std::vector<std::string> labelPadding;  // as CategoryInfo::padding
  std::uint8_t country = 0;
  std::uint8_t reserved = 0;
  std::uint16_t misc = 0;  // bit 8: sort by company
  std::string extra;       // bytes past the last whole field

  bool SortByCompany() const noexcept { return (misc & 0x0100) != 0; }
  static ContactsAppInfo Standard();  // the English labels, 49 of them
  friend bool operator==(const ContactsAppInfo&, const ContactsAppInfo&) = default;
};

ContactsRecord DecodeContacts(std::span<const std::uint8_t> record);
Bytes EncodeContacts(const ContactsRecord& contact);
// A block shorter than the 1092 bytes of 49 labels raises; a longer one holds
// as many whole labels as fit before the last four bytes.
ContactsAppInfo DecodeContactsAppInfo(std::span<const std::uint8_t> block);
Bytes EncodeContactsAppInfo(const ContactsAppInfo& info);

ContactsPicture DecodePicture(std::span<const std::uint8_t> data);
std::string EncodePicture(const ContactsPicture& picture);
ContactsAnniversary DecodeAnniversary(std::span<const std::uint8_t> data);
std::string EncodeAnniversary(const ContactsAnniversary& anniversary);

}  // namespace corvane::apps
