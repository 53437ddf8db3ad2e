#pragma once

#include "PriceTable.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace vellumkite {

// Prices a user brings in a file: a price file of ours, or the model-price map that LiteLLM
// publishes (dollars per token, with _above_200k_tokens and 1-hour cache-write variants). Only
// the claude-* models of the first-party API are kept.
struct PriceImport {
    struct Prices {
        PriceTable book;
        bool dated = false; // our own form, with periods; the map has today's prices only
    };
    // The file's prices as a book of their own; nothing, with `error` saying why, when the text
    // is neither form or a figure in it is wrong (a rate above $1,000 per million tokens
    // included). Families come from `book` where it knows the model or names the family.
    static std::optional<Prices> read(std::string_view text, const PriceTable& book,
                                      std::string& error);

    // What importing would change in `book`, as entries to write: a dated entry replaces the
    // model's; today's prices from the map become a period from `today` (a UTC day) of the entry
    // the model has, so that older usage keeps its prices, or a new entry for a new model. Prices
    // the book already has are left out.
    static PriceTable changes(const Prices& imported, const PriceTable& book, std::int64_t today);
};

} // namespace vellumkite
