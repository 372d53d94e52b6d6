// Checked reading and writing of the application records' bytes. Every read
// is measured against what the record holds; a shortfall raises EPDBException
// with the caller's code and message, so a damaged record never reads past
// its end.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/foundation/types.h"

namespace corvane::apps {

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}

  std::size_t Remaining() const noexcept { return bytes_.size() - at_; }
  bool AtEnd() const noexcept { return at_ == bytes_.size(); }

  // Raises (code, message) unless n more bytes are there.
  void Need(std::size_t n, int code, int message) const {
    if (Remaining() < n) RaisePDB(code, message);
  }
  std::uint8_t U8() noexcept { return bytes_[at_++]; }
  std::uint16_t U16() noexcept {
    const std::uint16_t v = static_cast<std::uint16_t>((bytes_[at_] << 8) | bytes_[at_ + 1]);
    at_ += 2;
    return v;
  }
  std::uint32_t U32() noexcept {
    const std::uint32_t v = (std::uint32_t{bytes_[at_]} << 24) |
                            (std::uint32_t{bytes_[at_ + 1]} << 16) |
                            (std::uint32_t{bytes_[at_ + 2]} << 8) | bytes_[at_ + 3];
    at_ += 4;
    return v;
  }
  // Exactly n bytes (after Need).
  std::string Bytes(std::size_t n) {
    std::string s(reinterpret_cast<const char*>(bytes_.data() + at_), n);
    at_ += n;
    return s;
  }
  // A text ended by a zero byte; the zero is consumed, not returned.
  std::string CString(int code) {
    for (std::size_t i = at_; i < bytes_.size(); ++i) {
      if (bytes_[i] == 0) {
        std::string s(reinterpret_cast<const char*>(bytes_.data() + at_), i - at_);
        at_ = i + 1;
        return s;
      }
    }
    RaisePDB(code, kMsgTextNotEnded);
  }
  // A fixed-width name: the bytes up to the first zero, the width consumed.
  // `padding` receives the bytes after that zero when any of them is not zero
  // (some writers leave old bytes there), else nothing.
  std::string FixedName(std::size_t width, std::string* padding = nullptr) {
    std::size_t n = 0;
    while (n < width && bytes_[at_ + n] != 0) ++n;
    std::string s(reinterpret_cast<const char*>(bytes_.data() + at_), n);
    if (padding != nullptr) {
      padding->clear();
      for (std::size_t i = n + 1; i < width; ++i) {
        if (bytes_[at_ + i] != 0) {
          padding->assign(reinterpret_cast<const char*>(bytes_.data() + at_ + n + 1),
                          width - n - 1);
          break;
        }
      }
    }
    at_ += width;
    return s;
  }
  std::string Rest() { return Bytes(Remaining()); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

class ByteWriter {
 public:
  void U8(std::uint8_t v) { out_.push_back(v); }
  void U16(std::uint16_t v) {
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
    out_.push_back(static_cast<std::uint8_t>(v));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v >> 16));
    U16(static_cast<std::uint16_t>(v));
  }
  void Raw(std::string_view s) {
    if (s.empty()) return;
    const std::size_t at = out_.size();
    out_.resize(at + s.size());
    std::memcpy(out_.data() + at, s.data(), s.size());
  }
  // The text and its ending zero; a zero inside it would end it early.
  void CString(std::string_view s, int code) {
    if (s.find('\0') != std::string_view::npos) RaisePDB(code, kMsgTextHoldsZero);
    Raw(s);
    out_.push_back(0);
  }
  // The name padded with zeros to `width` (or with `padding` after its zero
  // when that fills the width exactly); a zero inside or a longer name raises.
  void FixedName(std::string_view s, std::size_t width, int code, std::string_view padding = {}) {
    if (s.size() > width) RaisePDB(code, kMsgNameTooLong);
    if (s.find('\0') != std::string_view::npos) RaisePDB(code, kMsgTextHoldsZero);
    Raw(s);
    if (!padding.empty() && s.size() + 1 + padding.size() == width) {
      out_.push_back(0);
      Raw(padding);
    } else {
      out_.insert(out_.end(), width - s.size(), 0);
    }
  }
  std::size_t Size() const noexcept { return out_.size(); }
  corvane::Bytes Take() { return std::move(out_); }

 private:
  corvane::Bytes out_;
};

}  // namespace corvane::apps
