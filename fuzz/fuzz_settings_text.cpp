// Any bytes as the assistant's settings file. Whatever the text, editing never crashes; a text
// that can be edited stays valid JSON with our command in it, and taking the change back gives
// the very same bytes.
#include "SettingsText.hpp"
#include "StatusLineCommand.hpp"

#include <cstdlib>
#include <string>

using namespace vellumkite;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const SettingsText settings(text);
    if (!settings.valid())
        return 0;
    const std::string previous = settings.command().value_or("");
    const std::string command =
        StatusLineCommand::chain("/usr/bin/vellumkite-statusline", previous);
    const SettingsText edited(settings.withCommand(command));
    if (!edited.valid() || edited.command() != command)
        std::abort();
    const auto before = settings.statusLine();
    // With other members, undoing gives back every byte; an empty object (no colon anywhere)
    // comes back as "{}" whatever white space it had.
    const bool hadMembers = text.find(':') != std::string::npos;
    if (hadMembers && edited.withStatusLine(before) != text)
        std::abort();
    return 0;
}
