#include "grade_report.h"

#include "inputs.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

namespace wren::grade {

namespace {

using Json = nlohmann::ordered_json;

Json PointsJson(double points) {
    if (std::floor(points) == points && std::abs(points) < 1e15)
        return Json(static_cast<long long>(points));
    return Json(points);
}

std::string Indented(const std::string& text, const std::string& indent) {
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string::npos ? text.size() : end;
        out += indent + text.substr(start, stop - start) + "\n";
        start = stop + 1;
    }
    return out;
}

std::string Header(const SubmissionResult& r, std::uint64_t seed) {
    return r.file + ": " + PointsText(r.score) + "/" + PointsText(r.maxScore) + " points, " +
           std::to_string(r.passed) + " passed, " + std::to_string(r.failed) + " failed (seed " +
           std::to_string(seed) + ")";
}

} // namespace

std::string FeedbackText(const SubmissionResult& r) {
    std::string out;
    for (const auto& line : r.feedback)
        out += line + "\n";
    return out;
}

std::string PointsText(double points) {
#if defined(__cpp_lib_to_chars)
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, points).ptr;
    return std::string(buffer, end);
#else
    // Older C++ libraries (the WebAssembly toolchain's) have no floating-point
    // to_chars: the shortest %g that reads back the same, as to_chars gives.
    char buffer[32];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(buffer, sizeof buffer, "%.*g", digits, points);
        if (std::strtod(buffer, nullptr) == points)
            break;
    }
    return buffer;
#endif
}

bool IsHidden(const Case& c) { return c.visibility != "visible"; }

std::string InputsText(const CaseResult& r) {
    if (!r.inputs)
        return {};
    const InputsFound& f = *r.inputs;
    const char* sample = " (every boundary, and a sample)";
    if (r.outcome == Outcome::Passed) {
        if (f.sampled)
            return "passed on " + CountText(f.run) + " of " + CountText(f.total) + " inputs" +
                   sample + "\n";
        return "passed on all " + CountText(f.run) + " inputs\n";
    }
    std::string out;
    if (f.total > 0) {
        out += "fails on " + CountText(f.failed) + " of " + CountText(f.run) + " inputs";
        out += f.sampled ? " run, of " + CountText(f.total) + sample : "";
        out += "\n";
    } else {
        out += "fails on the drawn input " + InputText(f.drawn) + "; a search from it ran " +
               CountText(f.run - 1) + " more, " + CountText(f.failed - 1) + " of them failing\n";
    }
    if (!f.smallest.empty())
        out += "smallest failing input: " + InputText(f.smallest) +
               (f.total > 0 ? "" : " (the smallest the search found)") + "\n";
    if (!f.condition.empty())
        out += "every failing input has " + f.condition + "\n";
    return out;
}

namespace {

std::string WriteText(const WordWrite& w) {
    return "step " + std::to_string(w.step) + ", line " + std::to_string(w.line) + ": " +
           std::to_string(w.value);
}

} // namespace

std::string SideBySideText(const SideBySide& sides) {
    std::string out;
    const bool model = sides.model.has_value();
    for (std::size_t k = 0; k < sides.words.size(); ++k) {
        const auto& mine = sides.mine.writes.at(k);
        static const std::vector<WordWrite> kNone;
        const auto& theirs = model ? sides.model->writes.at(k) : kNone;
        out += "writes to " + std::to_string(sides.words[k]) + " (step, line: value), " +
               (model ? "this program | the model answer" : "this program") + "; expected " +
               std::to_string(sides.expected[k]) + " at the end:\n";
        const std::size_t rows = std::max(mine.size(), theirs.size());
        if (rows == 0) {
            out += "  none\n";
            continue;
        }
        // The first write of the same order that differs, from the model's;
        // without a model, a last write that is not the expected value.
        std::size_t differs = rows;
        for (std::size_t i = 0; i < rows && model; ++i)
            if (i >= mine.size() || i >= theirs.size() || mine[i].value != theirs[i].value) {
                differs = i;
                break;
            }
        if (!model && !mine.empty() && mine.back().value != sides.expected[k])
            differs = mine.size() - 1;
        // A screenful: the first two rows, those around the difference, the last.
        std::vector<bool> shown(rows, rows <= 12);
        for (std::size_t i = 0; i < rows && i < 2; ++i)
            shown[i] = true;
        const std::size_t around = differs < rows ? differs : rows - 1;
        for (std::size_t i = around >= 3 ? around - 3 : 0; i < rows && i <= around + 3; ++i)
            shown[i] = true;
        shown[rows - 1] = true;
        bool gap = false;
        for (std::size_t i = 0; i < rows; ++i) {
            if (!shown[i]) {
                gap = true;
                continue;
            }
            if (gap)
                out += "       ...\n";
            gap = false;
            std::string row = (i == differs ? "  > " : "    ") + std::to_string(i + 1) + ". " +
                              (i < mine.size() ? WriteText(mine[i]) : "(none)");
            if (model) {
                row.resize(std::max<std::size_t>(row.size(), 36), ' ');
                row += "| " + (i < theirs.size() ? WriteText(theirs[i]) : "(none)");
            }
            out += row + "\n";
        }
    }
    out += "this program: " + sides.mine.end + "\n";
    if (model)
        out += "the model answer: " + sides.model->end + "\n";
    return out;
}

