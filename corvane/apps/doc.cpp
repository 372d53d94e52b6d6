#include "corvane/apps/doc.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "corvane/apps/record_bytes.h"

namespace corvane::apps {

DocHeader DecodeDocHeader(std::span<const std::uint8_t> record) {
  ByteReader in(record);
  in.Need(16, 1, kMsgDocHeaderTooShort);
  DocHeader h;
  h.compression = in.U16();
  h.spare = in.U16();
  h.textLength = in.U32();
  h.recordCount = in.U16();
  h.recordSize = in.U16();
  h.position = in.U32();
  h.extra = in.Rest();
  if (h.compression != kDocUncompressed && h.compression != kDocCompressed)
    RaisePDB(2, kMsgDocCompression);
  return h;
}

Bytes EncodeDocHeader(const DocHeader& header) {
  if (header.compression != kDocUncompressed && header.compression != kDocCompressed)
    RaisePDB(1, kMsgDocCompression);
  ByteWriter out;
  out.U16(header.compression);
  out.U16(header.spare);
  out.U32(header.textLength);
  out.U16(header.recordCount);
  out.U16(header.recordSize);
  out.U32(header.position);
  out.Raw(header.extra);
  return out.Take();
}

std::size_t DecompressDoc(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  const std::uint8_t* src = in.data();
  const std::size_t n = in.size();
  std::uint8_t* dst = out.data();
  const std::size_t cap = out.size();
  std::size_t i = 0, o = 0;
  while (i < n) {
    const std::uint8_t c = src[i++];
    if (c >= 0x01 && c <= 0x08) {
      if (n - i < c) RaisePDB(1, kMsgDocLiteralCut);
      if (cap - o < c) RaisePDB(2, kMsgDocBeyondLimit);
      std::memcpy(dst + o, src + i, c);
      i += c;
      o += c;
    } else if (c < 0x80) {
      if (o == cap) RaisePDB(2, kMsgDocBeyondLimit);
      dst[o++] = c;
    } else if (c >= 0xC0) {
      if (cap - o < 2) RaisePDB(2, kMsgDocBeyondLimit);
      dst[o++] = ' ';
      dst[o++] = c ^ 0x80;
    } else {
      if (i == n) RaisePDB(1, kMsgDocLiteralCut);
      const unsigned pair = ((unsigned{c} << 8) | src[i++]) & 0x3FFF;
      const std::size_t distance = pair >> 3;
      const std::size_t length = (pair & 7) + 3;
      if (distance == 0 || distance > o) RaisePDB(3, kMsgDocBackBeforeStart);
      if (cap - o < length) RaisePDB(2, kMsgDocBeyondLimit);
      const std::uint8_t* from = dst + o - distance;
      if (distance >= length) {
        std::memcpy(dst + o, from, length);
      } else {
        // The copy overlaps what it produces: a repeated pattern.
        for (std::size_t k = 0; k < length; ++k) dst[o + k] = from[k];
      }
      o += length;
    }
  }
  return o;
}

namespace {

constexpr std::size_t kMaxDistance = 2047;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 10;
constexpr int kChainDepth = 24;
constexpr std::size_t kHashBits = 12;

inline bool NeedsEscape(std::uint8_t b) noexcept {
  return (b >= 0x01 && b <= 0x08) || b >= 0x80;
}

inline std::size_t Hash3(const std::uint8_t* p) noexcept {
  const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  return (v * 2654435761u) >> (32 - kHashBits);
}

}  // namespace

Bytes CompressDoc(std::span<const std::uint8_t> text) {
  const std::size_t n = text.size();
  const std::uint8_t* s = text.data();
  Bytes out;
  out.reserve(n);
  std::array<std::int32_t, std::size_t{1} << kHashBits> head;
  head.fill(-1);
  std::vector<std::int32_t> prev(n, -1);
  const auto insert = [&](std::size_t at) {
    if (at + kMinMatch > n) return;
    const std::size_t h = Hash3(s + at);
    prev[at] = head[h];
    head[h] = static_cast<std::int32_t>(at);
  };
  std::size_t i = 0;
  while (i < n) {
    std::size_t best_len = 0, best_dist = 0;
    if (i + kMinMatch <= n) {
      const std::size_t max_len = std::min(kMaxMatch, n - i);
      std::int32_t cand = head[Hash3(s + i)];
      for (int depth = 0; cand >= 0 && depth < kChainDepth; ++depth) {
        const std::size_t dist = i - static_cast<std::size_t>(cand);
        if (dist > kMaxDistance) break;
        std::size_t len = 0;
        const std::uint8_t* a = s + cand;
        while (len < max_len && a[len] == s[i + len]) ++len;
        if (len > best_len) {
          best_len = len;
          best_dist = dist;
          if (len == max_len) break;
        }
        cand = prev[static_cast<std::size_t>(cand)];
      }
    }
    if (best_len >= kMinMatch) {
      const unsigned pair = 0x8000u | static_cast<unsigned>(best_dist << 3) |
                            static_cast<unsigned>(best_len - kMinMatch);
      out.push_back(static_cast<std::uint8_t>(pair >> 8));
      out.push_back(static_cast<std::uint8_t>(pair));
      for (std::size_t k = 0; k < best_len; ++k) insert(i + k);
      i += best_len;
      continue;
    }
    const std::uint8_t c = s[i];
    if (c == ' ' && i + 1 < n && s[i + 1] >= 0x40 && s[i + 1] <= 0x7F) {
      out.push_back(static_cast<std::uint8_t>(s[i + 1] ^ 0x80));
      insert(i);
      insert(i + 1);
      i += 2;
      continue;
    }
    if (!NeedsEscape(c)) {
      out.push_back(c);
      insert(i);
      ++i;
      continue;
    }
    std::size_t run = 1;
    while (run < 8 && i + run < n && NeedsEscape(s[i + run])) ++run;
    out.push_back(static_cast<std::uint8_t>(run));
    out.insert(out.end(), s + i, s + i + run);
    for (std::size_t k = 0; k < run; ++k) insert(i + k);
    i += run;
  }
  return out;
}

std::string DecodeDocRecord(const DocHeader& header, std::span<const std::uint8_t> record) {
  if (header.compression != kDocCompressed)
    return std::string(reinterpret_cast<const char*>(record.data()), record.size());
  // A record's own text cannot be longer than the header's 16-bit record size
  // allows, so a hostile record cannot make us hold more than that.
  std::vector<std::uint8_t> piece(std::min(kDocMaxRecordText, DocExpansionBound(record.size())));
  const std::size_t n = DecompressDoc(record, piece);
  return std::string(reinterpret_cast<const char*>(piece.data()), n);
}

std::string DecodeDocText(const DocHeader& header,
                          std::span<const std::span<const std::uint8_t>> records) {
  if (records.size() < std::size_t{header.recordCount} + 1) RaisePDB(1, kMsgDocMissingRecords);
  const auto texts = records.subspan(1, header.recordCount);
  // The text grows by what each record really holds, so a hostile header
  // cannot make us reserve more than the records could expand to.
  std::size_t total = 0;
  for (const auto& r : texts) total += r.size();
  std::string text;
  text.reserve(std::min<std::size_t>(header.textLength, 2 * total + 16));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    try {
      text += DecodeDocRecord(header, texts[i]);
    } catch (const EPDBException& e) {
      throw EPDBException(e.ErrorCode(), "record " + std::to_string(i + 1) + ": " + e.what());
    }
  }
  return text;
}

std::vector<Bytes> EncodeDocText(std::string_view text, DocHeader& header) {
  if (header.recordSize == 0) header.recordSize = kDocRecordSize;
  const std::size_t size = header.recordSize;
  const std::size_t count = (text.size() + size - 1) / size;
  // Record 0 is the header; a database holds at most 65535 records.
  if (count > 65534 || text.size() > 0xFFFFFFFFu) RaisePDB(1, kMsgDocTooLong);
  std::vector<Bytes> records;
  records.reserve(count);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  for (std::size_t at = 0; at < text.size(); at += size) {
    const std::span<const std::uint8_t> piece(bytes + at, std::min(size, text.size() - at));
    if (header.compression == kDocCompressed) {
      records.push_back(CompressDoc(piece));
    } else {
      records.emplace_back(piece.begin(), piece.end());
    }
  }
  header.textLength = static_cast<std::uint32_t>(text.size());
  header.recordCount = static_cast<std::uint16_t>(count);
  return records;
}

}  // namespace corvane::apps
