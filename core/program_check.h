#pragma once

#include "load_error.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
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
    /// For an unknown mnemonic: the mnemonics it may have meant, best first.
    std::vector<std::string> suggestions;
};

struct CheckOptions {
    /// Also list unknown mnemonics that look like data labels ("DATA 5"),
    /// which programs use on purpose to write plain words.
    bool data = false;
    /// Also list STAm instructions that write into the program's own words,
    /// which some programs do on purpose.
    bool selfModify = false;
};

struct CheckResult {
    /// In file order.
    std::vector<Finding> findings;
    /// Set when the file does not load; findings before it are kept.
    std::optional<LoadError> error;
};

/// The names of every finding CheckProgram can report, the opt-in "data"
/// and "self-modify" included.
const std::vector<std::string>& FindingNames();

/// Reads path record by record exactly as Wren::Load_Ram does and reports
/// the records that load differently from how they read.
CheckResult CheckProgram(const std::filesystem::path& path, const CheckOptions& options = {});

/// As CheckProgram, for a program text held in memory.
CheckResult CheckText(std::string_view text, const CheckOptions& options = {});

class ProgramReader;
struct ProgramRecord;

/// Checks every record an opened reader gives until the end or a load
/// problem, and hands each record to each (when set) after checking it.
CheckResult CheckRecords(ProgramReader& reader, const CheckOptions& options,
                         const std::function<void(const ProgramRecord&)>& each = {});

} // namespace wren
