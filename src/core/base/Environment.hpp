#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vellumkite {

// A snapshot of environment variables, so that tests pass their own.
class Environment {
public:
    Environment() = default;
    explicit Environment(std::map<std::string, std::string, std::less<>> vars)
        : vars_(std::move(vars)) {}

    // The variables of this process, read now.
    static Environment process();

    std::optional<std::string> get(std::string_view name) const;
    bool has(std::string_view name) const { return vars_.find(name) != vars_.end(); }
    void set(std::string name, std::string value) { vars_[std::move(name)] = std::move(value); }

private:
    std::map<std::string, std::string, std::less<>> vars_;
};

} // namespace vellumkite
