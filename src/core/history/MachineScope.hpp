#pragma once

#include <cstdint>

namespace vellumkite {

// Whose usage a question to the history is about: every machine's, each reply once; this
// machine's own; or one other machine's, as taken in from the file it publishes (all of it,
// also the replies that count under another machine).
struct MachineScope {
    enum class Kind { every, self, other };
    Kind kind = Kind::every;
    std::int64_t machine = 0; // with `other`: its number in the history's machines table

    static MachineScope every() { return {}; }
    static MachineScope self() { return {Kind::self, 0}; }
    static MachineScope other(std::int64_t machine) { return {Kind::other, machine}; }
    bool operator==(const MachineScope&) const = default;
};

} // namespace vellumkite
