#pragma once

namespace vellumkite {

// `vellumkite-cli sync`: the folder this machine shares its history through, and the machines
// found there. `sync FOLDER [--name NAME]` turns it on (and names this machine), `--off` turns
// it off, `--forget NAME|ID` takes a machine's rows out of this machine's history, and `sync`
// alone shows the folder and every machine.
struct SyncCommand {
    // argv[0] is the first word after "sync". Exit 0; 1 when the folder cannot be used or the
    // history cannot be written; 2 for a mistake in the arguments.
    static int main(int argc, char** argv);
};

} // namespace vellumkite
