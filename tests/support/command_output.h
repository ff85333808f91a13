#pragma once

#include <string>

namespace lumarest::testing {

// Runs a shell command and returns what it wrote on stdout (empty when it could not start).
std::string CommandOutput(const std::string& command);

struct ProgramRun {
    int status = -1;  // the exit status; 124 when the time limit ended it
    std::string err;  // what it wrote on stderr
};

// Runs the built lumarest-cli with `arguments` (already quoted for the shell), its settings in
// `configFolder` and stdout sent to `stdoutTarget`, stopping it after `seconds`: a program
// that hangs fails the test instead of holding up the suite.
ProgramRun RunCliProgram(const std::string& configFolder, const std::string& arguments,
                         const std::string& stdoutTarget, int seconds);

// `text` in single quotes for the shell, its own single quotes kept.
std::string ShellQuoted(const std::string& text);

}  // namespace lumarest::testing
