// Independent readers as oracles: netpbm's converters run on a file, their
// PNM output read back as 8-bit RGB. Tests skip when the programs are absent.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace corvane::test {

struct RgbImage {
  std::size_t width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // 3 bytes a pixel
};

inline bool HaveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// A binary PNM (P4, P5 or P6, maxval up to 255) as RGB; nothing when it is none.
inline std::optional<RgbImage> ParsePnm(const std::vector<std::uint8_t>& b) {
  std::size_t at = 0;
  const auto skip = [&] {
    while (at < b.size()) {
      if (b[at] == '#') {
        while (at < b.size() && b[at] != '\n') ++at;
      } else if (b[at] == ' ' || b[at] == '\n' || b[at] == '\r' || b[at] == '\t') {
        ++at;
      } else {
        break;
      }
    }
  };
  const auto number = [&]() -> std::size_t {
    skip();
    std::size_t v = 0;
    while (at < b.size() && b[at] >= '0' && b[at] <= '9') v = v * 10 + (b[at++] - '0');
    return v;
  };
  if (b.size() < 2 || b[0] != 'P') return std::nullopt;
  const char kind = static_cast<char>(b[1]);
  at = 2;
  RgbImage img;
  img.width = number();
  img.height = number();
  const std::size_t maxval = kind == '4' ? 1 : number();
  ++at;  // the one whitespace byte before the pixels
  if (maxval == 0 || maxval > 255) return std::nullopt;
  const auto scale = [&](std::size_t v) { return static_cast<std::uint8_t>(v * 255 / maxval); };
  img.rgb.reserve(img.width * img.height * 3);
  for (std::size_t y = 0; y < img.height; ++y) {
    for (std::size_t x = 0; x < img.width; ++x) {
      if (kind == '4') {
        const std::size_t i = at + y * ((img.width + 7) / 8) + x / 8;
        if (i >= b.size()) return std::nullopt;
        const std::uint8_t v = ((b[i] >> (7 - x % 8)) & 1) != 0 ? 0 : 255;
        img.rgb.insert(img.rgb.end(), {v, v, v});
      } else if (kind == '5') {
        const std::size_t i = at + y * img.width + x;
        if (i >= b.size()) return std::nullopt;
        const std::uint8_t v = scale(b[i]);
        img.rgb.insert(img.rgb.end(), {v, v, v});
      } else if (kind == '6') {
        const std::size_t i = at + 3 * (y * img.width + x);
        if (i + 2 >= b.size()) return std::nullopt;
        img.rgb.insert(img.rgb.end(), {scale(b[i]), scale(b[i + 1]), scale(b[i + 2])});
      } else {
        return std::nullopt;
      }
    }
  }
  return img;
}

// `program` (a netpbm converter) run on the file; nothing when it fails.
inline std::optional<RgbImage> ConvertToPnm(const std::string& program, const std::string& path) {
  TempDir tmp;
  const std::string out = tmp.File("out.pnm");
  const std::string cmd = program + " '" + path + "' >'" + out + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return std::nullopt;
  return ParsePnm(ReadAll(out));
}

}  // namespace corvane::test
