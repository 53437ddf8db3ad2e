#include "Preferences.hpp"

#include "CNumber.hpp"

namespace vellumkite {

double PrefValue::toDouble() const {
    if (const auto* d = std::get_if<double>(&value))
        return *d;
    if (const auto* b = std::get_if<bool>(&value))
        return *b ? 1 : 0;
    if (const auto* s = std::get_if<std::string>(&value))
        return CNumber::parseLeading(*s);
    return 0;
}

PrefValue MapPreferences::lookup(std::string_view key) const {
    const auto it = values_.find(key);
    if (it == values_.end())
        return {};
    return it->second;
}

} // namespace vellumkite
