#pragma once
// Helpers of the AVX cluster-fit tests: tier availability, sorted weighted colours and
// the range-sum layout numbered from its rows.
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "platform/core/cpu.h"
#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit_avx/cluster_avx.h"

namespace cfavx {

inline bool has_avx() { return cpu_features().avx; }
inline bool has_fma() { return cpu_features().avx && cpu_features().fma; }

// The AVX preparation member of each count.
inline constexpr DxtClusterPrepareFn kPrepareAvx[17] = {nullptr,
                                                        nullptr,
                                                        cluster_prepare_count02_avx,
                                                        cluster_prepare_count03_avx,
                                                        cluster_prepare_count04_avx,
                                                        cluster_prepare_count05_avx,
                                                        cluster_prepare_count06_avx,
                                                        cluster_prepare_count07_avx,
                                                        cluster_prepare_count08_avx,
                                                        cluster_prepare_count09_avx,
                                                        cluster_prepare_count10_avx,
                                                        cluster_prepare_count11_avx,
                                                        cluster_prepare_count12_avx,
                                                        cluster_prepare_count13_avx,
                                                        cluster_prepare_count14_avx,
                                                        cluster_prepare_count15_avx,
                                                        cluster_prepare_count16_avx};

// Sorted colours as the driver hands them to the preparation: (w r, w g, w b, w).
struct alignas(32) Sorted {
    float v[16][4] = {};
};

// Run [i, j) of n colours: its entry (i == j: the zero entry), and its cross float.
inline uint32_t entry_of(uint32_t n, uint32_t i, uint32_t j) {
    if (i == j) { return 0; }
    uint32_t e = 0;
    for (uint32_t r = 0; r < i; ++r) { e += r == 0 ? n : n - r; }  // rows before row i
    return e + (i == 0 ? j : j - i - 1);
}
inline uint64_t full_at(uint32_t n, uint32_t i, uint32_t j) { return 48ull * entry_of(n, i, j); }
inline uint64_t cross_base(uint32_t n) { return 48ull * (n * (n + 1) / 2); }
inline uint64_t cross_at(uint32_t n, uint32_t i, uint32_t j) {
    if (n == 16) { return cross_base(n) + 4ull * (j - i); }
    if (i == j) { return cross_base(n); }
    return cross_base(n) + 4ull * (entry_of(n, i, j) + (i == 0 ? 0 : 1));
}
inline uint32_t sums_bytes(uint32_t n) { return n == 16 ? 6596 : 26 * n * (n + 1) + 4; }

inline float float_at(const ClusterSums &s, uint64_t offset) {
    float f;
    std::memcpy(&f, reinterpret_cast<const uint8_t *>(s.values) + offset, 4);
    return f;
}
inline uint32_t bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

}  // namespace cfavx
