// Byte order: PDB files are big-endian. Each Swap reverses the bytes of its
// type (the same call converts host to file order and back on a little-endian
// host). Float and currency swaps move bits only: a swapped float may not be a
// meaningful number and is only to be written out or swapped back.
// The Load/Store helpers read and write big-endian numbers at an address
// without alignment requirements.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "corvane/host/currency.h"

namespace corvane {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);

constexpr std::uint16_t SwapWord(std::uint16_t v) noexcept {
  return static_cast<std::uint16_t>((v >> 8) | (v << 8));
}
constexpr std::int16_t SwapSmallInt(std::int16_t v) noexcept {
  return static_cast<std::int16_t>(SwapWord(static_cast<std::uint16_t>(v)));
}
constexpr std::uint32_t SwapCardinal(std::uint32_t v) noexcept {
  return ((v & 0xFFu) << 24) | ((v & 0xFF00u) << 8) | ((v >> 8) & 0xFF00u) | (v >> 24);
}
constexpr std::int32_t SwapInteger(std::int32_t v) noexcept {
  return static_cast<std::int32_t>(SwapCardinal(static_cast<std::uint32_t>(v)));
}
constexpr std::uint64_t SwapUInt64(std::uint64_t v) noexcept {
  return (static_cast<std::uint64_t>(SwapCardinal(static_cast<std::uint32_t>(v))) << 32) |
         SwapCardinal(static_cast<std::uint32_t>(v >> 32));
}
constexpr std::int64_t SwapInt64(std::int64_t v) noexcept {
  return static_cast<std::int64_t>(SwapUInt64(static_cast<std::uint64_t>(v)));
}
inline float SwapFloat(float v) noexcept {
  return std::bit_cast<float>(SwapCardinal(std::bit_cast<std::uint32_t>(v)));
}
inline double SwapDouble(double v) noexcept {
  return std::bit_cast<double>(SwapUInt64(std::bit_cast<std::uint64_t>(v)));
}
constexpr Currency SwapCurrency(Currency v) noexcept { return Currency::FromRaw(SwapInt64(v.value)); }

// Big-endian loads and stores at unaligned addresses.
inline std::uint16_t LoadU16(const std::uint8_t* p) noexcept {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t LoadU32(const std::uint8_t* p) noexcept {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}
inline std::uint64_t LoadU64(const std::uint8_t* p) noexcept {
  return (static_cast<std::uint64_t>(LoadU32(p)) << 32) | LoadU32(p + 4);
}
inline float LoadFloat(const std::uint8_t* p) noexcept { return std::bit_cast<float>(LoadU32(p)); }
inline double LoadDouble(const std::uint8_t* p) noexcept {
  return std::bit_cast<double>(LoadU64(p));
}
inline void StoreU16(std::uint8_t* p, std::uint16_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
inline void StoreU32(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}
inline void StoreU64(std::uint8_t* p, std::uint64_t v) noexcept {
  StoreU32(p, static_cast<std::uint32_t>(v >> 32));
  StoreU32(p + 4, static_cast<std::uint32_t>(v));
}
inline void StoreFloat(std::uint8_t* p, float v) noexcept { StoreU32(p, std::bit_cast<std::uint32_t>(v)); }
inline void StoreDouble(std::uint8_t* p, double v) noexcept {
  StoreU64(p, std::bit_cast<std::uint64_t>(v));
}

}  // namespace corvane
