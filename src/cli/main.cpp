#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return lumarest::RunCli(args, std::cout, std::cerr, lumarest::SystemCliEnvironment());
}
