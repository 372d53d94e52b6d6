#include "corvane/apps/photo.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/exception.h"

namespace corvane::apps {

namespace {

constexpr std::array<std::uint8_t, 4> kBlock = {'D', 'B', 'L', 'K'};
constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

[[noreturn]] void Cut(const char* kind, const std::string& what) {
  throw EPDBException(1, std::string(kind) + " image: " + what);
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view prefix) noexcept {
  return bytes.size() >= prefix.size() &&
         std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

std::size_t JpegLength(std::span<const std::uint8_t> b) {
  if (b.size() < 2 || b[0] != 0xFF || b[1] != 0xD8) Cut("JPEG", "no start-of-image marker");
  std::size_t at = 2;
  for (;;) {
    if (at >= b.size() || b[at] != 0xFF) {
      Cut("JPEG", "no marker at byte " + std::to_string(at));
    }
    while (at < b.size() && b[at] == 0xFF) ++at;  // fill bytes
    if (at >= b.size()) Cut("JPEG", "cut short at byte " + std::to_string(at));
    const std::uint8_t marker = b[at++];
    if (marker == 0xD9) return at;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (b.size() - at < 2) Cut("JPEG", "a segment length is cut short");
    const std::size_t length = LoadU16(b.data() + at);
    if (length < 2 || length > b.size() - at) {
      Cut("JPEG", "a segment of " + std::to_string(length) + " bytes at byte " +
                      std::to_string(at) + " runs past the end");
    }
    at += length;
    if (marker != 0xDA) continue;
    // Entropy-coded data: FF 00 is a data byte, FF D0..D7 a restart; any
    // other marker ends the scan.
    for (;;) {
      if (b.size() - at < 2) Cut("JPEG", "the scan data is cut short");
      if (b[at] == 0xFF && b[at + 1] != 0x00 && !(b[at + 1] >= 0xD0 && b[at + 1] <= 0xD7) &&
          b[at + 1] != 0xFF) {
        break;
      }
      ++at;
    }
  }
}

std::size_t PngLength(std::span<const std::uint8_t> b) {
  std::size_t at = kPngSignature.size();
  for (;;) {
    if (b.size() - at < 12) Cut("PNG", "a chunk is cut short at byte " + std::to_string(at));
    const std::uint64_t length = LoadU32(b.data() + at);
    const bool end = std::memcmp(b.data() + at + 4, "IEND", 4) == 0;
    if (length > b.size() - at - 12) Cut("PNG", "a chunk runs past the end");
    at += 12 + static_cast<std::size_t>(length);
    if (end) return at;
  }
}

std::size_t GifLength(std::span<const std::uint8_t> b) {
  if (b.size() < 13) Cut("GIF", "the header is cut short");
  std::size_t at = 13;
  const auto table = [](std::uint8_t packed) -> std::size_t {
    return (packed & 0x80) != 0 ? 3u << ((packed & 7) + 1) : 0;
  };
  at += table(b[10]);
  const auto need = [&](std::size_t n) {
    if (at > b.size() || b.size() - at < n) Cut("GIF", "cut short at byte " + std::to_string(at));
  };
  const auto sub_blocks = [&] {
    for (;;) {
      need(1);
      const std::size_t n = b[at++];
      if (n == 0) return;
      need(n);
      at += n;
    }
  };
  for (;;) {
    need(1);
    const std::uint8_t kind = b[at++];
    if (kind == 0x3B) return at;
    if (kind == 0x21) {
      need(1);
      ++at;  // the label
      sub_blocks();
    } else if (kind == 0x2C) {
      need(9);
      const std::uint8_t packed = b[at + 8];
      at += 9;
      need(table(packed));
      at += table(packed);
      need(1);
      ++at;  // the code size
      sub_blocks();
    } else {
      Cut("GIF", "unknown block " + std::to_string(kind) + " at byte " + std::to_string(at - 1));
    }
  }
}

std::size_t BmpLength(std::span<const std::uint8_t> b) {
  if (b.size() < 6) Cut("BMP", "the header is cut short");
  const std::uint32_t size = std::uint32_t{b[2]} | (std::uint32_t{b[3]} << 8) |
                             (std::uint32_t{b[4]} << 16) | (std::uint32_t{b[5]} << 24);
  if (size < 14 || size > b.size()) Cut("BMP", "its size " + std::to_string(size) + " does not fit");
  return size;
}

}  // namespace

const char* ImageKindName(ImageKind kind) noexcept {
  switch (kind) {
    case ImageKind::kJpeg:
      return "jpeg";
    case ImageKind::kPng:
      return "png";
    case ImageKind::kGif:
      return "gif";
    case ImageKind::kBmp:
      return "bmp";
    default:
      return "unknown";
  }
}

const char* ImageExtension(ImageKind kind) noexcept {
  switch (kind) {
    case ImageKind::kJpeg:
      return "jpg";
    case ImageKind::kPng:
      return "png";
    case ImageKind::kGif:
      return "gif";
    case ImageKind::kBmp:
      return "bmp";
    default:
      return "bin";
  }
}

ImageKind RecogniseImage(std::span<const std::uint8_t> b) noexcept {
  if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return ImageKind::kJpeg;
  if (b.size() >= kPngSignature.size() &&
      std::equal(kPngSignature.begin(), kPngSignature.end(), b.begin())) {
    return ImageKind::kPng;
  }
  if (StartsWith(b, "GIF87a") || StartsWith(b, "GIF89a")) return ImageKind::kGif;
  if (StartsWith(b, "BM") && b.size() >= 14) return ImageKind::kBmp;
  return ImageKind::kUnknown;
}

Bytes ReassembleStream(std::span<const std::span<const std::uint8_t>> records) {
  Bytes stream;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::span<const std::uint8_t> r = records[i];
    const std::string at = "stream record " + std::to_string(i) + ": ";
    if (r.size() < 8 || !std::equal(kBlock.begin(), kBlock.end(), r.begin())) {
      throw EPDBException(1, at + "no DBLK block");
    }
    const std::uint64_t n = LoadU32(r.data() + 4);
    if (n > r.size() - 8) {
      throw EPDBException(1, at + "its block of " + std::to_string(n) + " bytes runs past its " +
                                 std::to_string(r.size()) + " bytes");
    }
    stream.insert(stream.end(), r.begin() + 8, r.begin() + 8 + static_cast<std::ptrdiff_t>(n));
  }
  return stream;
}

std::size_t ImageLength(std::span<const std::uint8_t> bytes, ImageKind kind) {
  switch (kind) {
    case ImageKind::kJpeg:
      return JpegLength(bytes);
    case ImageKind::kPng:
      if (RecogniseImage(bytes) != ImageKind::kPng) Cut("PNG", "no signature");
      return PngLength(bytes);
    case ImageKind::kGif:
      if (RecogniseImage(bytes) != ImageKind::kGif) Cut("GIF", "no signature");
      return GifLength(bytes);
    case ImageKind::kBmp:
      if (RecogniseImage(bytes) != ImageKind::kBmp) Cut("BMP", "no signature");
      return BmpLength(bytes);
    default:
      throw EPDBException(1, "the stream holds no image of a known kind");
  }
}

PhotoTrailer ReadPhotoTrailer(std::span<const std::uint8_t> t) {
  PhotoTrailer out;
  constexpr std::string_view kSplash("SplashPhoto\0", 12);
  constexpr std::size_t kThumbnailAt = 46;
  out.splash = StartsWith(t, kSplash);
  std::size_t search_from = 0;
  if (out.splash && t.size() > kThumbnailAt) {
    try {
      out.thumbnail_info = ReadBitmapFamily(t.subspan(kThumbnailAt));
      out.thumbnail = kThumbnailAt;
      for (const BitmapInfo& b : out.thumbnail_info) {
        search_from = std::max(search_from, kThumbnailAt + b.offset + b.length);
      }
    } catch (const EPDBException&) {
      out.thumbnail_info.clear();  // no bitmap there: the tags are still looked for
    }
  }
  // The known tags, each after a zero byte or right after the thumbnail
  // (whose pixels are not searched).
  constexpr std::array<std::string_view, 3> kKnown = {"HFCATE", "NOTE", "ARCPHOTOBASE"};
  for (std::size_t i = search_from; i < t.size(); ++i) {
    for (std::string_view tag : kKnown) {
      if (t.size() - i < tag.size() || std::memcmp(t.data() + i, tag.data(), tag.size()) != 0) {
        continue;
      }
      if (i > 0 && t[i - 1] != 0 && i != search_from) continue;
      out.tags.push_back({std::string(tag), i});
      if (tag == "NOTE" && !out.note && t.size() - i >= 12) {
        const std::size_t n = LoadU16(t.data() + i + 4);
        if (n <= t.size() - i - 12) {
          out.note = std::string(reinterpret_cast<const char*>(t.data() + i + 12), n);
        }
      }
      i += tag.size() - 1;
      break;
    }
  }
  if (out.splash) out.tags.insert(out.tags.begin(), {"SplashPhoto", 0});
  return out;
}

PhotoIndexRecord DecodePhotoIndexRecord(std::span<const std::uint8_t> r) {
  if (r.size() < kPhotoIndexFixedSize) {
    throw EPDBException(1, "photo index record of " + std::to_string(r.size()) +
                               " bytes, fewer than the 40 of its fixed part");
  }
  PhotoIndexRecord p;
  p.width = LoadU16(r.data() + 4);
  p.height = LoadU16(r.data() + 6);
  p.modified = LoadU32(r.data() + 8);
  p.size = LoadU32(r.data() + 12);
  const std::size_t name_size = LoadU16(r.data() + 21);
  p.created = LoadU32(r.data() + 28);
  const std::uint64_t thumb_size = LoadU32(r.data() + 36);
  const std::size_t rest = r.size() - kPhotoIndexFixedSize;
  if (thumb_size > rest || name_size > rest - thumb_size) {
    throw EPDBException(1, "photo index record: a thumbnail of " + std::to_string(thumb_size) +
                               " bytes and a name of " + std::to_string(name_size) +
                               " do not fit its " + std::to_string(rest) + " bytes after the fixed part");
  }
  const auto at = r.begin() + static_cast<std::ptrdiff_t>(kPhotoIndexFixedSize);
  const auto name_at = at + static_cast<std::ptrdiff_t>(thumb_size);
  const auto extra_at = name_at + static_cast<std::ptrdiff_t>(name_size);
  p.fixed.assign(r.begin(), at);
  p.thumbnail.assign(at, name_at);
  p.name.assign(name_at, extra_at);
  p.extra.assign(extra_at, r.end());
  return p;
}

}  // namespace corvane::apps
