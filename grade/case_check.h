#pragma once

// How well a case file catches slips: the model answer changed in small
// ways that keep every record at its address, each change graded with all
// the cases, and the changes every case lets through named.

#include "grade.h"

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
    std::string kind;   ///< "operand", "neighbour", "store", "branch", "memory-value", "init"
    std::string text;   ///< the whole changed program
};

/// Every small change of program text, each once: an operand one off, an
/// address operand moved to the neighbouring record, a store dropped, a
/// branch never taken, ADDm/ADDi and LDAm/LDAi swapped, and a load or store
/// before the first branch dropped. A dropped record becomes a BVS to the
/// next record, which changes only PC and the cycles.
std::vector<SmallChange> SmallChanges(std::string_view text);

struct CaseCheck {
    std::size_t changes = 0; ///< that can matter: all made, less those that behave like the model
    std::size_t caught = 0;
    std::vector<SmallChange> survivors;    ///< every case lets them through
    std::vector<SmallChange> likeTheModel; ///< cannot matter: they leave what the model leaves
};

/// Grades every small change of the case file's reference with all its
/// cases (under seed, as a submission). progress hears how many of how many.
/// The case file must name a reference that loads and holds an instruction.
CaseCheck CheckCases(const CaseFile& cases, std::uint64_t seed,
                     const std::function<void(std::size_t, std::size_t)>& progress = {});

/// "catch K of N changes (P %)", then a line per survivor, "LINE: BEFORE -> AFTER".
std::string CaseCheckText(const CaseCheck& check);
/// The same as JSON: caught, changes, survivors [{line, before, after, kind}], like_the_model.
std::string CaseCheckJson(const CaseCheck& check);

} // namespace wren::grade
