#pragma once

// How well a case file catches slips: the model answer changed in small
// ways that keep every record at its address, each change graded with all
// the cases, and the changes every case lets through named, each with what
// the cases never do that would catch it.

#include "grade.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace wren::grade {

/// One small change of a program: a record replaced by another of two words.
struct SmallChange {
    int line = 0;
    std::string before; ///< the record as written, "STAm 102"
    std::string after;  ///< what replaces it, "BVS 6"
    /// "operand", "neighbour", "store", "branch", "branch-always", "memory-value", "init"
    std::string kind;
    std::int32_t address = 0; ///< the record's first word
    std::int32_t opcode = 0;  ///< after's two words
    std::int32_t operand = 0;
    std::size_t offset = 0; ///< where before stands in the program text
    /// A BVS taken whatever V holds: no record of two words does that
    /// without changing A, so the record stays and the run takes it.
    bool always = false;
    /// For a change every case lets through: what no case does that would
    /// catch it, "no case looks at PC: add pc = \"same\"".
    std::string hint;
};

/// Every small change of program text, each once: an operand one off, an
/// address operand moved to the neighbouring record, a store dropped, a
/// branch never taken, ADDm/ADDi and LDAm/LDAi swapped, and a load or store
/// before the first branch dropped. A dropped record becomes a BVS to the
/// next record, which changes only PC and the cycles. A BVS always taken is
/// made too, as a run that takes it ("BVS 14, always taken").
std::vector<SmallChange> SmallChanges(std::string_view text);

/// The program text with change made; for a branch taken always, the text
/// as it is (the run, not the text, takes it).
std::string ChangedText(std::string_view text, const SmallChange& change);

struct CaseCheck {
    std::size_t changes = 0; ///< that can matter: all made, less those that behave like the model
    std::size_t caught = 0;
    std::vector<SmallChange> survivors;    ///< every case lets them through
    std::vector<SmallChange> likeTheModel; ///< cannot matter: they leave what the model leaves
};

/// The model answers this check takes: more records than this are refused,
/// as their changes would take hours to grade.
inline constexpr std::size_t kMostRecordsChecked = 4096;

/// Grades every small change of the case file's reference with all its
/// cases (under seed, as a submission would be graded). progress hears how
/// many of how many. The case file must have been resolved, and name a
/// reference that loads and holds an instruction.
CaseCheck CheckCases(const CaseFile& cases, std::uint64_t seed,
                     const std::function<void(std::size_t, std::size_t)>& progress = {});

/// Why the case file's reference cannot be checked ("does not load: ...",
/// "holds no instruction", its size), or nothing.
std::optional<CaseFileError> CheckableReference(const CaseFile& cases);

/// "catch K of N changes (P %)", then a line per survivor, "LINE: BEFORE -> AFTER",
/// each followed by its hint.
std::string CaseCheckText(const CaseCheck& check);
/// The same as JSON: caught, changes, survivors [{line, before, after, kind, hint}],
/// like_the_model.
std::string CaseCheckJson(const CaseCheck& check);
/// "these cases catch 91 % of small changes of the model answer (128 of 140)"
std::string CaseCheckLine(const CaseCheck& check);

} // namespace wren::grade
