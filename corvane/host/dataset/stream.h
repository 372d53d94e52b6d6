// The byte stream through which blob fields read and write their values.
#pragma once

#include <cstdint>
#include <span>

namespace corvane {

enum TSeekOrigin : std::uint8_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;
  // Each returns the number of bytes moved.
  virtual std::int64_t Read(std::span<std::uint8_t> buffer) = 0;
  virtual std::int64_t Write(std::span<const std::uint8_t> buffer) = 0;
  // Returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual void SetSize(std::int64_t /*size*/) {}

  std::int64_t Position() { return Seek(0, soCurrent); }
  // The size as the host finds it: seek to the end and back.
  std::int64_t Size() {
    std::int64_t pos = Seek(0, soCurrent);
    std::int64_t end = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return end;
  }
};

}  // namespace corvane
