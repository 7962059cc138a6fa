// The vector steps of the 8-bit classification: 16 pixels at a time with SSE2 (every x86-64
// processor), 32 with AVX2 where the processor has it. They must give the bytes the plain loop
// of classify.cpp gives; the TGA tests compare every step with pixel-by-pixel decoding.

#include <cstring>

#include "image/classify.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// x86-64 builds by GCC or Clang also carry 256-bit classification, chosen when the processor
// has it. Not for Windows: there GCC cannot align the stack for spilled 256-bit registers.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(_WIN32)
#define CURVLOG_CLASSIFY_AVX2 1
#include <immintrin.h>
#endif

namespace curvlog {
namespace {

#if defined(__SSE2__)
// Sixteen pixels whose data lanes are 0xFF become two bitmap bytes: each lane keeps the weight
// of its place (0x80 for the first of eight pixels), and the sum of absolute differences
// against zero adds the eight weights of each half into the low byte of its 64-bit lane.
__m128i pack_lanes(__m128i data, bool data_set) {
  const __m128i weights = _mm_set1_epi64x(0x0102040810204080);
  const __m128i bits = data_set ? _mm_and_si128(data, weights) : _mm_andnot_si128(data, weights);
  return _mm_sad_epu8(bits, _mm_setzero_si128());
}

// Stores the eight bitmap bytes of four packed groups of sixteen pixels, in pixel order.
void store_packed(__m128i s0, __m128i s1, __m128i s2, __m128i s3, std::uint8_t* out) {
  const __m128i t = _mm_or_si128(_mm_or_si128(s0, _mm_slli_epi64(s1, 8)),
                                 _mm_or_si128(_mm_slli_epi64(s2, 16), _mm_slli_epi64(s3, 24)));
  // The low lane holds bytes 0, 2, 4, 6 and the high lane bytes 1, 3, 5, 7.
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(t, _mm_srli_si128(t, 8)));
}

// Black&white: a pixel is 0 or 255 exactly when it equals its own sign spread over the byte,
// and its bit is the inverse of that sign. Grey pixels are collected in bad.
std::size_t classify_black_white(const std::uint8_t* in, std::size_t groups, std::uint8_t* out,
                                 bool* grey) {
  const __m128i zero = _mm_setzero_si128();
  __m128i bad = zero;
  std::size_t g = 0;
  for (; g + 8 <= groups; g += 8) {
    __m128i sums[4];
    for (int q = 0; q < 4; ++q) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + g * 8 + q * 16));
      const __m128i sign = _mm_cmpgt_epi8(zero, v);
      bad = _mm_or_si128(bad, _mm_xor_si128(v, sign));
      sums[q] = pack_lanes(sign, false);
    }
    store_packed(sums[0], sums[1], sums[2], sums[3], out + g);
  }
  *grey = _mm_movemask_epi8(_mm_cmpeq_epi8(bad, zero)) != 0xFFFF;
  return g;
}

// A short colour list: every pixel is compared with each listed (or each unlisted) value.
std::size_t classify_by_comparison(const Classifier& c, const std::uint8_t* in, std::size_t groups,
                                   std::uint8_t* out) {
  __m128i values[sizeof c.compare_values];
  for (unsigned k = 0; k < c.compare_count; ++k) {
    values[k] = _mm_set1_epi8(static_cast<char>(c.compare_values[k]));
  }
  std::size_t g = 0;
  for (; g + 8 <= groups; g += 8) {
    __m128i sums[4];
    for (int q = 0; q < 4; ++q) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + g * 8 + q * 16));
      __m128i match = _mm_cmpeq_epi8(v, values[0]);
      for (unsigned k = 1; k < c.compare_count; ++k) {
        match = _mm_or_si128(match, _mm_cmpeq_epi8(v, values[k]));
      }
      sums[q] = pack_lanes(match, !c.compare_unselected);
    }
    store_packed(sums[0], sums[1], sums[2], sums[3], out + g);
  }
  return g;
}
#endif

