#include "platform/foundation/unicode_edit.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace {

// One code point of the text and the bytes it came from.
struct CodePoint {
    UChar32 c;
    size_t begin, end;
};

std::vector<CodePoint> decode(std::string_view s) {
    std::vector<CodePoint> out;
    const auto *p = reinterpret_cast<const uint8_t *>(s.data());
    const int32_t n = int32_t(s.size());
    for (int32_t i = 0; i < n;) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(p, i, n, c);
        out.push_back({c < 0 ? 0xFFFD : c, size_t(start), size_t(i)});
    }
    return out;
}

// A unit of the search form and the code point of the text it came from.
struct Unit {
    UChar32 c;
    size_t origin;
};

// The search form of one code point: NFD, and with `fold` case folded and decomposed again.
void append_search_form(UChar32 c, size_t origin, bool fold, const icu::Normalizer2 *nfd, std::vector<Unit> *out) {
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString u(c);
    if (nfd) u = nfd->normalize(u, status);
    if (fold) {
        u.foldCase(U_FOLD_CASE_DEFAULT);
        status = U_ZERO_ERROR;
        if (nfd) u = nfd->normalize(u, status);
    }
    if (U_FAILURE(status)) u = icu::UnicodeString(c);
    for (int32_t i = 0; i < u.length();) {
        const UChar32 d = u.char32At(i);
        out->push_back({d, origin});
        i += U16_LENGTH(d);
    }
}

// Canonical order: runs of combining marks sorted by combining class, stably.
void canonical_order(std::vector<Unit> *units) {
    auto &v = *units;
    for (size_t i = 0; i < v.size();) {
        if (u_getCombiningClass(v[i].c) == 0) {
            i++;
            continue;
        }
        size_t j = i;
        while (j < v.size() && u_getCombiningClass(v[j].c) != 0) j++;
        std::stable_sort(v.begin() + ptrdiff_t(i), v.begin() + ptrdiff_t(j), [](const Unit &a, const Unit &b) {
            return u_getCombiningClass(a.c) < u_getCombiningClass(b.c);
        });
        i = j;
    }
}

std::vector<Unit> search_form(const std::vector<CodePoint> &cps, bool fold, const icu::Normalizer2 *nfd) {
    std::vector<Unit> units;
    units.reserve(cps.size());
    for (size_t i = 0; i < cps.size(); i++) append_search_form(cps[i].c, i, fold, nfd, &units);
    canonical_order(&units);
    return units;
}

}  // namespace

std::string unicode_to_upper(std::string_view text) {
    if (text.size() > size_t(INT32_MAX)) return std::string(text);
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
    u.toUpper(icu::Locale::getRoot());
    std::string out;
    u.toUTF8String(out);
    return out;
}

size_t unicode_trailing_digits_start(std::string_view text) {
    if (text.size() > size_t(INT32_MAX)) return text.size();
    const std::vector<CodePoint> cps = decode(text);
    size_t start = text.size();
    for (size_t i = cps.size(); i > 0 && u_charType(cps[i - 1].c) == U_DECIMAL_DIGIT_NUMBER; i--)
        start = cps[i - 1].begin;
    return start;
}

std::string unicode_replace_all(std::string_view text, std::string_view find, std::string_view replacement,
                                bool ignore_case) {
    if (find.empty() || text.empty() || text.size() > size_t(INT32_MAX) || find.size() > size_t(INT32_MAX))
        return std::string(text);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) nfd = nullptr;

    const std::vector<CodePoint> cps = decode(text);
    const std::vector<Unit> hay = search_form(cps, ignore_case, nfd);
    std::vector<Unit> needle = search_form(decode(find), ignore_case, nfd);
    if (needle.empty()) return std::string(text);

    // Units per code point of the text: a match must hold every unit of the code points it
    // touches, and nothing else.
    std::vector<size_t> unit_count(cps.size(), 0);
    for (const Unit &u : hay) unit_count[u.origin]++;

    std::string out;
    size_t copied = 0;  // bytes of the text already handled
    const size_t m = needle.size();
    for (size_t k = 0; k + m <= hay.size();) {
        bool same = true;
        for (size_t j = 0; j < m && same; j++) same = hay[k + j].c == needle[j].c;
        size_t lo = SIZE_MAX, hi = 0;
        if (same) {
            for (size_t j = 0; j < m; j++) lo = std::min(lo, hay[k + j].origin), hi = std::max(hi, hay[k + j].origin);
            size_t expected = 0;
            for (size_t o = lo; o <= hi; o++) expected += unit_count[o];
            // Earlier matches are left behind: a match never reaches back into replaced text.
            same = expected == m && cps[lo].begin >= copied;
        }
        if (!same) {
            k++;
            continue;
        }
        out.append(text.substr(copied, cps[lo].begin - copied));
        out.append(replacement);
        copied = cps[hi].end;
        k += m;
    }
    out.append(text.substr(copied));
    return out;
}
