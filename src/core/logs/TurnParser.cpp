#include "TurnParser.hpp"

#include "ByteSearch.hpp"
#include "JsonString.hpp"
#include "Saturating.hpp"
#include "Timestamp.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <simdjson.h>

namespace vellumkite {

static_assert(TurnParser::kPadding >= simdjson::SIMDJSON_PADDING);
static_assert(TurnParser::kPadding >= JsonString::kPadding);

namespace od = simdjson::ondemand;

namespace {

// Probes on bytes that are rarer in JSON than quotes and colons.
constexpr ByteSearch kAssistantTag(R"("type":"assistant")", 2, 15); // 'y', 'n'
constexpr ByteSearch kUsageTag(R"("usage":)", 1, 5);                // 'u', 'e'
constexpr ByteSearch kResultTag(R"("tool_result")", 5, 11);         // '_', 't'

// As deep as a whole-document decoder nests before it gives up on a line.
constexpr int kMaxDepth = 1024;

// The line is read once, in document order, whatever order its members come in; every value is
// checked, whether used or not, so that a line that is not valid JSON yields nothing. Where a key
// repeats, its first value counts. A member present with the wrong JSON type counts as absent.

// The members of a reply's usage that are counts, and where each goes.
struct Counts {
    std::int64_t input = 0, cacheRead = 0, cacheWrite = 0, output = 0;
    std::int64_t cacheWrite5m = 0, cacheWrite1h = 0;
    std::int64_t webSearches = 0;
};
struct CountMember {
    std::string_view key;
    std::int64_t Counts::*to;
};
constexpr CountMember kUsageCounts[] = {{"input_tokens", &Counts::input},
                                        {"cache_read_input_tokens", &Counts::cacheRead},
                                        {"cache_creation_input_tokens", &Counts::cacheWrite},
                                        {"output_tokens", &Counts::output}};
constexpr CountMember kCacheCreationCounts[] = {
    {"ephemeral_5m_input_tokens", &Counts::cacheWrite5m},
    {"ephemeral_1h_input_tokens", &Counts::cacheWrite1h}};
constexpr CountMember kServerToolCounts[] = {{"web_search_requests", &Counts::webSearches}};

using Text = std::optional<std::string_view>;

// One object of a message's content, whatever its type turns out to be.
struct Item {
    Text type, id, name, toolUseId;
    std::int64_t tokens = 0; // of its "content", for a tool result
};

// What one line holds, as far as any record needs it. Strings point into the decoder's buffer.
struct Fields {
    Text type, sessionId, cwd, entrypoint, requestId, timestamp;
    bool message = false; // an object
    Text messageId, model;
    bool usage = false; // an object
    Counts counts;
    bool cacheParts = false; // the usage's "cache_creation" is an object
    Text speed, inferenceGeo;
    std::vector<Item> items;

