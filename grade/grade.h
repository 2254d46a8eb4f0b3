#pragma once

#include "grade_cases.h"
#include "run_spec.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace wren::grade {

/// How a case ended; exactly one per case.
enum class Outcome {
    Passed,
    WrongResult, ///< the run ended, but an expectation failed
    DidNotStop,  ///< the step limit came first
    EndlessLoop, ///< the state repeated: the run would never end
    Fault,       ///< a machine fault
    LoadError,   ///< the submission did not load
    Empty,       ///< the submission holds no instruction
    Error,       ///< grading the case itself failed
};

/// "passed", "wrong-result", "did-not-stop", "endless-loop", "fault", "load-error", "empty",
/// "error".
const char* OutcomeName(Outcome outcome);

struct Mismatch {
    std::string what; ///< "a", "v", "pc", "mem[102]", "cycles"
    std::string expected;
    std::string actual;
};

/// What a case found over many inputs: every input of its ranges, or for
/// a random case that failed, its draw and a search for a smaller input.
struct InputsFound {
    std::uint64_t run = 0;    ///< inputs run
    std::uint64_t total = 0;  ///< inputs in the ranges; 0 for a random case
    bool sampled = false;     ///< the boundaries and a sample, not every input
    std::uint64_t failed = 0; ///< of those run
    /// The ranged words of the smallest failing input; empty when none failed.
    std::vector<std::pair<std::int32_t, std::int32_t>> smallest;
    /// For a random case: the failing draw the search started from.
    std::vector<std::pair<std::int32_t, std::int32_t>> drawn;
    /// What exactly the failing inputs share, "101 = 1"; empty when nothing does.
    std::string condition;
};

/// One write to an expected word: the step, the program line and the value.
struct WordWrite {
    long long step = 0;
    int line = 0;
    std::int32_t value = 0;
};

/// How one run went, for setting it beside another.
struct RunSummary {
    long long steps = 0;
    std::int32_t cycles = 0;
    std::string end; ///< as wren-trace ends a run
    /// The writes to each expected word, in order, as the expectations list them.
    std::vector<std::vector<WordWrite>> writes;
};

/// The failing run beside the model answer's on the same input (or beside
/// the expected values when there is no model answer).
struct SideBySide {
    std::vector<std::int32_t> words; ///< the expected words, in address order
    std::vector<std::int32_t> expected;
    RunSummary mine;
    std::optional<RunSummary> model;
};

struct CaseResult {
    const Case* c = nullptr;
    Outcome outcome = Outcome::Error;
    /// One line on what happened: the fault, the load error, the step limit.
    std::string detail;
    std::vector<Mismatch> mismatches;
    /// The inputs, random ones drawn, and the run's limits.
    cli::RunSpec spec;
    /// The wren-trace command that replays the case.
    std::string replay;
    /// For a failure: the last traced steps and the end line, as wren-trace prints them.
    std::vector<std::string> lastSteps;
    double score = 0;
    /// The steps the run completed and the cycles it spent; -1 when it did not run.
    long long steps = -1;
    std::int32_t cycles = -1;
    /// For a case with every, or a random case that failed.
    std::optional<InputsFound> inputs;
    /// For a failure that ran: the run beside the model answer's.
    std::optional<SideBySide> sideBySide;
    /// For a failure: the page's link fragment that opens the program with
    /// the case's inputs set ("program=...&set=...&case=...").
    std::string pageLink;
};

struct SubmissionResult {
    std::string file;
    std::vector<CaseResult> cases;
    /// The checker's findings, as wren-trace --check prints them; not scored.
    std::vector<std::string> feedback;
    double score = 0;
    double maxScore = 0;
    int passed = 0;
    int failed = 0;
};

/// How many traced steps a failure report shows.
inline constexpr std::size_t kLastSteps = 5;

/// The word drawn for address in case number index under seed; the same on
/// every machine, for every submission.
std::int32_t Draw(std::uint64_t seed, std::size_t index, const RandomWord& word);

/// Runs the case file's reference program once per case that expects
/// "same", on the case's inputs (random ones drawn under seed), and puts what
/// it leaves into those expectations, for every submission. A reference that
/// does not load, faults or does not end within the case's step limit makes
/// the case file unusable: the error names the case's line.
std::optional<CaseFileError> ResolveReference(CaseFile& cases, std::uint64_t seed);

/// Told of a case's inputs run so far, now and then, for a progress display.
using InputProgress = void (*)(std::uint64_t done, std::uint64_t total);
void SetInputProgress(InputProgress progress);

/// Runs every case on a fresh processor loaded with file. Never throws: a
/// case whose grading fails gets Outcome::Error.
SubmissionResult GradeSubmission(const CaseFile& cases, const std::string& file,
                                 std::uint64_t seed);

/// A submission that cannot be graded (why: "cannot be read", "not a text
/// file ..."): every case fails as not loaded, with why, in every report.
SubmissionResult UngradableSubmission(const CaseFile& cases, const std::string& file,
                                      std::uint64_t seed, const std::string& why);

/// Grades every file on up to threads threads, each submission on its own
/// processors; results come in the order of files.
std::vector<SubmissionResult> GradeAll(const CaseFile& cases, const std::vector<std::string>& files,
                                       std::uint64_t seed, unsigned threads);

} // namespace wren::grade
