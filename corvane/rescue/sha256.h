// SHA-256 (FIPS 180-4), so that a rescue report can name every input by a
// digest anyone can check with the usual tools.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace corvane::rescue {

class Sha256 {
 public:
  // `portable`: never the processor's SHA instructions (for testing both ways).
  explicit Sha256(bool portable = false) noexcept;
  void Update(std::span<const std::uint8_t> bytes) noexcept;
  // The digest of everything given; the object is spent after it.
  std::array<std::uint8_t, 32> Finish() noexcept;
  // The same as 64 lower-case hexadecimal digits.
  std::string FinishHex();

 private:
  void Blocks(const std::uint8_t* data, std::size_t count) noexcept;

  std::array<std::uint32_t, 8> state_;
  bool accelerated_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes given
};

// 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

// Whether this processor's SHA instructions do the work (x86-64 with SHA-NI).
bool Sha256Accelerated() noexcept;

}  // namespace corvane::rescue
