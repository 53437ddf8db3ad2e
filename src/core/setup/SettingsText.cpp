#include "SettingsText.hpp"

#include "JsonWriter.hpp"

#include <simdjson.h>

namespace vellumkite {

namespace {

constexpr std::string_view kMember = "statusLine";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool blankText(std::string_view s) {
    return s.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::string quoted(std::string_view s) {
    std::string out;
    JsonWriter::appendString(out, s);
    return out;
}

// Each member's span paired with its key and value as the parser read them. False when the two
// readings disagree, which valid JSON never gives.
template <typename Visit>
bool zip(simdjson::dom::object object, const JsonSpans::Object& spans, Visit visit) {
    std::size_t i = 0;
    for (const auto field : object) {
        if (i == spans.members.size())
            return false;
        visit(i, field.key, field.value);
        ++i;
    }
    return i == spans.members.size();
}

} // namespace

SettingsText::SettingsText(std::string text) : text_(std::move(text)) {
    // Some editors start a UTF-8 file with a byte-order mark: it is kept, and the JSON follows.
    if (text_.starts_with(kByteOrderMark))
        start_ = kByteOrderMark.size();
    const std::string_view json = std::string_view(text_).substr(start_);
    if (blankText(json)) {
        blank_ = true;
        return;
    }
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (const auto err = parser.parse(json.data(), json.size()).get(root);
        err != simdjson::SUCCESS) {
        error_ = std::string("it is not valid JSON (") + simdjson::error_message(err) + ")";
        return;
    }
    simdjson::dom::object top;
    if (root.get_object().get(top) != simdjson::SUCCESS) {
        error_ = "it does not hold a JSON object";
        return;
    }
    top_ = JsonSpans::object(text_, JsonSpans::skipSpace(text_, start_));
    simdjson::dom::object value;
    bool hasObject = false;
    if (!zip(top, top_, [&](std::size_t i, std::string_view key, simdjson::dom::element v) {
            if (key != kMember)
                return;
            member_ = i;
            hasObject = v.get_object().get(value) == simdjson::SUCCESS;
        })) {
        error_ = "its structure could not be followed";
        return;
    }
    if (!hasObject)
        return;
    const auto inner = JsonSpans::object(text_, top_.members[*member_].valueStart);
    bool typeIsCommand = true;
    zip(value, inner, [&](std::size_t i, std::string_view key, simdjson::dom::element v) {
        std::string_view s;
        const bool isString = v.get_string().get(s) == simdjson::SUCCESS;
        if (key == "type")
            typeIsCommand = isString && s == "command";
        if (key == "command") {
            commandMember_ = isString ? std::optional(inner.members[i]) : std::nullopt;
            command_ = isString ? std::optional(std::string(s)) : std::nullopt;
        }
    });
    if (!typeIsCommand) {
        commandMember_.reset();
        command_.reset();
    }
}

std::size_t SettingsText::leadStart(std::size_t keyStart) const {
    while (keyStart > 0 &&
           std::string_view(" \t\r\n").find(text_[keyStart - 1]) != std::string::npos)
        --keyStart;
    return keyStart;
}

std::optional<std::string_view> SettingsText::statusLine() const {
    if (!member_)
        return std::nullopt;
    const auto& m = top_.members[*member_];
    return std::string_view(text_).substr(m.valueStart, m.valueEnd - m.valueStart);
}

SettingsText::Style SettingsText::style() const {
    Style s;
    if (top_.members.empty())
        return s;
    // The member to take after: the status line itself, else the one a new member follows.
    const auto& m = top_.members[member_ ? *member_ : top_.members.size() - 1];
    s.colon = text_.substr(m.keyEnd, m.valueStart - m.keyEnd);
    const std::size_t lead = leadStart(m.keyStart);
    const std::string_view before = std::string_view(text_).substr(lead, m.keyStart - lead);
    const std::size_t nl = before.rfind('\n');
    if (nl != std::string_view::npos) {
        s.indent = std::string(before.substr(nl + 1));
        if (nl > 0 && before[nl - 1] == '\r')
            s.eol = "\r\n";
    }
    return s;
}

std::string SettingsText::commandObject(std::string_view command, const Style& s) const {
    const std::string type = quoted("type") + s.colon + quoted("command");
    const std::string cmd = quoted("command") + s.colon + quoted(command);
    if (!s.indent)
        return "{" + type + (s.colon.ends_with(' ') ? ", " : ",") + cmd + "}";
    const std::string inner = *s.indent + (s.indent->empty() ? "  " : *s.indent);
    return "{" + s.eol + inner + type + "," + s.eol + inner + cmd + s.eol + *s.indent + "}";
}

std::string SettingsText::spliced(std::size_t from, std::size_t to, std::string_view with) const {
    std::string out = text_.substr(0, from);
    out += with;
    out.append(text_, to);
    return out;
}

std::string SettingsText::withMember(std::string_view value, const Style& s) const {
    const std::string member = quoted(kMember) + s.colon + std::string(value);
    if (top_.members.empty()) // as the assistant writes a new file: two spaces, one per line
        return spliced(top_.open, top_.close + 1, "{" + s.eol + "  " + member + s.eol + "}");
    const auto& last = top_.members.back();
    const std::size_t lead = leadStart(last.keyStart);
    std::string added = ",";
    added.append(text_, lead, last.keyStart - lead);
    return spliced(last.valueEnd, last.valueEnd, added + member);
}

std::string SettingsText::withCommand(std::string_view command) const {
    Style s = style();
    if (blank_) {
        s.indent = "  ";
        return text_.substr(0, start_) + "{\n  " + quoted(kMember) + ": " +
               commandObject(command, s) + "\n}\n";
    }
    if (commandMember_)
        return spliced(commandMember_->valueStart, commandMember_->valueEnd, quoted(command));
    if (top_.members.empty())
        s.indent = "  ";
    if (member_) {
        const auto& m = top_.members[*member_];
        return spliced(m.valueStart, m.valueEnd, commandObject(command, s));
    }
    return withMember(commandObject(command, s), s);
}

std::string SettingsText::withStatusLine(std::optional<std::string_view> value) const {
    if (blank_)
        return value ? text_.substr(0, start_) + "{\n  " + quoted(kMember) + ": " +
                           std::string(*value) + "\n}\n"
                     : text_;
    if (value) {
        if (member_) {
            const auto& m = top_.members[*member_];
            return spliced(m.valueStart, m.valueEnd, *value);
        }
        return withMember(*value, style());
    }
    if (!member_)
        return text_;
    const auto& ms = top_.members;
    const std::size_t i = *member_;
    if (ms.size() == 1)
        return spliced(top_.open + 1, top_.close, "");
    // With the comma before it, or for the first member, the comma after it.
    if (i > 0)
        return spliced(ms[i - 1].valueEnd, ms[i].valueEnd, "");
    return spliced(ms[0].keyStart, ms[1].keyStart, "");
}

} // namespace vellumkite
