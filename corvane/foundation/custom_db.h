// A small persistent holder of one owned block and three plain members. Kept
// for callers that use it; nothing else in the library does.
#pragma once

#include <cstdint>
#include <memory>

#include "corvane/foundation/types.h"
#include "corvane/host/persistent.h"

namespace corvane {

class TCustomDB : public TPersistent {
 public:
  TCustomDB() = default;
  // Releases the owned block, if any; the object stays usable and Free may be repeated.
  void Free() noexcept { block.reset(); }

  std::unique_ptr<Bytes> block;
  std::uint32_t number = 0;
  std::uint8_t set = 0;
  const void* second = nullptr;  // not owned
};

}  // namespace corvane
