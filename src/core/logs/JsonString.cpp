#include "JsonString.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vellumkite {

namespace {

// The backslashes of 64 bytes as a bit mask (bit i for byte i).
#if defined(__x86_64__)
__attribute__((target("avx2"))) std::uint64_t backslashesAvx2(const char* p) {
    const __m256i bs = _mm256_set1_epi8('\\');
    const auto lo = static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), bs)));
    const auto hi = static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), bs)));
    return std::uint64_t{hi} << 32 | lo;
}
#endif

std::uint64_t backslashesPlain(const char* p) {
#if defined(__x86_64__)
    const __m128i bs = _mm_set1_epi8('\\');
    std::uint64_t m = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        m |= static_cast<std::uint64_t>(
                 static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, bs))))
             << (16 * i);
    }
    return m;
#else
    std::uint64_t m = 0;
    for (int i = 0; i < 64; ++i)
        m |= static_cast<std::uint64_t>(p[i] == '\\') << i;
    return m;
#endif
}

// The characters that a block's backslashes escape: a run of backslashes escapes the character
// after it when the run is odd. `carry` says whether the block's first byte is escaped, and is set
// for the next block.
inline std::uint64_t escapedBy(std::uint64_t backslash, std::uint64_t& carry) {
    backslash &= ~carry; // an escaped backslash starts nothing
    const std::uint64_t followsEscape = backslash << 1 | carry;
    constexpr std::uint64_t even = 0x5555555555555555ULL;
    const std::uint64_t oddStarts = backslash & ~even & ~followsEscape;
    std::uint64_t startsOnEven;
    carry = __builtin_add_overflow(oddStarts, backslash, &startsOnEven) ? 1 : 0;
    return (even ^ (startsOnEven << 1)) & followsEscape;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The four hex digits at `at`, or -1.
long hex4(std::string_view s, std::size_t at) {
    if (at + 4 > s.size())
        return -1;
    long v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const int d = hexValue(s[at + i]);
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

// What a character after a backslash makes of it.
enum Escape : std::uint8_t { kInvalid, kSimple, kUnicode };
constexpr auto kEscapes = [] {
    std::array<Escape, 256> t{};
    for (const unsigned char c : std::string_view("\"\\/bfnrt"))
        t[c] = kSimple;
    t['u'] = kUnicode;
    return t;
}();

// What both counts carry from one 64-byte block to the next, and the steps they share. Every
// escape decodes at least one byte shorter than it is written; a \u escape more, by the UTF-8
// length of its code point.
class Count {
public:
    explicit Count(std::string_view body) : body_(body) {}

    // The characters escaped in the block at `base`, of which `backslash` marks the backslashes;
    // bytes past the end of the body are masked off. Nothing when a backslash escapes the closing
    // quote.
    std::optional<std::uint64_t> escapedIn(std::size_t base, std::uint64_t backslash) {
        const std::size_t left = body_.size() - base;
        if (left < 64)
            backslash &= (std::uint64_t{1} << left) - 1;
        if (backslash == 0 && carry_ == 0)
            return 0;
        std::uint64_t escaped = escapedBy(backslash, carry_);
        if (left < 64) {
            if ((escaped >> left) & 1)
                return std::nullopt;
            escaped &= (std::uint64_t{1} << left) - 1;
        }
        return escaped;
    }

    void addEscapes(std::size_t n) { shorter_ += n; }

    // Adds what the \u escape at `at` (the u) saves beyond the one byte of every escape; false
    // when it is not valid. A surrogate pair is counted whole at its first half.
    bool addUnicode(std::size_t at) {
        if (at < skipUntil_)
            return true;
        const long cp = hex4(body_, at + 1);
        if (cp < 0 || (cp >= 0xdc00 && cp <= 0xdfff))
            return false;
        if (cp >= 0xd800 && cp < 0xdc00) {
            // A high surrogate needs a low one right after it: 12 bytes make 4.
            if (at + 6 >= body_.size() || body_[at + 5] != '\\' || body_[at + 6] != 'u')
                return false;
            const long low = hex4(body_, at + 7);
            if (low < 0xdc00 || low > 0xdfff)
                return false;
            skipUntil_ = at + 7;
            shorter_ += 6;
            return true;
        }
        shorter_ += cp <= 0x7f ? 4 : cp <= 0x7ff ? 3 : 2;
        return true;
    }

    std::optional<std::size_t> size() const {
        // An escape cut off by the end of the body cannot happen in a closed string, but a
        // caller's mistake must not read as a size.
        if (carry_)
            return std::nullopt;
        return body_.size() - shorter_;
    }

private:
    std::string_view body_;
    std::size_t shorter_ = 0;
    std::uint64_t carry_ = 0;
    std::size_t skipUntil_ = 0; // past the low half of a surrogate pair already counted
};

// Tool output has an escape every few dozen bytes: each is looked at on its own.
std::optional<std::size_t> decodedSizePlain(std::string_view body) {
    Count count(body);
    const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
    for (std::size_t base = 0; base < body.size(); base += 64) {
        const auto block = count.escapedIn(base, backslashesPlain(body.data() + base));
        if (!block)
            return std::nullopt;
        for (std::uint64_t escaped = *block; escaped; escaped &= escaped - 1) {
            const std::size_t at = base + static_cast<std::size_t>(__builtin_ctzll(escaped));
            count.addEscapes(1);
            const Escape kind = kEscapes[bytes[at]];
            if (kind == kSimple)
                continue;
            if (kind == kInvalid || !count.addUnicode(at))
                return std::nullopt;
        }
    }
    return count.size();
}

#if defined(__x86_64__)
const bool kHasAvx2 = __builtin_cpu_supports("avx2");

// Of 32 bytes: which may follow a backslash (" \ / b f n r t u), by nibble tables, and which
// are a u.
struct Escapable {
    std::uint32_t allowed, u;
};
__attribute__((target("avx2"))) inline Escapable escapable(const char* p) {
    // Bit per high nibble (2, 5, 6, 7), set in the low nibble's entry for each allowed byte.
    const __m256i highTable = _mm256_setr_epi8(0, 0, 1, 0, 0, 2, 4, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                               1, 0, 0, 2, 4, 8, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i lowTable =
        _mm256_setr_epi8(0, 0, 1 | 4 | 8, 0, 8, 8, 4, 0, 0, 0, 0, 0, 2, 0, 4, 1, 0, 0, 1 | 4 | 8, 0,
                         8, 8, 4, 0, 0, 0, 0, 0, 2, 0, 4, 1);
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i nibble = _mm256_set1_epi8(0x0f);
    const __m256i high =
        _mm256_shuffle_epi8(highTable, _mm256_and_si256(_mm256_srli_epi16(x, 4), nibble));
    const __m256i low = _mm256_shuffle_epi8(lowTable, _mm256_and_si256(x, nibble));
    const __m256i none = _mm256_cmpeq_epi8(_mm256_and_si256(high, low), _mm256_setzero_si256());
    return {~static_cast<std::uint32_t>(_mm256_movemask_epi8(none)),
            static_cast<std::uint32_t>(
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(x, _mm256_set1_epi8('u'))))};
}

// The same count with whole blocks checked at once: only \u escapes are looked at one by one.
__attribute__((target("avx2,popcnt"))) std::optional<std::size_t>
decodedSizeAvx2(std::string_view body) {
    Count count(body);
    for (std::size_t base = 0; base < body.size(); base += 64) {
        const char* p = body.data() + base;
        const auto block = count.escapedIn(base, backslashesAvx2(p));
        if (!block)
            return std::nullopt;
        if (*block == 0)
            continue;
        const std::uint64_t escaped = *block;
        const Escapable lo = escapable(p), hi = escapable(p + 32);
        const std::uint64_t allowed = std::uint64_t{hi.allowed} << 32 | lo.allowed;
        if (escaped & ~allowed)
            return std::nullopt;
        count.addEscapes(static_cast<std::size_t>(__builtin_popcountll(escaped)));
        for (std::uint64_t u = escaped & (std::uint64_t{hi.u} << 32 | lo.u); u; u &= u - 1)
            if (!count.addUnicode(base + static_cast<std::size_t>(__builtin_ctzll(u))))
                return std::nullopt;
    }
    return count.size();
}
#endif

} // namespace

std::optional<std::size_t> JsonString::decodedSize(std::string_view body) {
#if defined(__x86_64__)
    if (kHasAvx2)
        return decodedSizeAvx2(body);
#endif
    return decodedSizePlain(body);
}

} // namespace vellumkite
