#pragma once

// A usage store over a temporary log folder, which reads the time from `now`: each test moves
// the clock as it needs.
#include "RefreshPass.hpp"
#include "TempDir.hpp"
#include "Timestamp.hpp"
#include "UsageStore.hpp"

#include <gtest/gtest.h>

namespace vellumkite::testing {

class StoreFixture : public ::testing::Test {
public:
    static Instant at(const char* text) { return *Timestamp::parse(text); }

protected:
    TempDir dir;
    std::filesystem::path logs = dir / "projects";
    Instant now = at("2025-03-01T12:00:00.000Z");
    UsageStore store{logs, RefreshPass::kLookbackSeconds, [this] { return now; }};
};

} // namespace vellumkite::testing
