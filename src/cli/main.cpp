#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        return lumarest::RunCli(args, std::cout, std::cerr, lumarest::SystemCliEnvironment());
    } catch (const std::exception& error) {
        std::cerr << "lumarest-cli: error: " << error.what() << '\n';
    } catch (...) {
        std::cerr << "lumarest-cli: error: the command failed for an unknown reason\n";
    }
    return lumarest::kExitBadInput;
}
