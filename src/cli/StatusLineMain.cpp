#include "StatusLine.hpp"

// Kept free of Qt: the assistant runs this after every message, and loading Qt alone would cost
// several times our own work.
int main(int argc, char** argv) {
    return vellumkite::StatusLine::main(argc - 1, argv + 1, "vellumkite-statusline");
}
