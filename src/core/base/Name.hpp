#pragma once

#include <compare>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace vellumkite {

// A short text that many records repeat (a chat's id, a project's folder, a model, a tool), kept
// once per process: a copy is a pointer, and equal texts are the same pointer. A text named once
// stays for the life of the process; there is one per chat, project, model and tool seen.
// Safe to make and read from any thread.
class Name {
public:
    Name() noexcept;
    Name(std::string_view text); // NOLINT: a Name stands wherever its text would
    Name(const std::string& text) : Name(std::string_view(text)) {}
    Name(const char* text) : Name(std::string_view(text)) {}

    const std::string& str() const noexcept { return *text_; }
    operator const std::string&() const noexcept { return *text_; }
    operator std::string_view() const noexcept { return *text_; }
    bool empty() const noexcept { return text_->empty(); }
    std::size_t size() const noexcept { return text_->size(); }

    friend bool operator==(Name a, Name b) noexcept { return a.text_ == b.text_; }
    friend bool operator==(Name a, std::string_view b) noexcept { return *a.text_ == b; }
    friend bool operator==(Name a, const std::string& b) noexcept { return *a.text_ == b; }
    friend bool operator==(Name a, const char* b) noexcept { return *a.text_ == b; }
    // By text, so that orders do not depend on when a name was first seen.
    friend std::strong_ordering operator<=>(Name a, Name b) noexcept {
        // compare(), not <=> on the strings: libc++ before 16 has no <=> for them.
        return a.text_ == b.text_ ? std::strong_ordering::equal : a.text_->compare(*b.text_) <=> 0;
    }

    // For hashing by identity.
    const void* id() const noexcept { return text_; }

private:
    const std::string* text_;
};

std::ostream& operator<<(std::ostream& out, Name name);

} // namespace vellumkite

template <> struct std::hash<vellumkite::Name> {
    std::size_t operator()(vellumkite::Name n) const noexcept {
        return std::hash<const void*>{}(n.id());
    }
};
