// Pieces the later handhelds' Contacts, Calendar, Tasks and Memos share: the
// category colours that follow the standard category part of their
// application-info blocks (an edited-bit word and 16 colour indexes), and
// the blobs that end a Contacts or Calendar record (a four-character ID, a
// 16-bit size and that many bytes, repeated to the end of the record).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "corvane/apps/record_bytes.h"

namespace corvane::apps {

struct CategoryColors {
  std::uint16_t edited = 0;               // bit i: colour of category i was edited
  std::array<std::uint8_t, 16> colors{};  // kept as read, whatever they hold
  friend bool operator==(const CategoryColors&, const CategoryColors&) = default;
};

// 18 bytes; the caller has checked they are there.
CategoryColors ReadCategoryColors(ByteReader& in);
void WriteCategoryColors(const CategoryColors& colors, ByteWriter& out);

struct Blob {
  std::string id;    // four bytes
  std::string data;  // at most 65535 bytes
  friend bool operator==(const Blob&, const Blob&) = default;
};

// Reads blobs to the end of the record. Bytes that do not make a whole blob
// (fewer than six, or a size running past the end) are left in `in`: an
// interrupted edit on the handheld leaves such bytes, and the handheld
// ignores them, so they are no reason to refuse the record.
std::vector<Blob> ReadBlobs(ByteReader& in);
// A blob whose ID is not four bytes or whose data is longer than 65535 bytes
// raises (code, "A value is out of range for its field!").
void WriteBlobs(const std::vector<Blob>& blobs, ByteWriter& out, int code);

// The index of the last blob with this ID (the handheld uses the last one
// when a record holds two), or -1.
int LastBlob(const std::vector<Blob>& blobs, std::string_view id) noexcept;

inline std::span<const std::uint8_t> BytesOf(std::string_view s) noexcept {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

}  // namespace corvane::apps
