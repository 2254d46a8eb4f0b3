#pragma once

#include "load_error.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace wren {

/// Something in a program file that loads, but probably not as its writer meant.
struct Finding {
    int line = 0;
    int column = 0;
    /// The warning's name without "-W", such as "unknown-mnemonic".
    std::string name;
    std::string message;
    /// What the loader does instead; may be empty.
    std::string note;
};

struct CheckOptions {
    /// Also list unknown mnemonics that look like data labels ("DATA 5"),
    /// which programs use on purpose to write plain words.
    bool data = false;
};

struct CheckResult {
    /// In file order.
    std::vector<Finding> findings;
    /// Set when the file does not load; findings before it are kept.
    std::optional<LoadError> error;
};

/// The names of every finding CheckProgram can report, "data" included.
const std::vector<std::string>& FindingNames();

/// Reads path record by record exactly as Wren::Load_Ram does and reports
/// the records that load differently from how they read.
CheckResult CheckProgram(const std::filesystem::path& path, const CheckOptions& options = {});

} // namespace wren
