#pragma once

// The parser as it was when it decoded whole lines into a document tree: a reference that the
// reading parser must agree with, line for line, in the tests and the fuzz target.
#include "Saturating.hpp"
#include "Timestamp.hpp"
#include "TurnParser.hpp"

#include <algorithm>
#include <simdjson.h>

namespace vellumkite::testing::dom_reference {

using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::element_type;
using simdjson::dom::object;

// A member that is present with the wrong JSON type counts as absent.
inline std::optional<std::string_view> stringMember(const object& obj, std::string_view key) {
    std::string_view s;
    if (obj.at_key(key).get_string().get(s) != simdjson::SUCCESS)
        return std::nullopt;
    return s;
}

inline std::string stringOr(const object& obj, std::string_view key, std::string_view fallback) {
    return std::string(stringMember(obj, key).value_or(fallback));
}

inline std::optional<object> objectMember(const object& obj, std::string_view key) {
    object o;
    if (obj.at_key(key).get_object().get(o) != simdjson::SUCCESS)
        return std::nullopt;
    return o;
}

// Integers, and numbers with an exact integral value inside the 64-bit range, count; all else 0.
inline std::int64_t countMember(const object& obj, std::string_view key) {
    element e;
    if (obj.at_key(key).get(e) != simdjson::SUCCESS)
        return 0;
    switch (e.type()) {
    case element_type::INT64:
        return e.get_int64().value_unsafe();
    case element_type::UINT64:
        return 0; // beyond the signed range
    case element_type::DOUBLE: {
        const double d = e.get_double().value_unsafe();
        if (d >= -9223372036854775808.0 && d < 9223372036854775808.0 &&
            d == static_cast<double>(static_cast<std::int64_t>(d)))
            return static_cast<std::int64_t>(d);
        return 0;
    }
    default:
        return 0;
    }
}

// Calls f for each object in the message's "content" array whose "type" is the given text; a
// content that is absent or not an array counts as empty.
template <typename F> inline void forEachItem(const object& message, std::string_view type, F&& f) {
    array content;
    if (message.at_key("content").get_array().get(content) != simdjson::SUCCESS)
        return;
    for (element item : content) {
        object o;
        if (item.get_object().get(o) == simdjson::SUCCESS && stringMember(o, "type") == type)
            f(o);
    }
}

inline std::int64_t textTokens(std::string_view decoded) {
    return static_cast<std::int64_t>(decoded.size() / 4);
}

// The estimated tokens of one tool result's "content": a text, or parts of text and images.
inline std::int64_t resultTokens(const object& item) {
    element content;
    if (item.at_key("content").get(content) != simdjson::SUCCESS)
        return 0;
    std::string_view text;
    if (content.get_string().get(text) == simdjson::SUCCESS)
        return textTokens(text);
    array parts;
    if (content.get_array().get(parts) != simdjson::SUCCESS)
        return 0;
    std::int64_t sum = 0;
    for (element part : parts) {
        object p;
        if (part.get_object().get(p) != simdjson::SUCCESS)
            continue;
        const auto type = stringMember(p, "type");
        if (!type)
            continue;
        if (*type == "text") {
            if (const auto t = stringMember(p, "text"))
                sum = saturatingAdd(sum, textTokens(*t));
        } else if (*type == "image") {
            sum = saturatingAdd(sum, 1600);
        }
    }
    return sum;
}

inline std::string keyWithoutMessageId(const object& root, const Turn& turn,
                                       std::string_view stamp) {
    if (const auto request = stringMember(root, "requestId"); request && !request->empty())
        return "-:" + std::string(*request);
    std::string key = "-:" + turn.sessionId.str() + '@' + std::string(stamp);
    for (const std::int64_t n : {turn.input, turn.cacheRead, turn.cacheWrite, turn.output}) {
        key += '/';
        key += std::to_string(n);
    }
    return key;
}

inline std::optional<ParsedLine> parseResults(const object& message, std::string sessionId,
                                              Instant time) {
    ResultsLine out;
    forEachItem(message, "tool_result", [&](const object& o) {
        if (const auto toolId = stringMember(o, "tool_use_id"))
            out.results.push_back({std::string(*toolId), resultTokens(o)});
    });
    if (out.results.empty())
        return std::nullopt;
    out.sessionId = std::move(sessionId);
    out.time = time;
    return ParsedLine{std::move(out)};
}

inline std::optional<ParsedLine> parseReply(const object& root, const object& message,
                                            std::string sessionId, Instant time,
                                            std::string_view stamp) {
    const auto usage = objectMember(message, "usage");
    if (!usage)
        return std::nullopt;
    const auto model = stringMember(message, "model").value_or("?");
    if (model == "<synthetic>")
        return std::nullopt;

    TurnLine out;
    Turn& turn = out.turn;
    forEachItem(message, "tool_use", [&](const object& o) {
        const auto id = stringMember(o, "id");
        const auto name = stringMember(o, "name");
        if (!id || !name)
            return;
        out.toolIds.push_back({std::string(*id), std::string(*name)});
        turn.tools.emplace_back(*name);
    });

    turn.sessionId = std::move(sessionId);
    turn.project = stringOr(root, "cwd", "?");
    turn.time = time;
    turn.model = std::string(model);
    turn.entrypoint = stringOr(root, "entrypoint", "?");
    turn.input = countMember(*usage, "input_tokens");
    turn.cacheRead = countMember(*usage, "cache_read_input_tokens");
    turn.cacheWrite = countMember(*usage, "cache_creation_input_tokens");
    turn.output = countMember(*usage, "output_tokens");
    if (const auto split = objectMember(*usage, "cache_creation")) {
        const std::int64_t parts = saturatingAdd(
            std::max<std::int64_t>(countMember(*split, "ephemeral_5m_input_tokens"), 0),
            std::max<std::int64_t>(countMember(*split, "ephemeral_1h_input_tokens"), 0));
        turn.cacheWrite = std::max(turn.cacheWrite, parts);
        turn.cacheWrite1h =
            std::clamp<std::int64_t>(countMember(*split, "ephemeral_1h_input_tokens"), 0,
                                     std::max<std::int64_t>(turn.cacheWrite, 0));
    }
    if (const auto server = objectMember(*usage, "server_tool_use"))
        turn.webSearches = std::max<std::int64_t>(countMember(*server, "web_search_requests"), 0);
    turn.fast = stringMember(*usage, "speed") == "fast";
    turn.usOnly = stringMember(*usage, "inference_geo") == "us";
    if (const auto messageId = stringMember(message, "id")) {
        turn.key = std::string(*messageId);
        turn.key += ':';
        turn.key += stringMember(root, "requestId").value_or("");
    } else {
        turn.key = keyWithoutMessageId(root, turn, stamp);
    }
    return ParsedLine{std::move(out)};
}

inline std::optional<ParsedLine> parse(std::string_view line) {
    if (line.size() > TurnParser::kMaxLineLength || !TurnParser::mayYield(line))
        return std::nullopt;
    thread_local simdjson::dom::parser parser(TurnParser::kMaxLineLength);
    const simdjson::padded_string padded(line);
    line = std::string_view(padded.data(), line.size());
    element doc;
    if (parser.parse(line.data(), line.size(), false).get(doc) != simdjson::SUCCESS)
        return std::nullopt;
    object root;
    if (doc.get_object().get(root) != simdjson::SUCCESS || root.size() == 0)
        return std::nullopt;

    const auto stamp = stringMember(root, "timestamp");
    if (!stamp)
        return std::nullopt;
    const auto time = Timestamp::parse(*stamp);
    if (!time)
        return std::nullopt;
    const auto message = objectMember(root, "message");
    if (!message)
        return std::nullopt;
    std::string sessionId = stringOr(root, "sessionId", "?");

    const auto type = stringMember(root, "type");
    if (type == "user")
        return parseResults(*message, std::move(sessionId), *time);
    if (type == "assistant")
        return parseReply(root, *message, std::move(sessionId), *time, *stamp);
    return std::nullopt;
}

// Whether two parsers made the same record of a line (or both none).
inline bool agree(const std::optional<ParsedLine>& a, const std::optional<ParsedLine>& b) {
    if (!a || !b)
        return !a && !b;
    if (a->index() != b->index())
        return false;
    if (const auto* x = std::get_if<ResultsLine>(&*a)) {
        const auto& y = std::get<ResultsLine>(*b);
        return x->sessionId == y.sessionId && x->time == y.time && x->results == y.results;
    }
    const auto& x = std::get<TurnLine>(*a);
    const auto& y = std::get<TurnLine>(*b);
    const Turn &s = x.turn, &t = y.turn;
    return s.key == t.key && x.toolIds == y.toolIds && s.sessionId == t.sessionId &&
           s.project == t.project && s.time == t.time && s.model == t.model &&
           s.entrypoint == t.entrypoint && s.input == t.input && s.cacheRead == t.cacheRead &&
           s.cacheWrite == t.cacheWrite && s.output == t.output &&
           s.cacheWrite1h == t.cacheWrite1h && s.tools == t.tools &&
           s.webSearches == t.webSearches && s.fast == t.fast && s.usOnly == t.usOnly;
}

} // namespace vellumkite::testing::dom_reference
