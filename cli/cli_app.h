#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace wren::cli {

/// The exit status of bad usage, for every command.
inline constexpr int kExitUsage = 64;

/// Says why the command line is wrong, on standard error, as name does it:
/// "name: why" and a pointer to --help. Returns kExitUsage.
int Usage(const std::string& name, const std::string& why);

/// Gives app the footer of its --help and a --version from the project's
/// version, then parses the command line. Returns the status to exit with
/// (0 after --help or --version, kExitUsage after bad usage), or -1 to go on.
int Parse(CLI::App& app, const char* footer, int argc, char** argv);

} // namespace wren::cli
