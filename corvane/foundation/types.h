// Enumerations and one-byte sets of the public interface, with the bit each
// flag occupies in a PDB file.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace corvane {

using Bytes = std::vector<std::uint8_t>;

enum TOpenMode : std::uint8_t { dmModeReadOnly = 0, dmModeWriteOnly = 1 };

enum TDBEnumFlags : std::uint8_t {
  dmHdrAttrReadOnly = 0,
  dmHdrAttrAppInfoDirty = 1,
  dmHdrAttrBackup = 2,
  dmHdrAttrOKToInstallNewer = 3,
  dmHdrAttrResetAfterInstall = 4,
  dmHdrAttrCopyPrevention = 5,
};

enum TRecEnumFlags : std::uint8_t {
  dmRecAttrSecret = 0,
  dmRecAttrBusy = 1,
  dmRecAttrDirty = 2,
  dmRecAttrDelete = 3,
};

// A set over an enumeration of at most 8 members: bit i stands for ordinal i.
template <class E>
class SmallSet {
 public:
  constexpr SmallSet() noexcept = default;
  constexpr SmallSet(std::initializer_list<E> items) noexcept {
    for (E e : items) bits_ |= Bit(e);
  }
  static constexpr SmallSet FromByte(std::uint8_t b) noexcept {
    SmallSet s;
    s.bits_ = b;
    return s;
  }
  constexpr std::uint8_t ToByte() const noexcept { return bits_; }
  constexpr bool Contains(E e) const noexcept { return (bits_ & Bit(e)) != 0; }
  constexpr bool Empty() const noexcept { return bits_ == 0; }
  constexpr SmallSet& Include(E e) noexcept {
    bits_ |= Bit(e);
    return *this;
  }
  constexpr SmallSet& Exclude(E e) noexcept {
    bits_ &= static_cast<std::uint8_t>(~Bit(e));
    return *this;
  }
  friend constexpr SmallSet operator+(SmallSet a, SmallSet b) noexcept {
    return FromByte(a.bits_ | b.bits_);
  }
  friend constexpr SmallSet operator-(SmallSet a, SmallSet b) noexcept {
    return FromByte(a.bits_ & static_cast<std::uint8_t>(~b.bits_));
  }
  friend constexpr SmallSet operator*(SmallSet a, SmallSet b) noexcept {
    return FromByte(a.bits_ & b.bits_);
  }
  friend constexpr bool operator==(SmallSet, SmallSet) = default;

 private:
  static constexpr std::uint8_t Bit(E e) noexcept {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(e));
  }
  std::uint8_t bits_ = 0;
};

using TDBFlags = SmallSet<TDBEnumFlags>;
using TRecFlags = SmallSet<TRecEnumFlags>;
using TArrayCategories = std::array<std::string, 16>;

// True when low <= value <= high.
constexpr bool Between(std::int32_t value, std::int32_t low, std::int32_t high) noexcept {
  return low <= value && value <= high;
}

// The at most `count` bytes of `text` from the 1-based position `start`;
// empty when start lies beyond the end (or count is not positive).
std::string Substr(const std::string& text, std::int32_t start, std::int32_t count);

}  // namespace corvane
