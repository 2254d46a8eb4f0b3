#pragma once

// Grading on many inputs: a case's every ranges run whole, the smallest
// failing input, what the failing inputs share, a search from a failing
// random draw, and a failing run set beside the model answer's.

#include "grade.h"
#include "image_runner.h"
#include "input_plan.h"

#include <functional>

namespace wren::grade {

/// A case's expectations as quick tests, with the values "same" takes from
/// the model answer given per input.
class ExpectationCheck {
public:
    explicit ExpectationCheck(const Case& c);
    /// How many values the model gives per input (expect.same's size).
    std::size_t Slots() const { return slots_; }
    /// The model answer's values, as it left cpu.
    void Fill(const Wren& cpu, std::int32_t* model) const;
    /// Whether cpu, after a run that ended, meets every expectation.
    bool Met(const Wren& cpu, const std::int32_t* model) const;
    /// The expectations in full, with the model's values put in.
    Expectations With(const std::int32_t* model) const;

private:
    enum class Kind { A, V, PC, Mem, Cycles };
    struct Test {
        Kind kind;
        std::int32_t address;
        std::int32_t value;
        int slot; // -1: value holds; otherwise the model's value number slot
    };
    const Case& case_;
    std::vector<Test> tests_;
    std::size_t slots_ = 0;
};

/// The words a case's ranges set, in the order of its every.
std::vector<std::int32_t> EveryAddresses(const Case& c);
/// A case's run: its step limit, its stop, and loops found as such.
RunLimits LimitsOf(const Case& c);
/// The words of set and random, with random ones as drawn under seed.
std::vector<std::pair<std::int32_t, std::int32_t>> FixedWords(const Case& c, std::size_t index,
                                                              std::uint64_t seed);

/// Whether a run ended as a case needs: at a word with no instruction or at its stop.
bool Ended(const RunResult& run);

/// Fills c.model with the reference program's values on every input of
/// c's plan; an input on which the reference faults or does not end makes the
/// case file unusable, and the error names it.
std::optional<CaseFileError> RunModelOnEvery(Case& c, std::size_t index, std::uint64_t seed,
                                             const std::string& reference);

/// What running a submission on every input of a plan found.
struct EveryRun {
    InputsFound found;
    std::uint64_t smallestIndex = 0; ///< when found.failed > 0
    std::vector<std::int32_t> smallestValues;
};
EveryRun RunEvery(const Case& c, const InputPlan& plan, ImageRunner& runner,
                  const std::vector<std::pair<std::int32_t, std::int32_t>>& fixed);

/// Searches from a failing random draw for a smaller input that fails, in
/// the case's ranges, within a bounded number of runs; fails(values) runs one.
InputsFound SearchSmaller(const std::vector<RandomWord>& words, std::vector<std::int32_t> drawn,
                          const std::function<bool(const std::vector<std::int32_t>&)>& fails);

/// Sets a run of program (its text) beside the reference file's (empty:
/// none) on spec's inputs.
SideBySide CompareRuns(std::string_view program, const std::string& reference,
                       const cli::RunSpec& spec, const Expectations& expect);

/// A file's bytes; empty when it cannot be read.
std::string ReadText(const std::string& file);

/// The words a case's ranges set, with the values given, as "100=0 101=1".
std::string InputText(const std::vector<std::pair<std::int32_t, std::int32_t>>& words);

/// "40,200": a count with thousands separators.
std::string CountText(std::uint64_t count);

} // namespace wren::grade