#if defined(CURVLOG_CLASSIFY_AVX2)
// With the eight pixels of each group in reverse order, the mask of the bytes' top bits (or of
// a comparison's result) holds the bitmap bytes as they are stored, the first pixel of each in
// the most significant bit.
__attribute__((target("avx2"))) __m256i load_reversed(const std::uint8_t* in) {
  const __m256i reverse = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8,  //
                                           7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
  return _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in)), reverse);
}

void store_mask(std::uint32_t bits, std::uint8_t* out) {
  std::memcpy(out, &bits, sizeof bits);  // little-endian: the first byte first
}

// Black&white: the top bit of 0 and 255 marks the background; adding 1 takes 0 and 255 to 1
// and 0 and every grey level above 1, so the largest sum shows whether there was one.
__attribute__((target("avx2"))) std::size_t classify_black_white_avx2(const std::uint8_t* in,
                                                                      std::size_t groups,
                                                                      std::uint8_t* out,
                                                                      bool* grey) {
  const __m256i one = _mm256_set1_epi8(1);
  __m256i largest = _mm256_setzero_si256();
  std::size_t g = 0;
  for (; g + 4 <= groups; g += 4) {
    const __m256i v = load_reversed(in + g * 8);
    largest = _mm256_max_epu8(largest, _mm256_add_epi8(v, one));
    store_mask(~std::uint32_t(_mm256_movemask_epi8(v)), out + g);
  }
  const __m256i within = _mm256_cmpeq_epi8(_mm256_max_epu8(largest, one), one);
  *grey = std::uint32_t(_mm256_movemask_epi8(within)) != 0xFFFFFFFF;
  return g;
}

__attribute__((target("avx2"))) std::size_t classify_by_comparison_avx2(const Classifier& c,
                                                                        const std::uint8_t* in,
                                                                        std::size_t groups,
                                                                        std::uint8_t* out) {
  __m256i values[sizeof c.compare_values];
  for (unsigned k = 0; k < c.compare_count; ++k) {
    values[k] = _mm256_set1_epi8(static_cast<char>(c.compare_values[k]));
  }
  const std::uint32_t flip = c.compare_unselected ? 0xFFFFFFFF : 0;
  std::size_t g = 0;
  for (; g + 4 <= groups; g += 4) {
    const __m256i v = load_reversed(in + g * 8);
    __m256i match = _mm256_cmpeq_epi8(v, values[0]);
    for (unsigned k = 1; k < c.compare_count; ++k) {
      match = _mm256_or_si256(match, _mm256_cmpeq_epi8(v, values[k]));
    }
    store_mask(std::uint32_t(_mm256_movemask_epi8(match)) ^ flip, out + g);
  }
  return g;
}
#endif

}  // namespace

ClassifyWidth widest_vector_step() {
#if defined(CURVLOG_CLASSIFY_AVX2)
  if (__builtin_cpu_supports("avx2")) return ClassifyWidth::k256;
#endif
#if defined(__SSE2__)
  return ClassifyWidth::k128;
#else
  return ClassifyWidth::kWord;
#endif
}

std::size_t classify_groups_vector(const Classifier& c, const std::uint8_t* in, std::size_t groups,
                                   std::uint8_t* out, bool* grey) {
#if defined(CURVLOG_CLASSIFY_AVX2)
  if (c.width == ClassifyWidth::k256) {
    if (c.black_white) return classify_black_white_avx2(in, groups, out, grey);
    if (c.compare_count != 0) return classify_by_comparison_avx2(c, in, groups, out);
  }
#endif
#if defined(__SSE2__)
  if (c.width == ClassifyWidth::k128) {
    if (c.black_white) return classify_black_white(in, groups, out, grey);
    if (c.compare_count != 0) return classify_by_comparison(c, in, groups, out);
  }
#endif
  (void)c, (void)in, (void)groups, (void)out, (void)grey;
  return 0;
}

}  // namespace curvlog
