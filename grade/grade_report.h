#pragma once

#include "grade.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wren::grade {

/// Points as people write them: "2", "1.5".
std::string PointsText(double points);

/// What a case's report says, the same in every format: the outcome, each
/// failed expectation, the inputs, and for a failure the replay command and
/// the last traced steps.
std::string CaseOutput(const CaseResult& result);

/// A report for people.
std::string TextReport(const SubmissionResult& result, std::uint64_t seed);
/// Gradescope's results.json; pretty is for files, compact for one line.
std::string GradescopeReport(const SubmissionResult& result, std::uint64_t seed, bool pretty);
/// JUnit XML: a <testsuites> document with one <testsuite> per submission.
std::string JunitReport(const std::vector<SubmissionResult>& results, std::uint64_t seed);
/// "submission score max_score passed failed", tab-separated, with a header line.
std::string SummaryTsv(const std::vector<SubmissionResult>& results);

} // namespace wren::grade
