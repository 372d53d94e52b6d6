#include "corvane/rescue/sha256.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CORVANE_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace corvane::rescue {

namespace {

constexpr std::array<std::uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
    0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
    0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
    0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
    0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
    0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

constexpr std::uint32_t Rotr(std::uint32_t v, int n) noexcept { return (v >> n) | (v << (32 - n)); }

void PortableBlock(std::array<std::uint32_t, 8>& state, const std::uint8_t* p) noexcept {
  std::array<std::uint32_t, 64> w;
  for (int i = 0; i < 16; ++i) {
    w[i] = (std::uint32_t{p[4 * i]} << 24) | (std::uint32_t{p[4 * i + 1]} << 16) |
           (std::uint32_t{p[4 * i + 2]} << 8) | std::uint32_t{p[4 * i + 3]};
  }
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t s1 = Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25);
    const std::uint32_t ch = (e & f) ^ (~e & g);
    const std::uint32_t t1 = h + s1 + ch + kRound[i] + w[i];
    const std::uint32_t s0 = Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22);
    const std::uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
    const std::uint32_t t2 = s0 + maj;
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

#ifdef CORVANE_SHA_NI
bool HasShaInstructions() noexcept {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
  const bool ssse3 = (c & (1u << 9)) != 0, sse41 = (c & (1u << 19)) != 0;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
  return ssse3 && sse41 && (b & (1u << 29)) != 0;
}

// The rounds four at a time with the SHA extensions: the state kept as the
// instructions want it (ABEF and CDGH), the message schedule in four vectors
// of four words each.
__attribute__((target("sha,ssse3,sse4.1"))) void ShaNiBlocks(std::array<std::uint32_t, 8>& state,
                                                              const std::uint8_t* data,
                                                              std::size_t count) noexcept {
  const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state.data()));
  __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state.data() + 4));
  const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  for (; count > 0; --count, data += 64) {
    const __m128i abef_in = abef, cdgh_in = cdgh;
    __m128i w[4];
    for (int i = 0; i < 16; ++i) {
      __m128i& m = w[i & 3];
      if (i < 4) {
        m = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), swap);
      } else {
        // w[i-4] is the slot being replaced; w[i-3], w[i-2], w[i-1] the other three.
        __m128i t = _mm_sha256msg1_epu32(m, w[(i + 1) & 3]);
        t = _mm_add_epi32(t, _mm_alignr_epi8(w[(i + 3) & 3], w[(i + 2) & 3], 4));
        m = _mm_sha256msg2_epu32(t, w[(i + 3) & 3]);
      }
      __m128i k = _mm_add_epi32(
          m, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound.data() + 4 * i)));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k);
      k = _mm_shuffle_epi32(k, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, k);
    }
    abef = _mm_add_epi32(abef, abef_in);
    cdgh = _mm_add_epi32(cdgh, cdgh_in);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  dcba = _mm_blend_epi16(feba, dchg, 0xF0);
  hgfe = _mm_alignr_epi8(dchg, feba, 8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state.data()), dcba);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state.data() + 4), hgfe);
}
#endif

}  // namespace

bool Sha256Accelerated() noexcept {
#ifdef CORVANE_SHA_NI
  static const bool has = HasShaInstructions();
  return has;
#else
  return false;
#endif
}

Sha256::Sha256(bool portable) noexcept
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab,
             0x5be0cd19},
      accelerated_(!portable && Sha256Accelerated()) {}

void Sha256::Blocks(const std::uint8_t* data, std::size_t count) noexcept {
#ifdef CORVANE_SHA_NI
  if (accelerated_) {
    ShaNiBlocks(state_, data, count);
    return;
  }
#endif
  for (; count > 0; --count, data += 64) PortableBlock(state_, data);
}

void Sha256::Update(std::span<const std::uint8_t> bytes) noexcept {
  length_ += bytes.size();
  std::size_t at = 0;
  if (buffered_ > 0) {
    const std::size_t take = std::min(bytes.size(), buffer_.size() - buffered_);
    std::memcpy(buffer_.data() + buffered_, bytes.data(), take);
    buffered_ += take;
    at = take;
    if (buffered_ < buffer_.size()) return;
    Blocks(buffer_.data(), 1);
    buffered_ = 0;
  }
  const std::size_t whole = (bytes.size() - at) / 64;
  Blocks(bytes.data() + at, whole);
  at += whole * 64;
  if (at < bytes.size()) {
    std::memcpy(buffer_.data(), bytes.data() + at, bytes.size() - at);
    buffered_ = bytes.size() - at;
  }
}

std::array<std::uint8_t, 32> Sha256::Finish() noexcept {
  const std::uint64_t bits = length_ * 8;
  std::array<std::uint8_t, 72> pad{};
  pad[0] = 0x80;
  const std::size_t used = static_cast<std::size_t>(length_ % 64);
  const std::size_t zeros = used < 56 ? 56 - used : 120 - used;
  for (int i = 0; i < 8; ++i) pad[zeros + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  Update(std::span<const std::uint8_t>(pad.data(), zeros + 8));
  std::array<std::uint8_t, 32> out;
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 4; ++j) out[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
  }
  return out;
}

std::string Sha256::FinishHex() {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::uint8_t b : Finish()) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
  Sha256 h;
  h.Update(bytes);
  return h.FinishHex();
}

}  // namespace corvane::rescue
