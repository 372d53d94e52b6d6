// A running write position in a std::string, for output written a few bytes
// at a time (export's cells and separators): room is made in large steps,
// pieces are written through a pointer, and the string is cut back to what was
// written by Commit() (or when the cursor goes away). Between a Commit() and
// the next write the string may be appended to by other code; the cursor
// resumes at its end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace corvane::cli {

class OutCursor {
 public:
  // The size of the blocks a caller best hands the text on in (commits,
  // then writes out): what the cursor makes room for at a time.
  static constexpr std::size_t kBlock = std::size_t{1} << 16;

  explicit OutCursor(std::string& out) noexcept : out_(out) {}
  OutCursor(const OutCursor&) = delete;
  OutCursor& operator=(const OutCursor&) = delete;
  ~OutCursor() { Commit(); }

  // A pointer to at least n writable bytes at the write position; Advance()
  // then says how far was written.
  char* Room(std::size_t n) {
    if (static_cast<std::size_t>(end_ - at_) < n) Grow(n);
    return at_;
  }
  // Ends a write started by Room(): `to` lies within the room it gave.
  void Advance(char* to) noexcept { at_ = to; }

  void Put(std::string_view s) {
    const std::size_t n = s.size();
    char* p = Room(n);
    const char* from = s.data();
    // Separators and keys are short: copied by two fixed-size copies that
    // overlap, rather than a call per piece.
    if (n >= 8 && n <= 16) {
      std::memcpy(p, from, 8);
      std::memcpy(p + n - 8, from + n - 8, 8);
    } else if (n >= 4 && n < 8) {
      std::memcpy(p, from, 4);
      std::memcpy(p + n - 4, from + n - 4, 4);
    } else if (n < 4) {
      for (std::size_t i = 0; i < n; ++i) p[i] = from[i];
    } else {
      std::memcpy(p, from, n);
    }
    at_ = p + n;
  }
  void Put(char c) {
    char* p = Room(1);
    *p = c;
    at_ = p + 1;
  }

  // A text written many times (a key, a separator): one of up to kShort
  // bytes is written by one fixed-size copy, whatever its length.
  class Piece {
   public:
    static constexpr std::size_t kShort = 32;
    explicit Piece(std::string text) : text_(std::move(text)) {
      if (text_.size() <= kShort) std::memcpy(short_, text_.data(), text_.size());
    }
    std::string_view Text() const noexcept { return text_; }

   private:
    friend class OutCursor;
    std::string text_;
    char short_[kShort] = {};
  };
  void Put(const Piece& piece) {
    const std::size_t n = piece.text_.size();
    if (n > Piece::kShort) [[unlikely]] {
      PutLong(piece.text_);
      return;
    }
    char* p = Room(Piece::kShort);
    std::memcpy(p, piece.short_, Piece::kShort);
    at_ = p + n;
  }

  // The bytes written so far, committed or not.
  std::size_t Size() const noexcept {
    return at_ != nullptr ? static_cast<std::size_t>(at_ - out_.data()) : out_.size();
  }
  // Cuts the string back to what was written; it holds exactly that until
  // the next write.
  std::string& Commit() noexcept {
    if (at_ != nullptr) {
      out_.resize(static_cast<std::size_t>(at_ - out_.data()));  // shrinking never throws
      at_ = end_ = nullptr;
    }
    return out_;
  }

 private:
  // Resizing zero-fills the new room: made a block and a little more at a
  // time, a caller that commits each block as it fills zero-fills about as
  // many bytes as it writes.
  static constexpr std::size_t kStep = kBlock + (std::size_t{1} << 12);

  // Out of line, so that the common paths that call them inline.
  [[gnu::noinline]] void PutLong(std::string_view s) { Put(s); }
  [[gnu::noinline]] void Grow(std::size_t n) {
    const std::size_t used = Size();
    out_.resize(used + std::max(n, kStep));
    at_ = out_.data() + used;
    end_ = out_.data() + out_.size();
  }

  std::string& out_;
  char* at_ = nullptr;  // nullptr while committed
  char* end_ = nullptr;
};

}  // namespace corvane::cli
