#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vellumkite {

// A command line as a POSIX shell reads it, as far as it matters for putting another program in
// front of it: its words with the quoting taken off, and whether it uses anything that would
// change meaning once it is no longer the whole command (operators, expansions, assignments).
struct ShellWords {
    struct Word {
        std::string text;               // quotes and backslashes removed
        std::size_t start = 0, end = 0; // where it stands in the command, quotes included
    };

    std::vector<Word> words;
    bool operators = false;  // | & ; < > ( ) or a line break outside quotes
    bool expansions = false; // $ or ` outside single quotes
    bool unbalanced = false; // a quote left open, or a backslash at the very end
    bool keyword = false;    // starts with an assignment, a reserved word or a shell builtin

    // Whether the words can follow another program's arguments and still mean the same.
    bool simple() const { return !operators && !expansions && !unbalanced && !keyword; }

    static ShellWords split(std::string_view command);

    // Run by the shell itself, not found on PATH (or found there but behaving otherwise, as echo
    // does): after another program's "--" they would be looked up as programs, or not at all.
    static std::span<const std::string_view> builtins();

    // The word as the shell must be given it: as it is when it holds only characters that mean
    // nothing to the shell, else in single quotes.
    static std::string quote(std::string_view word);
};

} // namespace vellumkite
