#pragma once

// Runs a test in another time zone, and puts the process's zone back afterwards.
#include "TempDir.hpp"

#include <ctime>
#include <optional>

namespace vellumkite::testing {

class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) : env_(std::in_place, "TZ", zone) { ::tzset(); }
    // TZ put back first: the zone is read again only when tzset() is called.
    ~ZoneGuard() {
        env_.reset();
        ::tzset();
    }
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

private:
    std::optional<ScopedEnv> env_;
};

} // namespace vellumkite::testing
