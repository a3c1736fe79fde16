// Candidate tables of the cluster-fit search: the row lists below are the data; records,
// padded bounds and the 16-colour factor table are derived from them once.
#include "texenc/clusterfit/cluster_tables.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/core/log.h"
#include "texenc/clusterfit/cluster_fit.h"
#include "texenc/clusterfit/cluster_rows.h"

namespace {

struct Row {
    uint8_t b[3];
    uint8_t pattern;  // ClusterPattern, 0 for arrays c and d
};

int digit(char ch) {
    if (ch >= '0' && ch <= '9') { return ch - '0'; }
    ZASSERT(ch >= 'a' && ch <= 'g');
    return ch - 'a' + 10;
}

std::vector<Row> parse_rows(const char *text, const uint8_t *block_patterns, const uint16_t *block_rows) {
    std::vector<Row> rows;
    size_t block = 0, in_block = 0;
    for (const char *p = text; *p;) {
        if (*p == '|') {
            ZASSERT(block_rows == nullptr || in_block == block_rows[block]);
            ++block;
            in_block = 0;
            ++p;
            continue;
        }
        Row r{};
        for (int k = 0; k < 3; ++k) {
            ZASSERT(p[k] != '\0');
            r.b[k] = static_cast<uint8_t>(digit(p[k]));
        }
        r.pattern = block_patterns ? block_patterns[block] : 0;
        rows.push_back(r);
        ++in_block;
        p += 3;
    }
    ZASSERT(block_rows == nullptr || (block == 3 && in_block == block_rows[3]));
    return rows;
}

std::vector<Row> a_rows(uint32_t c) {
    static const uint8_t kPatterns[5] = {CLUSTER_PATTERN_31, CLUSTER_PATTERN_21, CLUSTER_PATTERN_23, CLUSTER_PATTERN_03,
                                         CLUSTER_PATTERN_02};
    std::vector<Row> rows;
    const uint32_t k_max = cluster_a_rows_per_pattern(c);
    for (uint32_t r = 0; r < 5 * k_max; ++r) {
        const ClusterRow t = cluster_a_row(c, k_max, r);
        rows.push_back({{t.b0, t.b1, t.b2}, kPatterns[r / k_max]});
    }
    return rows;
}

// The float nearest to 81 / d (d > 0).
float nearest_factor(int64_t d) {
    float f = static_cast<float>(81.0 / static_cast<double>(d));
    float best = f;
    // f * d is exact in double (24-bit by 13-bit), so the distances are exact.
    double best_dist = std::fabs(static_cast<double>(f) * static_cast<double>(d) - 81.0);
    for (float g : {std::nextafter(f, 0.0f), std::nextafter(f, 1.0f)}) {
        const double dist = std::fabs(static_cast<double>(g) * static_cast<double>(d) - 81.0);
        if (dist < best_dist) {
            best = g;
            best_dist = dist;
        }
    }
    return best;
}

// Factor of a 16-colour partition with unit weights, scaled by 81 to stay in integers.
int64_t factor_denominator(const Row &r) {
    const int64_t p = r.b[0], q = r.b[1] - r.b[0], t = r.b[2] - r.b[1], s = 16 - r.b[2];
    return (9 * p + 4 * q + t) * (9 * s + q + 4 * t) - 4 * (q + t) * (q + t);
}

struct Builder {
    ClusterCandidateTables tables;
    std::vector<std::vector<uint64_t>> records;
    std::vector<std::vector<uint8_t>> bounds;
    std::vector<std::vector<uint8_t>> patterns;
    std::vector<float> factors;
    std::vector<int64_t> factor_keys;

    uint64_t factor_offset(const Row &r) {
        const int64_t d = factor_denominator(r);
        ZASSERT(d > 0);
        for (size_t i = 0; i < factor_keys.size(); ++i) {
            if (factor_keys[i] == d) { return 4 * i; }
        }
        factor_keys.push_back(d);
        factors.push_back(nearest_factor(d));
        return 4 * (factor_keys.size() - 1);
    }

