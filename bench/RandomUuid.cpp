#include "RandomUuid.hpp"

#include <cstdint>
#include <cstdio>

namespace vellumkite::bench {

std::string randomUuid(std::mt19937_64& rng) {
    char buf[40];
    const std::uint64_t a = rng(), b = rng();
    std::snprintf(buf, sizeof buf, "%08x-%04x-4%03x-a%03x-%012llx", static_cast<unsigned>(a),
                  static_cast<unsigned>(a >> 32) & 0xffff, static_cast<unsigned>(a >> 48) & 0xfff,
                  static_cast<unsigned>(b) & 0xfff,
                  static_cast<unsigned long long>(b >> 16) & 0xffffffffffffULL);
    return buf;
}

} // namespace vellumkite::bench
