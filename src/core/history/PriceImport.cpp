#include "PriceImport.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <simdjson.h>

namespace vellumkite {

namespace {

using simdjson::dom::element;
using simdjson::dom::object;

constexpr std::size_t kMaxFileSize = std::size_t{64} << 20; // the whole map is a few MB

// A price per token as ours per million tokens, to the millionth of a dollar: 3e-06 is 3.
double perMillion(double perToken) {
    return std::round(perToken * 1e12) / 1e6;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The book's family for the model, else a family the book knows named as a word of the id
// (claude-opus-6 is an Opus): shown with the changes before anything is written.
std::string familyFor(const std::string& id, const PriceTable& book) {
    if (const auto* m = book.find(id); m && !m->family.empty())
        return m->family;
    const std::string text = lower(id) + "-";
    for (const auto& [other, m] : book.models()) {
        std::string word(1, '-');
        word += lower(m.family);
        word += '-';
        if (!m.family.empty() && text.find(word) != std::string::npos)
            return m.family;
    }
    return {};
}

// Reads the figures of one entry of the map; the first thing wrong goes to `error`.
struct Entry {
    const std::string& id;
    object o;
    std::string& error;

    std::optional<double> rate(std::string_view key) {
        element v;
        if (!error.empty() || o[key].get(v))
            return std::nullopt;
        double d = 0;
        if (v.get_double().get(d) || !(d >= 0)) {
            error = id + ": " + std::string(key) + " is not a price";
            return std::nullopt;
        }
        const double r = perMillion(d);
        if (r > PriceTable::kMaxRate) {
            error = id + ": " + std::string(key) + " is $" + PriceTable::numberText(r) +
                    " per million tokens, above $1,000";
            return std::nullopt;
        }
        return r;
    }

    PriceTable::Rates rates(std::string_view suffix) {
        const auto key = [&](const char* base) { return std::string(base) + std::string(suffix); };
        return {rate(key("input_cost_per_token")), rate(key("cache_creation_input_token_cost")),
                rate(key("cache_creation_input_token_cost_above_1hr")),
                rate(key("cache_read_input_token_cost")), rate(key("output_cost_per_token"))};
    }
};

std::optional<PriceTable> readMap(object root, const PriceTable& book, std::string& error) {
    PriceTable out;
    std::optional<double> searchFee;
    bool feesAgree = true;
    for (auto [key, value] : root) {
        const std::string id(key);
        object o;
        std::string_view provider, mode;
        if (!id.starts_with("claude-") || value.get_object().get(o))
            continue;
        // Resellers' entries carry their own prices; only the first-party API's are ours.
        if ((!o["litellm_provider"].get_string().get(provider) && provider != "anthropic") ||
            (!o["mode"].get_string().get(mode) && mode != "chat"))
            continue;
        Entry e{id, o, error};
        PriceTable::Model m;
        m.origin = PriceTable::Origin::user;
        m.family = familyFor(id, book);
        PriceTable::Period period;
        period.rates = e.rates("");
        if (error.empty() && (!period.rates.input || !period.rates.output))
            error = id + " has no input_cost_per_token or output_cost_per_token";
        const auto above = e.rates("_above_200k_tokens");
        if (above != PriceTable::Rates{}) {
            m.threshold = 200'000;
            period.above = above;
        }
        double fast = 0;
        if (!o.at_pointer("/provider_specific_entry/fast").get_double().get(fast)) {
            if (!(fast >= 1 && fast <= 100) && error.empty())
                error = id + ": the fast-mode multiplier is not between 1 and 100";
            m.fast = fast;
        }
        double fee = 0;
        if (!o.at_pointer("/search_context_cost_per_query/search_context_size_medium")
                 .get_double()
                 .get(fee)) {
            const double perThousand = std::round(fee * 1e9) / 1e6;
            feesAgree = feesAgree && (!searchFee || *searchFee == perThousand);
            searchFee = perThousand;
        }
        if (!error.empty())
            return std::nullopt;
        m.periods.push_back(period);
        out.set(id, std::move(m));
    }
    if (out.size() == 0) {
        error = "there are no claude-* prices in it";
        return std::nullopt;
    }
    if (searchFee && feesAgree && *searchFee <= PriceTable::kMaxRate)
        out.setWebSearch(PriceTable::Charge{*searchFee, {}, {}, PriceTable::Origin::user});
    return out;
}

} // namespace

std::optional<PriceImport::Prices> PriceImport::read(std::string_view text, const PriceTable& book,
                                                     std::string& error) {
    if (text.size() > kMaxFileSize) {
        error = "it is larger than 64 MiB";
        return std::nullopt;
    }
    simdjson::dom::parser parser;
    object root;
    if (const auto e = parser.parse(text.data(), text.size()).get(root); e) {
        error = e == simdjson::INCORRECT_TYPE
                    ? "it is not a JSON object"
                    : std::string("it is not JSON (") + simdjson::error_message(e) + ")";
        return std::nullopt;
    }
    element models;
    if (root["models"].get(models)) {
        auto map = readMap(root, book, error);
        if (!map)
            return std::nullopt;
        return Prices{std::move(*map), false};
    }
    PriceTable ours;
    if (!ours.merge(text, PriceTable::Origin::user, &error))
        return std::nullopt;
    Prices out{{}, true};
    for (const auto& [id, m] : ours.models())
        if (id.starts_with("claude-"))
            out.book.set(id, m);
    out.book.setUsOnly(ours.usOnly());
    out.book.setWebSearch(ours.webSearch());
    if (out.book.size() == 0 && !out.book.usOnly() && !out.book.webSearch()) {
        error = "there are no claude-* prices in it";
        return std::nullopt;
    }
    return out;
}

PriceTable PriceImport::changes(const Prices& imported, const PriceTable& book,
                                std::int64_t today) {
    PriceTable out;
    for (const auto& [id, m] : imported.book.models()) {
        const PriceTable::Model* known = book.find(id);
        if (imported.dated || !known) {
            const auto it = book.models().find(id);
            if (it == book.models().end() || !it->second.samePrices(m) ||
                (!m.family.empty() && m.family != it->second.family))
                out.set(id, m);
            continue;
        }
        // The map's prices against those in force today.
        const PriceTable::Period& now = m.periods.back();
        const PriceTable::Period* current = &known->periods.front();
        for (const auto& p : known->periods)
            if (!p.from || *p.from <= today)
                current = &p;
        const bool band = !m.threshold || m.threshold == known->threshold;
        if (current->rates == now.rates && (!now.above || now.above == current->above) && band &&
            (!m.fast || m.fast == known->fast))
            continue;
        PriceTable::Model next = *known;
        next.origin = m.origin;
        next.note.clear();
        // Today's prices stand from today; a period the book dates after it gives way.
        auto& periods = next.periods;
        while (periods.size() > 1 && periods.back().from && *periods.back().from >= today)
            periods.pop_back();
        const auto from = periods.back().from;
        if (!from || *from < today)
            periods.emplace_back();
        periods.back() = {from && *from >= today ? from : std::optional(today), now.rates,
                          now.above ? now.above : current->above};
        if (m.threshold)
            next.threshold = m.threshold;
        if (m.fast)
            next.fast = m.fast;
        out.set(id, std::move(next));
    }
    const auto differs = [](const auto& mine, const auto& theirs) {
        return mine && (!theirs || theirs->value != mine->value);
    };
    if (differs(imported.book.usOnly(), book.usOnly()))
        out.setUsOnly(imported.book.usOnly());
    if (differs(imported.book.webSearch(), book.webSearch()))
        out.setWebSearch(imported.book.webSearch());
    return out;
}

} // namespace vellumkite
