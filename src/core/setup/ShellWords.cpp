#include "ShellWords.hpp"

#include <algorithm>
#include <array>
#include <cctype>

namespace vellumkite {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isOperator(char c) {
    return c == '|' || c == '&' || c == ';' || c == '<' || c == '>' || c == '(' || c == ')' ||
           c == '\n';
}

bool plainCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("_./-+,:@%^=").find(c) != std::string_view::npos;
}

// NAME=... : the shell takes it as a variable for the command, not as the command.
bool isAssignment(std::string_view raw) {
    const std::size_t eq = raw.find('=');
    if (eq == 0 || eq == std::string_view::npos)
        return false;
    return std::all_of(
               raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(eq),
               [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }) &&
           !std::isdigit(static_cast<unsigned char>(raw[0]));
}

bool isReserved(std::string_view word) {
    static constexpr std::array<std::string_view, 17> reserved = {
        "!",  "{",   "}",  "case", "do",   "done",  "elif",  "else",    "esac",
        "fi", "for", "if", "in",   "then", "until", "while", "function"};
    return std::find(reserved.begin(), reserved.end(), word) != reserved.end();
}

constexpr std::array<std::string_view, 65> kBuiltins = {
    ".",       ":",       "[",     "[[",      "alias",     "bg",       "bind",    "break",
    "builtin", "caller",  "cd",    "command", "compgen",   "complete", "compopt", "continue",
    "coproc",  "declare", "dirs",  "disown",  "echo",      "enable",   "eval",    "exec",
    "exit",    "export",  "false", "fc",      "fg",        "getopts",  "hash",    "help",
    "history", "jobs",    "kill",  "let",     "local",     "logout",   "mapfile", "popd",
    "printf",  "pushd",   "pwd",   "read",    "readarray", "readonly", "return",  "select",
    "set",     "shift",   "shopt", "source",  "suspend",   "test",     "time",    "times",
    "trap",    "true",    "type",  "typeset", "ulimit",    "umask",    "unalias", "unset",
    "wait"};

bool isBuiltin(std::string_view word) {
    return std::find(kBuiltins.begin(), kBuiltins.end(), word) != kBuiltins.end();
}

} // namespace

std::span<const std::string_view> ShellWords::builtins() {
    return kBuiltins;
}

ShellWords ShellWords::split(std::string_view command) {
    ShellWords out;
    std::size_t i = 0;
    const std::size_t n = command.size();
    while (i < n) {
        if (isBlank(command[i])) {
            ++i;
            continue;
        }
        if (isOperator(command[i])) {
            out.operators = true;
            ++i;
            continue;
        }
        // A comment runs to the end of the line; it adds no words.
        if (command[i] == '#') {
            while (i < n && command[i] != '\n')
                ++i;
            continue;
        }
        Word w;
        w.start = i;
        while (i < n && !isBlank(command[i]) && !isOperator(command[i])) {
            const char c = command[i];
            if (c == '\'') {
                const std::size_t close = command.find('\'', i + 1);
                if (close == std::string_view::npos) {
                    out.unbalanced = true;
                    w.text.append(command.substr(i + 1));
                    i = n;
                    break;
                }
                w.text.append(command.substr(i + 1, close - i - 1));
                i = close + 1;
            } else if (c == '"') {
                ++i;
                while (i < n && command[i] != '"') {
                    if (command[i] == '$' || command[i] == '`')
                        out.expansions = true;
                    // Inside double quotes a backslash escapes only these.
                    if (command[i] == '\\' && i + 1 < n &&
                        std::string_view("$`\"\\\n").find(command[i + 1]) != std::string_view::npos)
                        ++i;
                    w.text += command[i++];
                }
                if (i >= n)
                    out.unbalanced = true;
                else
                    ++i;
            } else if (c == '\\') {
                if (i + 1 >= n) {
                    out.unbalanced = true;
                    ++i;
                } else {
                    w.text += command[i + 1];
                    i += 2;
                }
            } else {
                if (c == '$' || c == '`')
                    out.expansions = true;
                w.text += c;
                ++i;
            }
        }
        w.end = i;
        if (out.words.empty() && (isAssignment(command.substr(w.start, w.end - w.start)) ||
                                  isReserved(w.text) || isBuiltin(w.text)))
            out.keyword = true;
        out.words.push_back(std::move(w));
    }
    return out;
}

std::string ShellWords::quote(std::string_view word) {
    if (!word.empty() && std::all_of(word.begin(), word.end(), plainCharacter))
        return std::string(word);
    std::string out = "'";
    for (const char c : word) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    out += '\'';
    return out;
}

} // namespace vellumkite
