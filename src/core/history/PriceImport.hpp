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
    // The file's prices as a book of their own; nothing, with `error` saying why, when the text
    // is neither form or a figure in it is wrong (a rate above $1,000 per million tokens
    // included). Families come from `book` where it knows the model or names the family.
    static std::optional<PriceTable> read(std::string_view text, const PriceTable& book,
                                          std::string& error);

    // What importing `imported` would change in `book`: the models and charges whose prices
    // differ, or are new.
    static PriceTable changes(const PriceTable& imported, const PriceTable& book);
};

} // namespace vellumkite
