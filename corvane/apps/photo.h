// Pictures kept in file-stream databases (header attribute 0x0080; the
// handheld's photo application uses type and creator `Foto`). The file is one
// byte stream cut into records: each record is "DBLK", a 32-bit big-endian
// count n, then n bytes of the stream. Record boundaries fall anywhere, so
// records are never decoded one by one.
//
// The photo application's stream is an image file (a JPEG) followed by a
// trailer of its own: "SplashPhoto\0", numbers not yet understood, a Palm
// bitmap at trailer offset 46 (the thumbnail), then tagged parts ("HFCATE",
// "NOTE" with a 16-bit text length at +4 and the text at +12,
// "ARCPHOTOBASE"). Only the image, the thumbnail and the note are read; the
// rest is reported as the tags found.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "corvane/apps/bitmap.h"
#include "corvane/foundation/types.h"

namespace corvane::apps {

inline constexpr std::uint16_t kAttrFileStream = 0x0080;

enum class ImageKind { kUnknown, kJpeg, kPng, kGif, kBmp };

// "jpeg", "png", "gif", "bmp" or "unknown"; and the usual file extension
// ("jpg", ...; "bin" for unknown).
const char* ImageKindName(ImageKind kind) noexcept;
const char* ImageExtension(ImageKind kind) noexcept;

// By the file signature at the start of `bytes`.
ImageKind RecogniseImage(std::span<const std::uint8_t> bytes) noexcept;

// The stream: every record's data in record order. A record without the
// "DBLK" signature, or whose count runs past its end, raises EPDBException
// naming it.
Bytes ReassembleStream(std::span<const std::span<const std::uint8_t>> records);

// How many bytes the image at the start of `bytes` takes: a JPEG up to and
// including the end-of-image marker that follows its last scan (the markers
// walked, never a search for FF D9), a PNG up to its IEND chunk, a GIF up to
// its trailer, a BMP as its header says. Raises EPDBException when the image
// is cut short or is not of that kind.
std::size_t ImageLength(std::span<const std::uint8_t> bytes, ImageKind kind);

struct PhotoTag {
  std::string name;     // the ASCII tag as found
  std::size_t offset;   // within the trailer
};

struct PhotoTrailer {
  bool splash = false;                     // starts with "SplashPhoto\0"
  std::optional<std::size_t> thumbnail;    // the bitmap's offset within the trailer
  std::vector<BitmapInfo> thumbnail_info;  // its family, when there is one
  std::optional<std::string> note;         // the note text, as stored (8-bit)
  std::vector<PhotoTag> tags;
};

// What follows the image. Parts that do not parse are left out, never
// raised: the trailer is the application's own and only partly known.
PhotoTrailer ReadPhotoTrailer(std::span<const std::uint8_t> trailer);

// A record of the photo application's index database ("PhotosDB-Foto"),
// one per photo kept in a database of its own (named after the photo, with
// ".jpg" added), as the handheld's photo application writes it:
//   0  4  not understood (kept)
//   4  2  width of the photo, pixels
//   6  2  height
//   8  4  modified, seconds since 1904-01-01 (local time)
//  12  4  size of the photo's JPEG in bytes
//  16  5  not understood (kept)
//  21  2  length of the name
//  23  5  not understood (kept)
//  28  4  created, seconds since 1904-01-01
//  32  4  not understood (kept)
//  36  4  length of the thumbnail
//  40     the thumbnail (a small JPEG), then the name, then anything after
//         them (kept).
struct PhotoIndexRecord {
  std::uint16_t width = 0, height = 0;
  std::uint32_t modified = 0, created = 0;
  std::uint32_t size = 0;
  Bytes thumbnail;
  std::string name;  // 8-bit, as stored
  Bytes fixed;       // the 40 bytes before the thumbnail, as stored
  Bytes extra;       // after the name
};

inline constexpr std::size_t kPhotoIndexFixedSize = 40;

// Raises EPDBException when the record is shorter than 40 bytes or its
// thumbnail or name run past its end.
PhotoIndexRecord DecodePhotoIndexRecord(std::span<const std::uint8_t> record);

}  // namespace corvane::apps
