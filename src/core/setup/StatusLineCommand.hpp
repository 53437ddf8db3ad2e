#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vellumkite {

// The assistant's status-line command as Vellumkite sees it: whether our program runs first, the
// command it passes the input on to after "--", and how to put ours in front of another one.
struct StatusLineCommand {
    static constexpr std::string_view kProgram = "vellumkite-statusline";

    struct Parsed {
        // Our program runs first: vellumkite-statusline, or vellumkite-cli statusline.
        bool ours = false;
        std::string program;        // the first word, unquoted
        std::size_t programEnd = 0; // where our program's words end in the command
        // The command ours passes the input on to, as it was before it was chained (taken out of
        // the "sh -c '...'" that chaining wraps around shell syntax).
        std::optional<std::string> chained;
        // Why ours would not run as meant (arguments that are not "-- COMMAND", shell syntax
        // after "--"); empty when it would.
        std::string problem;
    };

    static Parsed parse(std::string_view command);

    // Our program, followed by "-- previous" when there was a previous command. A previous command
    // with shell syntax (pipes, variables, assignments) is handed to "sh -c", the way the
    // assistant runs a status line, so that it means what it meant on its own.
    static std::string chain(const std::filesystem::path& program, std::string_view previous);
};

} // namespace vellumkite
