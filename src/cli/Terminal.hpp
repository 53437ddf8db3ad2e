#pragma once

#include "StatusScreen.hpp"

#include <string_view>

namespace vellumkite {

// What the terminal tool needs to know about where its output goes.
struct Terminal {
    static bool isTerminal(int fd);
    // Columns and rows of the terminal on fd; 0 when unknown.
    static int columns(int fd);
    static int rows(int fd);
    // Colours only on a terminal and only when NO_COLOR is not set, whatever its value; the
    // width follows a narrow terminal, one column short so the last one is never written.
    static StatusScreen::Style screenStyle(int fd);
};

} // namespace vellumkite
