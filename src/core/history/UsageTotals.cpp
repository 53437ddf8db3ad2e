#include "UsageTotals.hpp"

#include "Saturating.hpp"
#include "Turn.hpp"

namespace vellumkite {

std::int64_t UsageTotals::totalTokens() const {
    return saturatingAdd(saturatingAdd(saturatingAdd(input, output), cacheWrite), cacheRead);
}

double UsageTotals::weight() const {
    Turn t;
    t.input = input;
    t.output = output;
    t.cacheWrite = cacheWrite;
    t.cacheRead = cacheRead;
    return t.weight();
}

UsageTotals& UsageTotals::operator+=(const UsageTotals& o) {
    input = saturatingAdd(input, o.input);
    output = saturatingAdd(output, o.output);
    cacheWrite = saturatingAdd(cacheWrite, o.cacheWrite);
    cacheWrite1h = saturatingAdd(cacheWrite1h, o.cacheWrite1h);
    cacheRead = saturatingAdd(cacheRead, o.cacheRead);
    replies = saturatingAdd(replies, o.replies);
    webSearches = saturatingAdd(webSearches, o.webSearches);
    fastReplies = saturatingAdd(fastReplies, o.fastReplies);
    return *this;
}

} // namespace vellumkite
