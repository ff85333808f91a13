#pragma once

#include <string>

namespace lumarest::testing {

// Runs a shell command and returns what it wrote on stdout (empty when it could not start).
std::string CommandOutput(const std::string& command);

// `text` in single quotes for the shell, its own single quotes kept.
std::string ShellQuoted(const std::string& text);

}  // namespace lumarest::testing
