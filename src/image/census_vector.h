#pragma once

// The census's vector step: the pixels of the value that most pixels carry (a graph's
// background) are told apart 64 at a time by SSE2 comparisons and counted in bulk, the others
// one by one. It must count as the plain loop of census.cpp does; the census tests compare the
// two on random images. A header of census.cpp's own: inlined there, the loop keeps its counts
// in registers (a tenth of a census's time, bench/run).

#include <bit>
#include <cstdint>

#include "image/census.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace curvlog {
namespace census_vector {

#if defined(__SSE2__)
// True when the 64 pixels at in all hold the value spread over background.
inline bool all_equal_64(const std::uint8_t* in, __m128i background) {
  const __m128i* const block = reinterpret_cast<const __m128i*>(in);
  const __m128i same01 = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(block), background),
                                       _mm_cmpeq_epi8(_mm_loadu_si128(block + 1), background));
  const __m128i same23 = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(block + 2), background),
                                       _mm_cmpeq_epi8(_mm_loadu_si128(block + 3), background));
  return _mm_movemask_epi8(_mm_and_si128(same01, same23)) == 0xFFFF;
}
#endif

}  // namespace census_vector

// Counts whole blocks of 64 pixels and returns how many it took; the plain loop counts the
// rest. At a pixel without a colour it stops, sets *outside and returns that pixel's index.
inline std::uint32_t count_span_vector(const std::uint8_t* in, std::uint32_t count,
                                       unsigned entries, Histogram& histogram, bool* outside) {
  std::uint32_t i = 0;
#if defined(__SSE2__)
  // In registers for the loop: through the histogram each step would wait on the last.
  std::uint8_t value = histogram.background;
  std::uint32_t value_count = 0;
  __m128i background = _mm_set1_epi8(static_cast<char>(value));
  for (; i + 64 <= count; i += 64) {
    if (census_vector::all_equal_64(in + i, background)) {
      value_count += 64;
      continue;
    }
    // The other pixels' places, one bit each, visited in file order.
    std::uint64_t others = 0;
    for (int q = 0; q < 4; ++q) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i) + q);
      const unsigned same = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, background)));
      others |= std::uint64_t(~same & 0xFFFF) << (16 * q);
    }
    unsigned others_count = 0;
    for (; others != 0; others &= others - 1) {
      const std::uint32_t at = i + unsigned(std::countr_zero(others));
      if (in[at] >= entries) {
        *outside = true;
        return at;
      }
      ++histogram.counts[in[at]];
      ++others_count;
    }
    value_count += 64 - others_count;
    // Mostly other values: the background has changed, or is yet to be found. The last pixel
    // has an entry, or the count would have ended at it.
    if (others_count > 32) {
      histogram.counts[value] += value_count;
      value = in[i + 63];
      value_count = 0;
      background = _mm_set1_epi8(static_cast<char>(value));
    }
  }
  histogram.counts[value] += value_count;
  histogram.background = value;
#else
  (void)in, (void)count, (void)entries, (void)histogram, (void)outside;
#endif
  return i;
}

}  // namespace curvlog
