#pragma once

// Runs a test in another time zone, and puts the process's zone back afterwards.
#include "TempDir.hpp"

#include <ctime>
#include <optional>

namespace vellumkite::testing {

class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) : env_(std::in_place, "TZ", zone) { ::tzset(); }
    // The zone is read again once TZ is back as it was, not before.
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
