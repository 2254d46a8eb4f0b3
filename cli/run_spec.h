#pragma once

#include "run.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wren {
class Wren;
}

namespace wren::cli {

/// An inclusive range of memory addresses.
struct MemoryRange {
    std::int32_t from = 0;
    std::int32_t to = 0;
};

/// How to run a loaded program: the inputs written before it, where it stops,
/// and what memory is reported after it. wren-trace reads it from its
/// options; wren-grade builds it from a case and prints it back as options.
struct RunSpec {
    RunLimits limits;
    std::vector<std::pair<std::int32_t, std::int32_t>> sets;
    std::vector<MemoryRange> dumps;
};

/// A decimal address 0..65535, the whole text.
std::optional<std::int32_t> ParseAddress(std::string_view text);
/// A word value read by the program-file operand rules ("&HFF", "-5", "2.5"),
/// the whole text; nothing when the text is not entirely one number.
std::optional<std::int32_t> ParseWordValue(std::string_view text);

/// Each adds one "--set ADDR=VALUE", "--dump FROM:TO" (or ADDR) or "--break ADDR"
/// argument, or returns why it is malformed.
std::optional<std::string> AddSet(RunSpec& spec, std::string_view arg);
std::optional<std::string> AddDump(RunSpec& spec, std::string_view arg);
std::optional<std::string> AddBreak(RunSpec& spec, std::string_view arg);

/// Writes the spec's memory words into a loaded processor.
void ApplySets(const RunSpec& spec, Wren& cpu);

/// The wren-trace command line that runs file as spec says, quoted for a
/// POSIX shell.
std::string TraceCommand(const RunSpec& spec, const std::string& file);

} // namespace wren::cli
