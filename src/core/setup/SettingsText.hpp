#pragma once

#include "JsonSpans.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace vellumkite {

// The assistant's settings file as text. Only its top-level "statusLine" member is ever changed:
// every other byte (the other members, their order and values, the white space) is kept, and what
// is added follows the file's own indentation and line ends.
class SettingsText {
public:
    // Blank text reads as an empty object. Anything else must be one valid JSON object, after a
    // UTF-8 byte-order mark if there is one (kept as it is).
    explicit SettingsText(std::string text);

    // Why the text cannot be edited; empty when it can.
    const std::string& error() const { return error_; }
    bool valid() const { return error_.empty(); }

    // The statusLine member's value as written; nothing without one. With duplicate keys, the
    // last one counts, as for the assistant's own reader.
    std::optional<std::string_view> statusLine() const;
    // Its command, when it is an object with a "command" string and a "type" of "command" (or
    // none).
    const std::optional<std::string>& command() const { return command_; }

    // The text with the status line running `command`: the command string replaced where it
    // stands when there is one, else the statusLine value replaced or the member added.
    std::string withCommand(std::string_view command) const;
    // The text with the statusLine value replaced by `value` as written, or without the member.
    std::string withStatusLine(std::optional<std::string_view> value) const;

private:
    struct Style {
        std::string eol = "\n";
        std::optional<std::string> indent; // of a top-level member; nothing: all on one line
        std::string colon = ": ";
    };

    Style style() const;
    // Where the white space before a member's key begins: what separates it from the one before.
    std::size_t leadStart(std::size_t keyStart) const;
    std::string commandObject(std::string_view command, const Style& style) const;
    std::string withMember(std::string_view value, const Style& style) const;
    std::string spliced(std::size_t from, std::size_t to, std::string_view with) const;

    std::string text_;
    std::size_t start_ = 0; // past a byte-order mark
    std::string error_;
    bool blank_ = false;
    JsonSpans::Object top_;
    std::optional<std::size_t> member_; // index in top_.members
    std::optional<JsonSpans::Member> commandMember_;
    std::optional<std::string> command_;
};

} // namespace vellumkite
