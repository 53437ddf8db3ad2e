// Any bytes as a price file, in our form or as a LiteLLM map. Whatever the text, reading never
// crashes; a book that takes it has no rate above the limit, writes itself out as a file that
// reads back as the same prices, and prices any usage with a finite cost.
#include "PriceImport.hpp"
#include "PriceTable.hpp"
#include "UsageTotals.hpp"

#include <cmath>
#include <cstdlib>
#include <string>

using namespace vellumkite;

namespace {

void check(const PriceTable& book) {
    for (const auto& [id, m] : book.models())
        for (const auto& p : m.periods)
            for (const auto* r : {&p.rates, p.above ? &*p.above : &p.rates})
                for (const auto& rate :
                     {r->input, r->cacheWrite5m, r->cacheWrite1h, r->cacheRead, r->output})
                    if (rate && !(*rate >= 0 && *rate <= PriceTable::kMaxRate))
                        std::abort();
    PriceTable again;
    if (!again.merge(book.toJson()) || again.size() != book.size())
        std::abort();
    UsageTotals u;
    u.input = u.output = u.cacheWrite = u.cacheRead = u.replies = u.webSearches = 1'000'000;
    u.cacheWrite1h = 500'000;
    for (const auto& [id, m] : book.models()) {
        if (!again.find(id) || !again.find(id)->samePrices(m))
            std::abort();
        const auto cost = book.cost(id, UsageClass{20'000, true, true, 0, 1000}, u);
        if (!std::isfinite(cost.priced) || cost.priced < 0)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    PriceTable book;
    std::string error;
    if (book.merge(text, PriceTable::Origin::user, &error))
        check(book);
    else if (error.empty())
        std::abort(); // a refusal always says why
    error.clear();
    static const PriceTable shipped = PriceTable::builtIn();
    const auto imported = PriceImport::read(text, shipped, error);
    if (imported)
        check(imported->book);
    else if (error.empty())
        std::abort();
    return 0;
}