std::string CaseOutput(const CaseResult& r, const ReportOptions& options, std::size_t sameAs) {
    const bool hidden = IsHidden(*r.c) && !options.showHidden;
    const std::string inputs = hidden ? "" : InputsText(r);
    std::string out;
    if (r.outcome == Outcome::Passed)
        out = inputs.empty() ? "passed\n" : inputs;
    else
        out = r.detail + "\n" + inputs;
    if (hidden)
        return out + "(a hidden case: its inputs and steps are not shown)\n";
    for (const auto& m : r.mismatches)
        out += m.what + ": expected " + m.expected + ", got " + m.actual + "\n";
    if (!r.spec.sets.empty()) {
        out += "inputs:";
        for (const auto& [address, value] : r.spec.sets)
            out += " " + std::to_string(address) + "=" + std::to_string(value);
        out += "\n";
    }
    if (r.outcome != Outcome::Passed) {
        if (r.sideBySide)
            out += SideBySideText(*r.sideBySide);
        out += "replay: " + r.replay + "\n";
        if (!r.pageLink.empty() && !options.page.empty())
            out += "open in the page: " + options.page + "#" + r.pageLink + "\n";
        if (sameAs > 0) {
            out += "last steps: same as case " + std::to_string(sameAs) + "\n";
        } else if (!r.lastSteps.empty()) {
            out += "last steps:\n";
            for (const auto& line : r.lastSteps)
                out += "  " + line + "\n";
        }
    }
    return out;
}

std::string TextReport(const SubmissionResult& r, std::uint64_t seed,
                       const ReportOptions& options) {
    std::string out = Header(r, seed) + "\n";
    if (!r.feedback.empty())
        out += "  checker (not scored; a likely cause):\n" + Indented(FeedbackText(r), "    ");
    // Identical last steps are shown once; later cases point back to it.
    std::map<std::vector<std::string>, std::size_t> shown;
    for (std::size_t i = 0; i < r.cases.size(); ++i) {
        const CaseResult& c = r.cases[i];
        out += std::string(c.outcome == Outcome::Passed ? "  PASS  " : "  FAIL  ") + c.c->name +
               " (" + PointsText(c.score) + "/" + PointsText(c.c->points) + ")\n";
        if (c.outcome == Outcome::Passed) {
            if (!IsHidden(*c.c) || options.showHidden)
                out += Indented(InputsText(c), "        ");
            continue;
        }
        std::size_t sameAs = 0;
        if (!c.lastSteps.empty() && (!IsHidden(*c.c) || options.showHidden)) {
            const auto [at, fresh] = shown.emplace(c.lastSteps, i + 1);
            sameAs = fresh ? 0 : at->second;
        }
        out += Indented(CaseOutput(c, options, sameAs), "        ");
    }
    return out;
}

std::string GradescopeReport(const SubmissionResult& r, std::uint64_t seed, bool pretty,
                             const ReportOptions& options) {
    Json root;
    root["score"] = PointsJson(r.score);
    root["max_score"] = PointsJson(r.maxScore);
    std::string output = Header(r, seed) + "\n";
    if (!r.feedback.empty())
        output += "Checker warnings (not scored):\n" + FeedbackText(r);
    root["output"] = output;
    Json tests = Json::array();
    for (const auto& c : r.cases) {
        Json test;
        test["name"] = c.c->name;
        test["score"] = PointsJson(c.score);
        test["max_score"] = PointsJson(c.c->points);
        test["status"] = c.outcome == Outcome::Passed ? "passed" : "failed";
        test["output"] = CaseOutput(c, options);
        test["visibility"] = c.c->visibility;
        tests.push_back(std::move(test));
    }
    root["tests"] = std::move(tests);
    return root.dump(pretty ? 2 : -1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string SummaryTsv(const std::vector<SubmissionResult>& results) {
    std::string out = "submission\tscore\tmax_score\tpassed\tfailed\n";
    for (const auto& r : results) {
        std::string name = r.file;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return c == '\t' || c == '\n'; }, ' ');
        out += name + "\t" + PointsText(r.score) + "\t" + PointsText(r.maxScore) + "\t" +
               std::to_string(r.passed) + "\t" + std::to_string(r.failed) + "\n";
    }
    return out;
}

} // namespace wren::grade
