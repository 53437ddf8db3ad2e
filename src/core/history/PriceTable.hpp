#pragma once

#include "UsageClass.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

class JsonWriter;
struct UsageTotals;

// The price book: published list prices of the models in US dollars per million tokens, each
// model with its family, its rate periods (from a UTC day on), an optional prompt band and
// fast-mode multiplier, and where the figures were read; besides, the multiplier for US-only
// inference and the fee per web search. The book that ships with the program is compiled in; an
// installed copy and then the user's file add or replace whole models. A rate the book does not
// know is left out, never guessed: usage that needs it has no cost.
class PriceTable {
public:
    // Dollars per million tokens; nothing where the rate is not known.
    struct Rates {
        std::optional<double> input, cacheWrite5m, cacheWrite1h, cacheRead, output;
        bool operator==(const Rates&) const = default;
    };
    struct Period {
        std::optional<std::int64_t> from; // the first UTC day (days since 1970); none: always
        Rates rates;
        std::optional<Rates> above; // for a prompt above the model's threshold
        bool operator==(const Period&) const = default;
    };
    enum class Origin { builtIn, installed, user };
    struct Model {
        std::string family;          // "Opus", "Sonnet", ...; empty when the book does not say
        std::vector<Period> periods; // by their first day, the undated one first
        std::optional<std::int64_t> threshold; // the prompt band's, in tokens
        std::optional<double> fast;            // the fast-mode multiplier of all five rates
        std::vector<std::string> sources;      // the published pages
        std::string checked;                   // the day they were read, YYYY-MM-DD
        std::string note;
        Origin origin = Origin::builtIn;
        // The same prices, wherever they came from and whatever the notes say.
        bool samePrices(const Model& o) const;
    };
    // The US-only multiplier and the dollars per 1,000 web searches.
    struct Charge {
        double value = 0;
        std::vector<std::string> sources;
        std::string checked;
        Origin origin = Origin::builtIn;
    };

    // The highest rate taken, in dollars per million tokens: a larger one is a mistake (a price
    // per token written per million, or the other way round).
    static constexpr double kMaxRate = 1000;

    // The book as shipped, without any file.
    static PriceTable builtIn();
    // The shipped book, then the installed share/vellumkite/prices.json beside the running
    // program, then the user's file. A file that is missing is passed over; one that cannot be
    // taken (not a regular file, too large, not a valid price file) is passed over too, and
    // `problems` gets a line naming it and saying why.
    static PriceTable standard(std::vector<std::string>* problems = nullptr);
    // The files standard() reads after the built-in book, in its order, with their origins.
    static std::vector<std::pair<std::filesystem::path, Origin>> files();
    // <config>/Vellumkite/prices.json: the user's own, which `prices import` writes.
    static std::filesystem::path userFile();
    static std::string_view nameOf(Origin origin); // "built in", "installed", "user file"

    // Adds or replaces what a price file's text names; false (and nothing changed) when the
    // text is not a valid price file, with `error` saying why.
    bool merge(std::string_view json, Origin origin = Origin::user, std::string* error = nullptr);
    bool mergeFile(const std::filesystem::path& file, Origin origin = Origin::user,
                   std::string* error = nullptr);
    void set(std::string id, Model model);
    void setUsOnly(std::optional<Charge> charge) { usOnly_ = std::move(charge); }
    void setWebSearch(std::optional<Charge> charge) { webSearch_ = std::move(charge); }

    // A model's entry: by its exact id, else without a trailing "[1m]", else by the longest id
    // in the book that it starts with followed by "-" and a date (claude-opus-4-5-20251101 is
    // claude-opus-4-5). Nothing for any other id: claude-opus-4-9 is not claude-opus-4.
    const Model* find(std::string_view model) const;
    // The id a report shows: without "[1m]", which names the context window, not the model.
    static std::string_view reportId(std::string_view model);
    std::string_view family(std::string_view model) const;

    const std::map<std::string, Model, std::less<>>& models() const { return models_; }
    std::size_t size() const { return models_.size(); }
    const std::optional<Charge>& usOnly() const { return usOnly_; }
    const std::optional<Charge>& webSearch() const { return webSearch_; }
    // The newest day on which any of its figures was checked; empty when none says.
    std::string checked() const;
    // Every model's band threshold, ascending, once each.
    std::vector<std::int64_t> thresholds() const;

    struct Cost {
        double priced = 0;                 // dollars, of the parts with a price
        bool complete = true;              // every part had one
        std::int64_t fastUnpriced = 0;     // fast replies at standard rates: no multiplier known
        std::int64_t searchesUnpriced = 0; // web searches left out: the book has no fee for them
        std::optional<double> total() const;
        Cost& operator+=(const Cost& o);
    };
    // The list-price value of one class of usage of one model.
    Cost cost(std::string_view model, const UsageClass& usageClass, const UsageTotals& usage) const;

    // The book as a price file: one model a line.
    std::string toJson() const;
    // A model's members as a price file has them, into an open object.
    static void writeModel(JsonWriter& j, const Model& model);
    static std::string dayText(std::int64_t day);
    // "1,500", "12.5", "0.125": a figure of the book in a message.
    static std::string numberText(double x);

private:
    std::map<std::string, Model, std::less<>> models_;
    std::optional<Charge> usOnly_, webSearch_;
};

} // namespace vellumkite
