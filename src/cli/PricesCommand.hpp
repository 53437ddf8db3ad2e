#pragma once

namespace vellumkite {

// `vellumkite-cli prices`: the price book in force, where each entry came from, and the models
// in the history that have no price; `prices import FILE [--yes]` brings a price file into the
// user's own (nothing is fetched: the user brings the file).
struct PricesCommand {
    // argv[0] is the first word after "prices". Exit 0; 1 when an import was refused or not
    // confirmed, or the output could not be written; 2 for a mistake in the arguments.
    static int main(int argc, char** argv);
};

} // namespace vellumkite
