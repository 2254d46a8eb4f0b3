#pragma once

#include "case_check.h"
#include "grade.h"
#include "similarity.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace wren::grade {

/// One submission of a class as the class report shows it.
struct ClassMember {
    std::string name;      ///< the report name (file stem, or with folders)
    std::string text;      ///< the program text, for the matching lines
    std::string report;    ///< its own report's path, relative to the class report; or empty
    std::string notGraded; ///< why it was not graded (unreadable, binary); empty when graded
};

/// A whole class: every submission's result, the model answer's (when the
/// case file has one), the similar pairs, and what could not be read.
struct ClassInput {
    const CaseFile* cases = nullptr;
    std::uint64_t seed = 1;
    std::vector<SubmissionResult> results; ///< one per member, in the same order
    std::vector<ClassMember> members;
    std::optional<SubmissionResult> reference;
    std::vector<SimilarPair> pairs; ///< indices into members
    bool similarity = false;        ///< whether pairs were looked for
    double threshold = 0;
    std::vector<std::string> problems; ///< bad input, each named
    /// The case file checked by small changes of the model answer, when asked.
    std::optional<CaseCheck> caseCheck;
};

/// The class's figures as JSON: per case, per submission, efficiency,
/// slips, similar pairs, problems. The HTML report is drawn from these.
nlohmann::ordered_json ClassJson(const ClassInput& input);

/// One self-contained HTML page of the figures: tables, inline SVG plots, a
/// sortable submissions table; no request to anywhere.
std::string ClassHtml(const nlohmann::ordered_json& figures);

/// A few lines for the end of the text output.
std::string ClassSummaryText(const nlohmann::ordered_json& figures);

/// One row per submission with its total and each case's points, in CSV
/// that Moodle's and Canvas's gradebook imports read.
std::string GradebookCsv(const ClassInput& input);

} // namespace wren::grade
