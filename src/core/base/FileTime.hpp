#pragma once

#include "Time.hpp"

#include <cstdint>
#include <sys/stat.h>

namespace vellumkite {

// A file's content-modification time as an instant, saturating for absurd stamps.
inline Instant modificationTime(const struct stat& st) {
#ifdef __APPLE__
    const timespec& ts = st.st_mtimespec;
#else
    const timespec& ts = st.st_mtim;
#endif
    std::int64_t us;
    if (__builtin_mul_overflow(static_cast<std::int64_t>(ts.tv_sec), std::int64_t{1'000'000},
                               &us) ||
        __builtin_add_overflow(us, static_cast<std::int64_t>(ts.tv_nsec / 1000), &us))
        return ts.tv_sec < 0 ? kDistantPast : kDistantFuture;
    return Instant{std::chrono::microseconds{us}};
}

} // namespace vellumkite
