#include "engine/process_timecode.h"

#include <cmath>
#include <limits>

namespace {

double rate_value(ZRational rate) { return rate.den ? double(rate.num) / double(rate.den) : 0.0; }

uint64_t round_half_away(double v) { return v > 0.0 ? uint64_t(std::floor(v + 0.5)) : 0; }

// a * b + c, false on overflow.
bool mul_add(uint64_t a, uint64_t b, uint64_t c, uint64_t *out) {
    uint64_t p;
    if (__builtin_mul_overflow(a, b, &p)) return false;
    return !__builtin_add_overflow(p, c, out);
}

bool count_label(const TimecodeLabel &l, uint64_t R, uint64_t D, uint64_t *out) {
    uint64_t secs, n;
    if (!mul_add(3600, l.hours, 60ull * l.minutes + l.seconds, &secs)) return false;
    if (!mul_add(secs, R, l.frames, &n)) return false;
    if (D != 0) {
        const uint64_t t = 60ull * l.hours + l.minutes;
        n -= D * (t - t / 10);  // never below 0: a minute holds 60 R > D frames
    }
    *out = n;
    return true;
}

// D when dropping applies at this rate, else 0.
uint64_t effective_drop(ZRational rate, bool drop);

}  // namespace

uint32_t timecode_label_rate(ZRational rate) {
    const uint64_t R = round_half_away(rate_value(rate));
    if (R == 0) return 1;
    return R > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max() : uint32_t(R);
}

uint32_t timecode_drop_count(ZRational rate) {
    const uint64_t D = round_half_away(rate_value(rate) / 15.0);
    return D > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max() : uint32_t(D);
}

namespace {

uint64_t effective_drop(ZRational rate, bool drop) {
    if (!drop) return 0;
    const uint64_t D = timecode_drop_count(rate);
    return D < 60ull * timecode_label_rate(rate) ? D : 0;  // a rate too small to drop anything
}

}  // namespace

uint64_t timecode_day_frames(ZRational rate, bool drop) {
    if (effective_drop(rate, drop) != 0) {
        const uint64_t day = round_half_away(rate_value(rate) * 86400.0);
        if (day != 0) return day;
    }
    return uint64_t(timecode_label_rate(rate)) * 86400;
}

uint64_t timecode_count_label(const TimecodeLabel &label, ZRational rate, bool drop) {
    const uint64_t R = timecode_label_rate(rate), D = effective_drop(rate, drop);
    uint64_t n = 0;
    if (count_label(label, R, D, &n)) return n;
    TimecodeLabel wrapped = label;
    wrapped.hours %= 24;
    if (count_label(wrapped, R, D, &n)) return n;
    return std::numeric_limits<uint64_t>::max();
}

TimecodeLabel timecode_label_of_frame(uint64_t n, ZRational rate, bool drop) {
    const uint64_t R = timecode_label_rate(rate), D = effective_drop(rate, drop);
    n %= timecode_day_frames(rate, drop);
    if (D != 0) {
        const uint64_t B = round_half_away(rate_value(rate) * 600.0);  // frames per ten minutes
        if (B != 0) {
            const uint64_t q = n / B, m = n % B;
            uint64_t add = 9 * D * q;
            if (m > D) add += D * ((m - D) / (60 * R - D));
            n += add;
        }
    }
    const uint64_t s = n / R;
    TimecodeLabel l;
    l.hours = uint32_t(s / 3600);
    l.minutes = uint32_t((s / 60) % 60);
    l.seconds = uint32_t(s % 60);
    l.frames = uint32_t(n % R);
    return l;
}

bool timecode_output_drop_rule(bool drop_frame, ZRational fps) {
    return drop_frame &&
           (timecode_same_rate(fps, ZRational{30000, 1001}) || timecode_same_rate(fps, ZRational{60000, 1001}));
}

bool timecode_same_rate(ZRational a, ZRational b) {
    if (a.den == 0 || b.den == 0) return a.num == b.num && a.den == b.den;
    return uint64_t(a.num) * b.den == uint64_t(b.num) * a.den;
}

OutputTimecode compute_output_timecode(const OutputTimecodeParams &p) {
    OutputTimecode out{false, 0};
    const bool out_drop = timecode_output_drop_rule(p.drop_frame, p.fps);
    uint64_t S = 0;
    bool d = false;
    switch (p.tc_mode) {
    case 1:
    case 2:
        if (p.src_have_tc) {
            S = p.src_tc_start;
            d = p.tc_mode == 1 ? p.src_tc_drop : out_drop;
        } else if (p.src_is_img_seq) {
            S = p.start_frame > 0 ? uint64_t(p.start_frame) : 0;
        } else if (p.tc_mode == 1) {
            return out;
        }
        if (!timecode_same_rate(p.src_fps, p.fps) || d != out_drop)
            S = timecode_count_label(timecode_label_of_frame(S, p.src_fps, d), p.fps, out_drop);
        if (p.in_point > 0 && S != std::numeric_limits<uint64_t>::max()) S += uint64_t(p.in_point);
        break;
    case 3: S = timecode_count_label(p.forced_start, p.fps, out_drop); break;
    default: return out;
    }
    if (S > std::numeric_limits<uint32_t>::max()) S %= timecode_day_frames(p.fps, out_drop);
    if (S > std::numeric_limits<uint32_t>::max()) S %= uint64_t(1) << 32;  // only at absurd rates
    out.have_timecode = true;
    out.start_frame = uint32_t(S);
    return out;
}
