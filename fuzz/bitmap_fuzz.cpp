// libFuzzer target: any byte string as a Palm bitmap family, and as the
// photo application's stream. A family that decodes must give each member
// exactly width x height RGBA pixels and must encode again: opaque 16-bit
// members and opaque system-palette members at their own depth give the same
// pixels back. What does not decode must be refused with EPDBException.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "corvane/apps/bitmap.h"
#include "corvane/apps/photo.h"
#include "corvane/foundation/exception.h"

namespace {

using corvane::Bytes;
using corvane::EPDBException;
using namespace corvane::apps;

bool Opaque(const DecodedBitmap& d) {
  for (std::size_t i = 3; i < d.rgba.size(); i += 4) {
    if (d.rgba[i] != 255) return false;
  }
  return true;
}

void ReEncode(const DecodedBitmap& d) {
  const BitmapInfo& b = d.info;
  // Big members cost time and teach the fuzzer nothing new.
  if (std::size_t{b.width} * b.height > 64 * 64) return;
  const bool same_colours = b.depth == 16 || b.color_table.empty();
  for (const bool compress : {false, true}) {
    const Bytes again = EncodeBitmap(d.rgba, b.width, b.height, {b.depth, compress, b.density});
    const std::vector<DecodedBitmap> back = DecodeBitmapFamily(again);
    if (back.size() != 1 || back[0].rgba.size() != d.rgba.size()) std::abort();
    if (same_colours && Opaque(d) && back[0].rgba != d.rgba) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> in(data, size);
  try {
    const std::vector<BitmapInfo> headers = ReadBitmapFamily(in);
    const std::vector<DecodedBitmap> family = DecodeBitmapFamily(in);
    if (family.size() != headers.size()) std::abort();
    for (const DecodedBitmap& d : family) {
      if (d.rgba.size() != std::size_t{d.info.width} * d.info.height * 4) std::abort();
      if (d.info.offset + d.info.length > size) std::abort();
      ReEncode(d);
    }
    if (BestBitmap(std::span<const DecodedBitmap>(family)) >= family.size()) std::abort();
  } catch (const EPDBException&) {
    // Refused cleanly.
  }

  const ImageKind kind = RecogniseImage(in);
  try {
    if (ImageLength(in, kind) > size) std::abort();
  } catch (const EPDBException&) {
  }
  const PhotoTrailer trailer = ReadPhotoTrailer(in);
  if (trailer.thumbnail && *trailer.thumbnail >= size) std::abort();
  const std::span<const std::uint8_t> one[] = {in};
  try {
    const Bytes stream = ReassembleStream(one);
    if (stream.size() + 8 > size) std::abort();
  } catch (const EPDBException&) {
  }
  return 0;
}
