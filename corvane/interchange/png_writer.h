// PNG files from RGBA pixels, through libpng. A target of its own beside the
// library (corvane_png), so that the library itself needs no image library.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace corvane::interchange {

// The PNG file of width x height pixels of 4 bytes (red, green, blue, alpha;
// rows top to bottom): 8 bits per channel, not interlaced. Raises
// std::runtime_error naming libpng's complaint, or when `rgba` is not
// width x height x 4 bytes.
std::vector<std::uint8_t> EncodePng(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                    std::uint32_t height);

}  // namespace corvane::interchange
