// Address Book (creator `addr`, type `DATA`, database "AddressDB"). A record
// is a phone-label word (the labels of phones 1 to 5 in four bits each from
// bit 0, the displayed phone in bits 20-23, eight reserved bits), a
// field-presence mask (bit i for text i), the offset of the company text
// within the texts plus one (0 without a company), then each present text
// ended by a zero byte, in the order of AddressField.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>

#include "corvane/apps/categories.h"

namespace corvane::apps {

enum class AddressField {
  kLastName,
  kFirstName,
  kCompany,
  kPhone1,
  kPhone2,
  kPhone3,
  kPhone4,
  kPhone5,
  kAddress,
  kCity,
  kState,
  kZipCode,
  kCountry,
  kTitle,
  kCustom1,
  kCustom2,
  kCustom3,
  kCustom4,
  kNote
};
inline constexpr std::size_t kAddressFieldCount = 19;
inline constexpr std::size_t kAddressLabelCount = 22;  // the 19 texts, then phone labels 6-8

struct AddressRecord {
  std::array<std::uint8_t, 5> phoneLabels{0, 1, 2, 3, 4};  // 0..15 each
  std::uint8_t displayPhone = 0;                           // 0..4: which phone the list shows
  std::uint8_t reservedLabelBits = 0;
  std::uint32_t maskHighBits = 0;  // mask bits above the 19 texts, kept as read
  std::uint8_t companyOffset = 0;
  std::array<std::optional<std::string>, kAddressFieldCount> fields{};  // absent: bit clear

  std::optional<std::string>& operator[](AddressField f) {
    return fields[static_cast<std::size_t>(f)];
  }
  const std::optional<std::string>& operator[](AddressField f) const {
    return fields[static_cast<std::size_t>(f)];
  }
  // The company offset a handheld writes for these texts.
  std::uint8_t StandardCompanyOffset() const noexcept;
  std::string extra;  // bytes after the last present text
  friend bool operator==(const AddressRecord&, const AddressRecord&) = default;
};

struct AddressAppInfo {
  CategoryInfo categories = CategoryInfo::Standard();
  std::uint16_t reserved = 0;
  std::uint32_t renamedFields = 0;  // bit i: label i was renamed
  std::array<std::string, kAddressLabelCount> labels{};
  std::array<std::string, kAddressLabelCount> labelPadding{};  // as CategoryInfo::padding
  std::uint8_t country = 0;
  std::uint8_t misc = 0;  // bit 0: sort by company
  std::string extra{'\0', '\0'};

  bool SortByCompany() const noexcept { return (misc & 1) != 0; }
  static AddressAppInfo Standard();  // the English labels
  friend bool operator==(const AddressAppInfo&, const AddressAppInfo&) = default;
};

AddressRecord DecodeAddress(std::span<const std::uint8_t> record);
Bytes EncodeAddress(const AddressRecord& address);
AddressAppInfo DecodeAddressAppInfo(std::span<const std::uint8_t> block);
Bytes EncodeAddressAppInfo(const AddressAppInfo& info);

}  // namespace corvane::apps
