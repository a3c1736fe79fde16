#include "platform/foundation/unicode_text.h"

#include <unicode/coll.h>
#include <unicode/unistr.h>

#include <memory>
#include <mutex>

namespace {

icu::UnicodeString from_utf8(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), int32_t(s.size())));
}

// One collator for the process; ICU collators are not thread-safe for compare calls made
// through a shared instance, so each call takes the lock.
struct SharedCollator {
    std::mutex lock;
    std::unique_ptr<icu::Collator> coll;
    SharedCollator() {
        UErrorCode status = U_ZERO_ERROR;
        coll.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) coll.reset();
        if (coll) coll->setStrength(icu::Collator::SECONDARY);
    }
};

SharedCollator &shared_collator() {
    static SharedCollator c;
    return c;
}

}  // namespace

int unicode_compare_case_insensitive(std::string_view a, std::string_view b) {
    const icu::UnicodeString ua = from_utf8(a), ub = from_utf8(b);
    SharedCollator &c = shared_collator();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.coll) {
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult r = c.coll->compare(ua, ub, status);
        if (U_SUCCESS(status)) return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
    }
    // Without collation data: case-folded code point order.
    return ua.caseCompare(ub, U_FOLD_CASE_DEFAULT);
}

bool unicode_contains(std::string_view text, std::string_view needle, bool ignore_case) {
    if (needle.empty()) return true;
    if (!ignore_case) return text.find(needle) != std::string_view::npos;
    icu::UnicodeString ut = from_utf8(text), un = from_utf8(needle);
    ut.foldCase();
    un.foldCase();
    return ut.indexOf(un) >= 0;
}
