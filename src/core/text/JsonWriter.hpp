#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

// Builds compact JSON text. Commas are placed by the writer; the caller only keeps objects and
// arrays balanced and gives every value in an object a key first.
class JsonWriter {
public:
    JsonWriter& beginObject() { return open('{'); }
    JsonWriter& endObject() { return close('}'); }
    JsonWriter& beginArray() { return open('['); }
    JsonWriter& endArray() { return close(']'); }
    JsonWriter& key(std::string_view name);

    JsonWriter& string(std::string_view text);
    JsonWriter& integer(std::int64_t n);
    JsonWriter& number(double x); // null when not finite
    JsonWriter& boolean(bool b);
    JsonWriter& null();

    const std::string& text() const { return out_; }

    // Quoted and escaped. Bytes that are not valid UTF-8 each become U+FFFD, so the result is
    // always valid JSON whatever the input.
    static void appendString(std::string& out, std::string_view text);
    // The shortest text that reads back as the same double, never locale-dependent; "null" when
    // not finite.
    static void appendNumber(std::string& out, double x);

private:
    void separate();
    JsonWriter& open(char bracket);
    JsonWriter& close(char bracket);

    std::string out_;
    std::vector<bool> hasItems_; // one per open object or array
    bool afterKey_ = false;
};

} // namespace vellumkite
