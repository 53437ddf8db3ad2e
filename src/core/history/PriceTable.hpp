#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

struct UsageTotals;

// List prices of the models, in US dollars per million tokens. The table that ships with the
// program is compiled in; an installed copy replaces it and the user's file adds or overrides
// models. A model without a price has no cost: it is never guessed.
class PriceTable {
public:
    struct Price {
        double input = 0, cacheWrite5m = 0, cacheWrite1h = 0, cacheRead = 0, output = 0;
        std::string checked; // the date the prices were checked
        bool operator==(const Price&) const = default;
    };

    // The table as shipped, without any file.
    static PriceTable builtIn();
    // The shipped table, then the installed share/vellumkite/prices.json beside the running
    // program, then the user's <config>/Vellumkite/prices.json. Files that are missing or not
    // valid are passed over; `problems` names the invalid ones.
    static PriceTable standard(std::vector<std::string>* problems = nullptr);

    // Adds or replaces the models of a prices file's text; false (and nothing changed) when the
    // text is not a valid prices file.
    bool merge(std::string_view json);
    bool mergeFile(const std::filesystem::path& file);

    // A model's price: by its exact id, else by its id without a trailing date
    // (claude-haiku-4-5-20251001 is claude-haiku-4-5).
    const Price* find(std::string_view model) const;
    std::size_t size() const { return prices_.size(); }

    // The list-price value of some usage of one model, or nothing without a price.
    std::optional<double> cost(std::string_view model, const UsageTotals& usage) const;

private:
    std::map<std::string, Price, std::less<>> prices_;
};

} // namespace vellumkite
