#include "corvane/interchange/png_writer.h"

#include <png.h>

#include <stdexcept>
#include <string>

namespace corvane::interchange {

std::vector<std::uint8_t> EncodePng(std::span<const std::uint8_t> rgba, std::uint32_t width,
                                    std::uint32_t height) {
  if (rgba.size() != std::uint64_t{width} * height * 4) {
    throw std::runtime_error("PNG: " + std::to_string(rgba.size()) +
                             " bytes are no RGBA image of " + std::to_string(width) + " x " +
                             std::to_string(height));
  }
  if (width == 0 || height == 0) {
    throw std::runtime_error("PNG: an image of " + std::to_string(width) + " x " +
                             std::to_string(height) + " pixels cannot be written");
  }
  // The simplified interface keeps libpng's long jumps inside libpng.
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  const auto fail = [&image] {
    const std::string why = image.message;
    png_image_free(&image);
    throw std::runtime_error("PNG: " + why);
  };
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr)) fail();
  std::vector<std::uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr)) fail();
  out.resize(size);
  return out;
}

}  // namespace corvane::interchange