    void add(ClusterArray array, uint32_t c, const std::vector<Row> &rows) {
        const bool is16 = c == 16;
        const bool pattern_rows = array == CLUSTER_ARRAY_A || array == CLUSTER_ARRAY_B;
        const uint32_t fields = (array == CLUSTER_ARRAY_A ? 3 : array == CLUSTER_ARRAY_B ? 4 : 5) + (is16 ? 1 : 0);
        std::vector<uint64_t> rec;
        std::vector<uint8_t> bnd;
        std::vector<uint8_t> pat;
        for (const Row &r : rows) {
            const uint32_t b0 = r.b[0], b1 = r.b[1], b2 = r.b[2];
            ZASSERT(b0 <= b1 && b1 <= b2 && b2 <= c);
            // A singular partition (all colours in one cluster) has no solution.
            ZASSERT(!(b0 == 0 && b1 == 0 && (b2 == 0 || b2 == c)) && !(b1 == c && (b0 == 0 || b0 == c)));
            const uint32_t cut[5] = {0, b0, b1, b2, c};
            const uint8_t mask = pattern_rows ? r.pattern : 0x0F;
            const size_t first = rec.size();
            // Clusters in the order 0, 2, 3, 1.
            for (int k = 0; k < 4; ++k) {
                if (!(mask & (1u << k))) {
                    // A pattern row leaves a cluster out only when it is empty.
                    ZASSERT(cut[k] == cut[k + 1]);
                    continue;
                }
                const uint32_t i = cut[k], j = cut[k + 1];
                const bool middle = k == 1 || k == 2;
                rec.push_back(i == j ? (middle ? 16 : 0) : 48ull * cluster_range_entry(c, i, j) + (middle ? 16 : 0));
            }
            const uint32_t cross = is16 ? b2 - b0 : cluster_cross_index(c, b0, b2);
            rec.push_back(cluster_cross_base(c) + 4ull * cross);
            if (is16) { rec.push_back(factor_offset(r)); }
            ZASSERT(rec.size() - first == fields);
            bnd.insert(bnd.end(), {r.b[0], r.b[1], r.b[2]});
            if (pattern_rows) { pat.push_back(r.pattern); }
        }
        // At least four zero triples after the rows, the whole a multiple of 16 bytes.
        bnd.resize((bnd.size() + 12 + 15) / 16 * 16, 0);
        records.push_back(std::move(rec));
        bounds.push_back(std::move(bnd));
        patterns.push_back(std::move(pat));
        ClusterCandidateList &list = tables.lists[array][c];
        list.rows = static_cast<uint32_t>(rows.size());
        list.fields = fields;
    }

    void link() {
        size_t n = 0;
        for (uint32_t array = 0; array < 4; ++array) {
            for (uint32_t c = 2; c <= 16; ++c) {
                ClusterCandidateList &list = tables.lists[array][c];
                if (list.rows == 0) { continue; }
                list.records = records[n].data();
                list.bounds = bounds[n].data();
                list.patterns = patterns[n].empty() ? nullptr : patterns[n].data();
                ++n;
            }
        }
        tables.factors16 = factors.data();
        tables.factor_count = static_cast<uint32_t>(factors.size());
    }
};

Builder *build_tables() {
    static const uint8_t kBPatterns[4] = {CLUSTER_PATTERN_031, CLUSTER_PATTERN_021, CLUSTER_PATTERN_231,
                                          CLUSTER_PATTERN_023};
    Builder *b = new Builder;
    // Array order a, b, c, d: the factor table lists values in their order of first use.
    for (uint32_t c = 5; c <= 16; ++c) { b->add(CLUSTER_ARRAY_A, c, a_rows(c)); }
    for (uint32_t c = 5; c <= 16; ++c) {
        b->add(CLUSTER_ARRAY_B, c, parse_rows(kClusterRowsB[c], kBPatterns, kClusterBBlockRows[c]));
    }
    for (uint32_t c = 2; c <= 16; ++c) {
        const std::vector<Row> rows = parse_rows(kClusterRowsC[c], nullptr, nullptr);
        ZASSERT(rows.size() == kClusterCRows[c]);
        b->add(CLUSTER_ARRAY_C, c, rows);
    }
    for (uint32_t c = 2; c <= 16; ++c) {
        ZASSERT((kClusterRowsD[c] != nullptr) == (kClusterDRows[c] != 0));
        if (kClusterRowsD[c]) {
            const std::vector<Row> rows = parse_rows(kClusterRowsD[c], nullptr, nullptr);
            ZASSERT(rows.size() == kClusterDRows[c]);
            b->add(CLUSTER_ARRAY_D, c, rows);
        }
    }
    b->link();
    return b;
}

}  // namespace

const ClusterCandidateTables &cluster_candidate_tables() {
    static const Builder *const built = build_tables();
    return built->tables;
}
