#include "support/command_output.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace lumarest::testing {

std::string CommandOutput(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    ::pclose(pipe);
    return output;
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

ProgramRun RunCliProgram(const std::string& configFolder, const std::string& arguments,
                         const std::string& stdoutTarget, int seconds) {
    const std::filesystem::path errFile =
        std::filesystem::temp_directory_path() /
        ("lumarest-cli-stderr-" + std::to_string(::getpid()) + ".txt");
    const std::string program = std::string(LUMAREST_BIN_DIR) + "/lumarest-cli";
    const std::string command = "XDG_CONFIG_HOME=" + ShellQuoted(configFolder) + " timeout " +
                                std::to_string(seconds) + " " + ShellQuoted(program) + " " +
                                arguments + " >" + ShellQuoted(stdoutTarget) + " 2>" +
                                ShellQuoted(errFile.string());
    ProgramRun run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ostringstream err;
    err << std::ifstream(errFile).rdbuf();
    run.err = err.str();
    std::filesystem::remove(errFile);
    return run;
}

}  // namespace lumarest::testing
