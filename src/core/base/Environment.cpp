#include "Environment.hpp"

#include <cstring>

extern char** environ;

namespace vellumkite {

Environment Environment::process() {
    Environment env;
    for (char** e = environ; e && *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        if (!eq)
            continue;
        env.vars_.emplace(std::string(*e, static_cast<std::size_t>(eq - *e)), std::string(eq + 1));
    }
    return env;
}

std::optional<std::string> Environment::get(std::string_view name) const {
    const auto it = vars_.find(name);
    if (it == vars_.end())
        return std::nullopt;
    return it->second;
}

} // namespace vellumkite
