#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace wren::grade {

/// A word drawn at random from lo..hi (inclusive) for each run of a case.
struct RandomWord {
    std::int32_t address = 0;
    std::int32_t lo = 0;
    std::int32_t hi = 0;
};

/// What a case's run must leave behind; unset members are not checked.
struct Expectations {
    std::optional<std::int32_t> a;
    std::optional<bool> v;
    std::optional<std::int32_t> pc;
    std::map<std::int32_t, std::int32_t> mem;
    std::optional<std::int32_t> cyclesAtMost;
    /// The expectations written "same": what the reference program leaves
    /// ("a", "v", "pc", "cycles_at_most", "mem.ADDR"). Until the reference
    /// has run, their values above are placeholders.
    std::vector<std::string> same;
};

/// The step limit of a case when neither it nor the file sets one, as in
/// wren-trace.
inline constexpr long long kDefaultSteps = 10000;

/// How many inputs of its ranges a case runs at most when neither it nor the
/// file sets runs: past it, the boundaries and a sample.
inline constexpr long long kDefaultRuns = 1000000;

/// One [[case]] of a case file.
struct Case {
    std::string name;
    double points = 1;
    /// Gradescope's visibility: visible, hidden, after_due_date, after_published.
    std::string visibility = "visible";
    std::vector<std::pair<std::int32_t, std::int32_t>> sets;
    std::vector<RandomWord> random;
    /// Words whose every value in lo..hi is run, each combination of them,
    /// in address order.
    std::vector<RandomWord> every;
    /// The most inputs of every's ranges run; past it, the boundaries and a sample.
    long long runs = kDefaultRuns;
    /// For a case with every that expects "same": the reference program's
    /// values of expect.same, same.size() of them for each input in the order
    /// the inputs run. Filled by ResolveReference.
    std::vector<std::int32_t> model;
    /// Set when a step that leaves PC there also ends the run.
    std::optional<std::int32_t> stopAt;
    long long steps = 0;
    Expectations expect;
    /// Where the case starts in its file, for messages about it.
    int line = 0;
};

struct CaseFile {
    std::vector<Case> cases;
    /// The model answer that "same" expectations come from: the file's
    /// reference key, relative to the case file; empty when none.
    std::filesystem::path reference;
    int referenceLine = 0;
};

/// A case file that cannot be used, and the line that says why (0 for none).
struct CaseFileError {
    int line = 0;
    std::string message;
};

/// Reads a TOML case file; the error names the line at fault.
CaseFile ReadCaseFile(const std::filesystem::path& path, std::optional<CaseFileError>& error);

} // namespace wren::grade
