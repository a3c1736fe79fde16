// Colour block packer, AVX2 tier: both end points quantised in one 256-bit vector, the
// index word built with variable shifts and an OR reduction.
#include <immintrin.h>

#include <cstddef>
#include <cstring>

#include "texenc/clusterfit_avx/cluster_avx.h"

#pragma GCC target("avx2")

namespace {

inline uint32_t or_lanes(__m256i v) {
    __m128i x = _mm_or_si128(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    x = _mm_or_si128(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(1, 0, 3, 2)));
    x = _mm_or_si128(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(x));
}

}  // namespace

void dxt_pack_block_avx2(const ClusterBest *best, const uint8_t *indices, uint8_t *out) {
    static_assert(offsetof(ClusterBest, end) == offsetof(ClusterBest, start) + 16);
    // Negative and NaN components give 0; then truncate(v * k + 0.5), clamped to the
    // field (a component above 1 takes the largest code, as in the baseline packer).
    const __m256 v = _mm256_max_ps(_mm256_loadu_ps(best->start), _mm256_setzero_ps());
    const __m256 scaled =
        _mm256_add_ps(_mm256_mul_ps(v, _mm256_setr_ps(31, 63, 31, 0, 31, 63, 31, 0)), _mm256_set1_ps(0.5f));
    __m256i q = _mm256_cvttps_epi32(scaled);
    q = _mm256_max_epi32(_mm256_min_epi32(q, _mm256_setr_epi32(31, 63, 31, 0, 31, 63, 31, 0)), _mm256_setzero_si256());
    q = _mm256_sllv_epi32(q, _mm256_setr_epi32(11, 5, 0, 0, 11, 5, 0, 0));
    __m128i lo = _mm256_castsi256_si128(q), hi = _mm256_extracti128_si256(q, 1);
    lo = _mm_or_si128(lo, _mm_shuffle_epi32(lo, _MM_SHUFFLE(1, 0, 3, 2)));
    lo = _mm_or_si128(lo, _mm_shuffle_epi32(lo, _MM_SHUFFLE(2, 3, 0, 1)));
    hi = _mm_or_si128(hi, _mm_shuffle_epi32(hi, _MM_SHUFFLE(1, 0, 3, 2)));
    hi = _mm_or_si128(hi, _mm_shuffle_epi32(hi, _MM_SHUFFLE(2, 3, 0, 1)));
    const uint32_t c0 = static_cast<uint32_t>(_mm_cvtsi128_si32(lo)), c1 = static_cast<uint32_t>(_mm_cvtsi128_si32(hi));

    uint64_t word = c0;
    if (c0 != c1) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(indices));
        __m256i i0 = _mm256_cvtepu8_epi32(bytes), i1 = _mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8));
        uint32_t first = c0, second = c1;
        if (c0 < c1) {
            // Swapped colours: 0 <-> 1 and 2 <-> 3 keep every pixel's colour.
            first = c1;
            second = c0;
            const __m256i one = _mm256_set1_epi32(1), three = _mm256_set1_epi32(3);
            i0 = _mm256_and_si256(_mm256_xor_si256(i0, one), three);
            i1 = _mm256_and_si256(_mm256_xor_si256(i1, one), three);
        }
        i0 = _mm256_sllv_epi32(i0, _mm256_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14));
        i1 = _mm256_sllv_epi32(i1, _mm256_setr_epi32(16, 18, 20, 22, 24, 26, 28, 30));
        const uint32_t bits = or_lanes(_mm256_or_si256(i0, i1));
        word = first | static_cast<uint64_t>(second) << 16 | static_cast<uint64_t>(bits) << 32;
    }
    std::memcpy(out, &word, 8);
}
