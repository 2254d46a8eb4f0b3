#pragma once

#include "grade.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wren::grade {

/// Points as people write them: "2", "1.5".
std::string PointsText(double points);

/// Who a report is for: a student sees of a case that is not visible only
/// its name, points and outcome; staff see everything.
struct ReportOptions {
    bool showHidden = false;
    /// Where the page is, for the link that opens a failing case in it;
    /// empty for no link. Empty by default until the page reads the case's
    /// words from its link.
    std::string page;
};

/// What a case found over its inputs: "passed on all 40,200 inputs", or for
/// a failure the count, the smallest failing input and what the failing
/// inputs share, a line each; empty for a case of one input.
std::string InputsText(const CaseResult& result);

/// The failing run's writes to each expected word beside the model answer's,
/// the first that differs marked, and how both runs ended; a screenful at most.
std::string SideBySideText(const SideBySide& sides);

/// Whether a case's details stay out of reports for students.
bool IsHidden(const Case& c);

/// What a case's report says, the same in every format: the outcome, each
/// failed expectation, the inputs, and for a failure the replay command and
/// the last traced steps (or "same as case N" when they repeat those of an
/// earlier case, 1-based; 0 for none).
std::string CaseOutput(const CaseResult& result, const ReportOptions& options = {},
                       std::size_t sameAs = 0);

/// The checker's warnings, one a line.
std::string FeedbackText(const SubmissionResult& result);

/// A report for people: the checker's warnings first, as the likely cause,
/// then each case.
std::string TextReport(const SubmissionResult& result, std::uint64_t seed,
                       const ReportOptions& options = {});
/// Gradescope's results.json; pretty is for files, compact for one line.
std::string GradescopeReport(const SubmissionResult& result, std::uint64_t seed, bool pretty,
                             const ReportOptions& options = {});
/// JUnit XML: a <testsuites> document with one <testsuite> per submission.
std::string JunitReport(const std::vector<SubmissionResult>& results, std::uint64_t seed,
                        const ReportOptions& options = {});
/// "submission score max_score passed failed", tab-separated, with a header line.
std::string SummaryTsv(const std::vector<SubmissionResult>& results);

} // namespace wren::grade
