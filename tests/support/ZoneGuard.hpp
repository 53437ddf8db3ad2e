#pragma once

// Runs a test in another time zone, and puts the process's zone back afterwards.
#include "TempDir.hpp"

#include <ctime>

namespace vellumkite::testing {

class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) : env_("TZ", zone) { ::tzset(); }
    ~ZoneGuard() { ::tzset(); }
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

private:
    ScopedEnv env_;
};

} // namespace vellumkite::testing
