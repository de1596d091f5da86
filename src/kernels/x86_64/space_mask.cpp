// x86-64: white space found in SSE2 registers, which every such processor has.
#include <emmintrin.h>

#include "kernels/x86_64/forms.hpp"

namespace plotveil {

std::uint64_t space_mask_sse2(const char* bytes) {
  const __m128i blank = _mm_set1_epi8(' ');
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i four = _mm_set1_epi8(4);
  std::uint64_t mask = 0;
  for (int k = 0; k < 4; ++k) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * k));
    // TAB to CR are the bytes whose distance from TAB is at most 4.
    const __m128i from_tab = _mm_sub_epi8(x, tab);
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(from_tab, four), from_tab);
    const __m128i space = _mm_or_si128(_mm_cmpeq_epi8(x, blank), control);
    mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(space))) << (16 * k);
  }
  return mask;
}

}  // namespace plotveil
