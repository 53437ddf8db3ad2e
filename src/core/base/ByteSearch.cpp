#include "ByteSearch.hpp"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vellumkite {

#if defined(__x86_64__)
namespace {

// The same filter 32 bytes at a time where the processor has AVX2.
__attribute__((target("avx2"))) std::size_t scanAvx2(const char* hay, std::size_t n,
                                                     std::string_view needle, std::size_t a,
                                                     std::size_t b, const char** found) {
    const std::size_t k = needle.size();
    const __m256i first = _mm256_set1_epi8(needle[a]);
    const __m256i second = _mm256_set1_epi8(needle[b]);
    std::size_t i = 0;
    for (; i + 32 + k - 1 <= n; i += 32) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i + a));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i + b));
        auto mask = static_cast<unsigned>(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(x, first), _mm256_cmpeq_epi8(y, second))));
        while (mask) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (std::memcmp(hay + i + bit, needle.data(), k) == 0) {
                *found = hay + i + bit;
                return i;
            }
            mask &= mask - 1;
        }
    }
    return i;
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");

} // namespace
#endif

const char* ByteSearch::find(std::string_view haystack) const {
    const char* hay = haystack.data();
    const std::size_t n = haystack.size();
    const std::size_t k = needle_.size();
    if (k == 0)
        return hay;
    if (n < k)
        return nullptr;
    std::size_t i = 0;
#if defined(__x86_64__)
    if (kHasAvx2) {
        const char* found = nullptr;
        i = scanAvx2(hay, n, needle_, a_, b_, &found);
        if (found)
            return found;
    }
    const __m128i first = _mm_set1_epi8(needle_[a_]);
    const __m128i second = _mm_set1_epi8(needle_[b_]);
    // Each step tests 16 candidate starts; loads stay inside the haystack.
    for (; i + 16 + k - 1 <= n; i += 16) { // SSE2 is always there on x86-64
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + a_));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + b_));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x, first), _mm_cmpeq_epi8(y, second))));
        while (mask) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (std::memcmp(hay + i + bit, needle_.data(), k) == 0)
                return hay + i + bit;
            mask &= mask - 1;
        }
    }
#endif
    return static_cast<const char*>(memmem(hay + i, n - i, needle_.data(), k));
}

} // namespace vellumkite