    void clear() {
        auto keep = std::move(items);
        *this = {};
        items = std::move(keep);
        items.clear();
    }
};

// Marks a key as seen; true the first time.
template <typename Flags> bool first(Flags& seen, unsigned bit) {
    const bool fresh = !(seen & (Flags{1} << bit));
    seen |= Flags{1} << bit;
    return fresh;
}

// The key of a member: as written, or decoded where it holds an escape.
bool keyOf(od::field& field, std::string_view& key) {
    const char* raw = reinterpret_cast<const char*>(field.key().raw());
    const char* p = raw;
    while (*p != '"' && *p != '\\') // the first stage made sure the string is closed
        ++p;
    if (*p == '"') {
        key = std::string_view(raw, static_cast<std::size_t>(p - raw));
        return true;
    }
    return field.unescaped_key().get(key) == simdjson::SUCCESS;
}

// The decoded size of a string value, read from its raw bytes; nothing when it is not valid.
std::optional<std::size_t> stringSize(od::value& v) {
    const std::string_view token = v.raw_json_token();
    // The token runs to the next one: the closing quote, then maybe white space.
    std::size_t end = token.size();
    while (end > 1 && token[end - 1] != '"')
        --end;
    if (end < 2)
        return std::nullopt;
    // Step over it: a value left unread is skipped without its neighbours being checked.
    od::raw_json_string raw;
    if (v.get_raw_json_string().get(raw) != simdjson::SUCCESS)
        return std::nullopt;
    return JsonString::decodedSize(token.substr(1, end - 2));
}

// Walks the members of a value known to be an object: `onMember(key, value)` returns false on
// invalid JSON.
template <typename OnMember> bool walkObject(od::value v, int depth, OnMember&& onMember) {
    od::object o;
    if (depth > kMaxDepth || v.get_object().get(o) != simdjson::SUCCESS)
        return false;
    for (auto member : o) {
        od::field field;
        std::string_view key;
        if (std::move(member).get(field) != simdjson::SUCCESS || !keyOf(field, key) ||
            !onMember(key, field.value()))
            return false;
    }
    return true;
}

// The same for the elements of an array.
template <typename OnElement> bool walkArray(od::value v, int depth, OnElement&& onElement) {
    od::array a;
    if (depth > kMaxDepth || v.get_array().get(a) != simdjson::SUCCESS)
        return false;
    for (auto element : a) {
        od::value e;
        if (std::move(element).get(e) != simdjson::SUCCESS || !onElement(e))
            return false;
    }
    return true;
}

// Checks a value that nothing reads: what a whole-document decoder would have checked.
bool check(od::value v, int depth) {
    od::json_type type;
    if (v.type().get(type) != simdjson::SUCCESS)
        return false;
    switch (type) {
    case od::json_type::object:
        return walkObject(v, depth, [depth](std::string_view, od::value value) {
            return check(value, depth + 1);
        });
    case od::json_type::array:
        return walkArray(v, depth, [depth](od::value e) { return check(e, depth + 1); });
    case od::json_type::number: {
        od::number n;
        return v.get_number().get(n) == simdjson::SUCCESS;
    }
    case od::json_type::string:
        return stringSize(v).has_value();
    case od::json_type::boolean: {
        bool b;
        return v.get_bool().get(b) == simdjson::SUCCESS;
    }
    case od::json_type::null: {
        bool null = false;
        return v.is_null().get(null) == simdjson::SUCCESS && null;
    }
    }
    return false;
}

// Reads a value with `read` when it has the type wanted; one of another type is checked and
// passed over, as a member with the wrong type counts as absent.
template <typename Read> bool ifType(od::value v, int depth, od::json_type wanted, Read&& read) {
    od::json_type type;
    if (v.type().get(type) != simdjson::SUCCESS)
        return false;
    return type == wanted ? read(v) : check(v, depth);
}

// A value read as text: set when it is a string, left absent when it is anything else.
bool readText(od::value v, int depth, Text& out) {
    return ifType(v, depth, od::json_type::string, [&out](od::value s) {
        std::string_view text;
        if (s.get_string().get(text) != simdjson::SUCCESS)
            return false;
        out = text;
        return true;
    });
}

// Integers, and numbers with an exact integral value inside the 64-bit range, count; all else 0.
bool readCount(od::value v, int depth, std::int64_t& out) {
    out = 0;
    return ifType(v, depth, od::json_type::number, [&out](od::value number) {
        od::number n;
        if (number.get_number().get(n) != simdjson::SUCCESS)
            return false;
        switch (n.get_number_type()) {
        case od::number_type::signed_integer:
            out = n.get_int64();
            break;
        case od::number_type::unsigned_integer:
            break; // beyond the signed range
        case od::number_type::floating_point_number: {
            const double d = n.get_double();
            if (d >= -9223372036854775808.0 && d < 9223372036854775808.0 &&
                d == static_cast<double>(static_cast<std::int64_t>(d)))
                out = static_cast<std::int64_t>(d);
            break;
        }
        }
        return true;
    });
}

// Walks an object: `onMember(key, value)` reads the members it knows and returns false on
// invalid JSON; a member it does not know is checked and passed over.
template <typename OnMember>
bool members(od::value v, int depth, bool& isObject, OnMember&& onMember) {
    return ifType(v, depth, od::json_type::object, [&](od::value o) {
        isObject = true;
        return walkObject(o, depth, onMember);
    });
}

// Walks an array: `onElement(value)` reads each element; a value that is not an array is checked
// and passed over.
template <typename OnElement> bool elements(od::value v, int depth, OnElement&& onElement) {
    return ifType(v, depth, od::json_type::array,
                  [&](od::value a) { return walkArray(a, depth, onElement); });
}

template <std::size_t N>
bool countsOf(od::value v, int depth, bool& isObject, const CountMember (&table)[N], Counts& into) {
    unsigned seen = 0;
    return members(v, depth, isObject, [&](std::string_view key, od::value value) {
        for (std::size_t i = 0; i < N; ++i)
            if (key == table[i].key && first(seen, static_cast<unsigned>(i)))
                return readCount(value, depth + 1, into.*(table[i].to));
        return check(value, depth + 1);
    });
}

bool usageOf(od::value v, int depth, Fields& f) {
    unsigned seen = 0;
    return members(v, depth, f.usage, [&](std::string_view key, od::value value) {
        for (std::size_t i = 0; i < std::size(kUsageCounts); ++i)
            if (key == kUsageCounts[i].key && first(seen, static_cast<unsigned>(i)))
                return readCount(value, depth + 1, f.counts.*(kUsageCounts[i].to));
        if (key == "cache_creation" && first(seen, 31))
            return countsOf(value, depth + 1, f.cacheParts, kCacheCreationCounts, f.counts);
        if (key == "server_tool_use" && first(seen, 30)) {
            bool isObject = false;
            return countsOf(value, depth + 1, isObject, kServerToolCounts, f.counts);
        }
        if (key == "speed" && first(seen, 29))
            return readText(value, depth + 1, f.speed);
        if (key == "inference_geo" && first(seen, 28))
            return readText(value, depth + 1, f.inferenceGeo);
        return check(value, depth + 1);
    });
}

// The estimated tokens of one part of a tool result's content: text by its decoded size.
bool partTokens(od::value v, int depth, std::int64_t& sum) {
    unsigned seen = 0;
    bool isObject = false;
    Text type;
    std::optional<std::size_t> text;
    const bool ok = members(v, depth, isObject, [&](std::string_view key, od::value value) {
        if (key == "type" && first(seen, 0))
            return readText(value, depth + 1, type);
        if (key == "text" && first(seen, 1))
            return ifType(value, depth + 1, od::json_type::string, [&text](od::value s) {
                text = stringSize(s);
                return text.has_value();
            });
        return check(value, depth + 1);
    });
    if (!ok)
        return false;
    if (type == "text" && text)
        sum = saturatingAdd(sum, static_cast<std::int64_t>(*text / 4));
    else if (type == "image")
        sum = saturatingAdd(sum, 1600);
    return true;
}

// The estimated tokens of a tool result's "content": a text, or parts of text and images.
bool contentTokens(od::value v, int depth, std::int64_t& out) {
    out = 0;
    od::json_type type;
    if (v.type().get(type) != simdjson::SUCCESS)
        return false;
    if (type == od::json_type::string) {
        const auto size = stringSize(v);
        if (!size)
            return false;
        out = static_cast<std::int64_t>(*size / 4);
        return true;
    }
    return elements(v, depth, [&](od::value part) { return partTokens(part, depth + 1, out); });
}

bool itemOf(od::value v, int depth, Fields& f) {
    Item item;
    unsigned seen = 0;
    bool isObject = false;
    const bool ok = members(v, depth, isObject, [&](std::string_view key, od::value value) {
        if (key == "type" && first(seen, 0))
            return readText(value, depth + 1, item.type);
        if (key == "id" && first(seen, 1))
            return readText(value, depth + 1, item.id);
        if (key == "name" && first(seen, 2))
            return readText(value, depth + 1, item.name);
        if (key == "tool_use_id" && first(seen, 3))
            return readText(value, depth + 1, item.toolUseId);
        if (key == "content" && first(seen, 4))
            return contentTokens(value, depth + 1, item.tokens);
        return check(value, depth + 1);
    });
    if (ok && (item.type == "tool_use" || item.type == "tool_result"))
        f.items.push_back(item);
    return ok;
}

bool contentOf(od::value v, int depth, Fields& f) {
    return elements(v, depth, [&](od::value item) { return itemOf(item, depth + 1, f); });
}

bool messageOf(od::value v, int depth, Fields& f) {
    unsigned seen = 0;
    return members(v, depth, f.message, [&](std::string_view key, od::value value) {
        if (key == "id" && first(seen, 0))
            return readText(value, depth + 1, f.messageId);
        if (key == "model" && first(seen, 1))
            return readText(value, depth + 1, f.model);
        if (key == "usage" && first(seen, 2))
            return usageOf(value, depth + 1, f);
        if (key == "content" && first(seen, 3))
            return contentOf(value, depth + 1, f);
        return check(value, depth + 1);
    });
}

// Reads the whole line into `f`; false when it is not valid JSON or not an object.
bool read(od::document& doc, Fields& f) {
    od::object root;
    if (doc.get_object().get(root) != simdjson::SUCCESS)
        return false;
    unsigned seen = 0;
    for (auto member : root) {
        od::field field;
        std::string_view key;
        if (std::move(member).get(field) != simdjson::SUCCESS || !keyOf(field, key))
            return false;
        od::value value = field.value();
        bool ok;
        if (key == "type" && first(seen, 0))
            ok = readText(value, 2, f.type);
        else if (key == "sessionId" && first(seen, 1))
            ok = readText(value, 2, f.sessionId);
        else if (key == "cwd" && first(seen, 2))
            ok = readText(value, 2, f.cwd);
        else if (key == "entrypoint" && first(seen, 3))
            ok = readText(value, 2, f.entrypoint);
        else if (key == "requestId" && first(seen, 4))
            ok = readText(value, 2, f.requestId);
        else if (key == "timestamp" && first(seen, 5))
            ok = readText(value, 2, f.timestamp);
        else if (key == "message" && first(seen, 6))
            ok = messageOf(value, 2, f);
        else
            ok = check(value, 2);
        if (!ok)
            return false;
    }
    // Nothing may follow the object.
    const char* rest = nullptr;
    return doc.current_location().get(rest) == simdjson::OUT_OF_BOUNDS;
}

// Names seen lately: the lines of one log repeat their chat, project, model and tools, so most
// lines name them without a trip to the process's table.
class RecentNames {
public:
    Name operator()(std::string_view text) {
        for (const Name& n : recent_)
            if (std::string_view(n) == text)
                return n;
        const Name fresh(text);
        recent_[next_++ % recent_.size()] = fresh;
        return fresh;
    }

private:
    std::array<Name, 16> recent_;
    std::size_t next_ = 0;
};

// A reply without a message id keeps a key that is the same on every read of its line: its
// request id, else what the line says of itself (a random key would count it again each time
// its log is read anew).
std::string keyWithoutMessageId(const Fields& f, const Turn& turn) {
    if (f.requestId && !f.requestId->empty())
        return "-:" + std::string(*f.requestId);
    std::string key = "-:";
    key += turn.sessionId.str();
    key += '@';
    key += f.timestamp.value_or("");
    for (const std::int64_t n : {turn.input, turn.cacheRead, turn.cacheWrite, turn.output}) {
        key += '/';
        key += std::to_string(n);
    }
    return key;
}

std::optional<ParsedLine> resultsOf(const Fields& f, Instant time, RecentNames& names) {
    ResultsLine out;
    for (const auto& item : f.items)
        if (item.type == "tool_result" && item.toolUseId)
            out.results.push_back({std::string(*item.toolUseId), item.tokens});
    if (out.results.empty())
        return std::nullopt;
    out.sessionId = names(f.sessionId.value_or("?"));
    out.time = time;
    return ParsedLine{std::move(out)};
}

std::optional<ParsedLine> replyOf(const Fields& f, Instant time, RecentNames& names) {
    if (!f.usage)
        return std::nullopt;
    const auto model = f.model.value_or("?");
    if (model == "<synthetic>")
        return std::nullopt;

    TurnLine out;
    Turn& turn = out.turn;
    for (const auto& item : f.items) {
        if (item.type != "tool_use" || !item.id || !item.name)
            continue;
        const Name name = names(*item.name);
        out.toolIds.push_back({std::string(*item.id), name});
        turn.tools.push_back(name);
    }
    turn.sessionId = names(f.sessionId.value_or("?"));
    turn.project = names(f.cwd.value_or("?"));
    turn.time = time;
    turn.model = names(model);
    turn.entrypoint = names(f.entrypoint.value_or("?"));
    turn.input = f.counts.input;
    turn.cacheRead = f.counts.cacheRead;
    turn.cacheWrite = f.counts.cacheWrite;
    turn.output = f.counts.output;
    // Some versions wrote 0 for the total while its parts were right.
    if (f.cacheParts)
        turn.cacheWrite = std::max(turn.cacheWrite,
                                   saturatingAdd(std::max<std::int64_t>(f.counts.cacheWrite5m, 0),
                                                 std::max<std::int64_t>(f.counts.cacheWrite1h, 0)));
    turn.cacheWrite1h = std::clamp<std::int64_t>(f.counts.cacheWrite1h, 0,
                                                 std::max<std::int64_t>(turn.cacheWrite, 0));
    turn.webSearches = std::max<std::int64_t>(f.counts.webSearches, 0);
    turn.fast = f.speed == "fast";
    turn.usOnly = f.inferenceGeo == "us";
    if (f.messageId) {
        turn.key = std::string(*f.messageId);
        turn.key += ':';
        turn.key += f.requestId.value_or("");
    } else {
        turn.key = keyWithoutMessageId(f, turn);
    }
    return ParsedLine{std::move(out)};
}

} // namespace

struct TurnParser::Buffers::Impl {
    od::parser parser{kMaxLineLength};
    Fields fields;
    RecentNames names;
};

TurnParser::Buffers::Buffers() : impl_(std::make_unique<Impl>()) {}
TurnParser::Buffers::~Buffers() = default;

std::size_t TurnParser::Buffers::capacity() const {
    return impl_->parser.capacity();
}

void TurnParser::Buffers::release() {
    impl_->parser = od::parser(kMaxLineLength);
    impl_->fields.items.shrink_to_fit();
}

bool TurnParser::mayYield(std::string_view line) {
    // The line passes with both assistant tags, or with the result tag. Testing the result tag
    // first gives the same answer and spares a scan of a long tool result, where it comes early.
    if (kResultTag.in(line))
        return true;
    return kAssistantTag.in(line) && kUsageTag.in(line);
}

std::optional<ParsedLine> TurnParser::parsePadded(Buffers& buffers, std::string_view line) {
    if (line.size() > kMaxLineLength || !mayYield(line))
        return std::nullopt;
    auto& parser = buffers.impl_->parser;
    // Grow by doubling, so that lines of rising length do not reallocate every time.
    if (parser.capacity() < line.size() &&
        parser.allocate(std::min(kMaxLineLength, std::max({line.size(), 2 * parser.capacity(),
                                                           std::size_t{64} << 10}))) !=
            simdjson::SUCCESS)
        return std::nullopt;
    od::document doc;
    if (parser.iterate(line.data(), line.size(), line.size() + kPadding).get(doc) !=
        simdjson::SUCCESS)
        return std::nullopt;
    Fields& f = buffers.impl_->fields;
    f.clear();
    if (!read(doc, f) || !f.timestamp || !f.message)
        return std::nullopt;
    const auto time = Timestamp::parse(*f.timestamp);
    if (!time)
        return std::nullopt;
    if (f.type == "user")
        return resultsOf(f, *time, buffers.impl_->names);
    if (f.type == "assistant")
        return replyOf(f, *time, buffers.impl_->names);
    return std::nullopt;
}

std::optional<ParsedLine> TurnParser::parse(std::string_view line) {
    if (line.size() > kMaxLineLength || !mayYield(line))
        return std::nullopt;
    thread_local Buffers buffers;
    const simdjson::padded_string padded(line);
    auto out = parsePadded(buffers, std::string_view(padded.data(), line.size()));
    // Do not let one long line pin its memory in this thread's buffers.
    if (buffers.capacity() > (std::size_t{8} << 20))
        buffers.release();
    return out;
}

} // namespace vellumkite
