#include "Cli.hpp"

int main(int argc, char** argv) {
    return vellumkite::Cli::main(argc, argv);
}
