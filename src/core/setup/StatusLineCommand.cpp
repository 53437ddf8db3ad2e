#include "StatusLineCommand.hpp"

#include "ShellWords.hpp"

namespace vellumkite {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

std::string baseName(const std::string& word) {
    return std::filesystem::path(word).filename().string();
}

} // namespace

StatusLineCommand::Parsed StatusLineCommand::parse(std::string_view command) {
    Parsed out;
    const ShellWords sw = ShellWords::split(command);
    const auto& w = sw.words;
    if (w.empty() || sw.keyword)
        return out;
    out.program = w[0].text;
    std::size_t n = 0;
    if (baseName(w[0].text) == kProgram)
        n = 1;
    else if (baseName(w[0].text) == "vellumkite-cli" && w.size() > 1 && w[1].text == "statusline")
        n = 2;
    if (n == 0)
        return out;
    out.ours = true;
    out.programEnd = w[n - 1].end;
    if (sw.operators || sw.unbalanced)
        out.problem =
            "it uses shell syntax (a pipe, a list or a redirection) that our program does "
            "not see";
    if (w.size() == n)
        return out;
    if (w[n].text != "--" || w.size() == n + 1) {
        out.problem = "what follows " + std::string(kProgram) + " is not \"-- COMMAND\"";
        return out;
    }
    if (w.size() == n + 4 && w[n + 1].text == "sh" && w[n + 2].text == "-c")
        out.chained = w[n + 3].text;
    else
        out.chained = std::string(trimmed(command.substr(w[n + 1].start)));
    return out;
}

std::string StatusLineCommand::chain(const std::filesystem::path& program,
                                     std::string_view previous) {
    std::string out = ShellWords::quote(program.string());
    previous = trimmed(previous);
    if (previous.empty())
        return out;
    if (ShellWords::split(previous).simple())
        return out + " -- " + std::string(previous);
    return out + " -- sh -c " + ShellWords::quote(previous);
}

} // namespace vellumkite
