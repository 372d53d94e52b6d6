// RecordArena: the bytes of records packed for writing, one after another in
// blocks the arena owns. A posted record costs no allocation of its own, and
// closing a database of tens of thousands of records frees a few dozen blocks
// rather than one per record.
//
// Room is reserved, filled, then committed: a record whose packing fails is
// never committed and its room is offered again to the next one. Committed
// bytes never move and stay valid until Clear (or the arena's destruction),
// whatever is reserved or committed after them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace corvane::pdb {

class RecordArena {
 public:
  // The first block's size; each further block doubles it, up to kMaxBlock.
  // A record larger than the next block's size gets a block of its own size.
  // Blocks stay below the allocator's mapping threshold: a freshly mapped
  // block faults on every page as it is filled, which cost more than the
  // packing of the records in it.
  static constexpr std::size_t kFirstBlock = 4096;
  static constexpr std::size_t kMaxBlock = std::size_t{1} << 16;

  RecordArena() = default;
  RecordArena(const RecordArena&) = delete;
  RecordArena& operator=(const RecordArena&) = delete;

  // Room for `n` bytes (not zeroed), valid until the next Reserve or Clear.
  // The bytes are kept only by Commit.
  std::span<std::uint8_t> Reserve(std::size_t n) {
    if (n > left_) NewBlock(n);
    return {at_, n};
  }
  // Keeps the first `n` bytes of the room Reserve gave (n at most what it gave).
  void Commit(std::size_t n) noexcept {
    at_ += n;
    left_ -= n;
  }
  // Releases every block. Spans into the arena dangle afterwards.
  void Clear() noexcept {
    blocks_.clear();
    at_ = nullptr;
    left_ = 0;
    next_block_ = kFirstBlock;
  }
  // The blocks allocated so far (for tests of the growth).
  std::size_t BlockCount() const noexcept { return blocks_.size(); }

 private:
  void NewBlock(std::size_t n) {
    const std::size_t size = std::max(n, next_block_);
    // Every byte handed out is written by the packer before it is read, so the
    // block is not zero-filled first.
    blocks_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(size));
    at_ = blocks_.back().get();
    left_ = size;
    next_block_ = std::min(next_block_ * 2, kMaxBlock);
  }

  std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
  std::uint8_t* at_ = nullptr;  // the first byte not committed in the newest block
  std::size_t left_ = 0;        // bytes after at_ in the newest block
  std::size_t next_block_ = kFirstBlock;
};

}  // namespace corvane::pdb
