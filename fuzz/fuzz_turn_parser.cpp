// Any bytes as one log line: the parser must never crash, what it yields must be sane, and it
// must make the same record as a decoder of the whole document (nothing for a line that is not
// valid JSON).
#include "DomTurnParser.hpp"
#include "TurnParser.hpp"

#include <cstdlib>
#include <simdjson.h>

using namespace vellumkite;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto parsed = TurnParser::parse(line);
    if (!testing::dom_reference::agree(parsed, testing::dom_reference::parse(line)))
        std::abort();
    if (!parsed)
        return 0;
    // Whatever yields something must have passed the byte filter.
    if (!TurnParser::mayYield(line))
        std::abort();
    if (const auto* reply = std::get_if<TurnLine>(&*parsed)) {
        if (reply->turn.tools.size() != reply->toolIds.size() ||
            reply->turn.key.find(':') == std::string::npos)
            std::abort();
        (void)reply->turn.weight();
        (void)reply->turn.chatSize();
    } else {
        const auto& results = std::get<ResultsLine>(*parsed);
        if (results.results.empty())
            std::abort();
        for (const auto& r : results.results)
            if (r.tokens < 0)
                std::abort();
    }
    return 0;
}
