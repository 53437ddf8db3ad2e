#pragma once

#include "Snapshot.hpp"
#include "Time.hpp"

namespace vellumkite {

// The made-up figures of demo mode and of the screenshots: one pass as a real one could publish
// it, at `now`, with nothing read from disk.
struct DemoData {
    static Snapshot snapshot(Instant now);
};

} // namespace vellumkite
