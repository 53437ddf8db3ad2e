#pragma once

namespace vellumkite {

// "vellumkite-cli setup [--yes] [--undo]": turns the assistant's status line over to
// vellumkite-statusline, or back. Shows the change first and, on a terminal, asks; without a
// terminal only --yes applies it.
struct Setup {
    // `argv` after "setup". The exit status: 0 done or nothing to do, 1 not done, 2 bad usage.
    static int main(int argc, char** argv);
};

} // namespace vellumkite
