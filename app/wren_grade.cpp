// wren-grade: run every submission against a case file and report scores.

#include "case_check.h"
#include "class_build.h"
#include "class_report.h"
#include "cli_app.h"
#include "grade.h"
#include "grade_cases.h"
#include "grade_report.h"
#include "run_report.h"
#include "similarity.h"
#include "submission_sources.h"
#include "wren.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kExitAllPassed = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitBadCaseFile = 65;
constexpr std::uint64_t kDefaultSeed = 1;

constexpr const char* kFooter = R"(
Runs every case of CASES.toml on each SUBMISSION in a fresh processor and
scores it. Each case ends as exactly one of: passed, wrong result, endless loop
(its state repeats), did not stop within its step limit (10000 unless the file
says otherwise), machine fault, the file did not load, or the file holds no
instruction. Every failure shows the wren-trace command that replays it and
its last traced steps; a case that is not visible shows only its name, points
and outcome, unless --show-hidden. Random inputs are drawn from --seed, which
every report names: the same command gives the same reports. A case with
every runs each combination of its ranges (up to runs, then every boundary
and a sample), and a failing one gives how many inputs fail, the smallest
failing input, what the failing inputs share, and that run's writes beside
the model answer's. --check-cases grades small changes of the model answer
instead and names those every case lets through. With --page, each failing
visible case links to the page
with the program and its inputs set. With --out, each
report is named after its submission's file name; where two share one, the
folders above them go in front until they differ (alice_hw1.txt).

A SUBMISSION may be a folder (its .ram files), @LIST (a file that names one
submission a line) or a .zip archive (its .ram entries). --class-report
writes one HTML page on the whole class: how each case ended, the points,
the steps of the programs that passed against the model answer's, the
checker's slips, similar submissions and a sortable table; --class-json the
same figures as JSON. Similar submissions are found from the programs as
the machine loads them (k-grams of the words, winnowed; comments, layout
and shifted addresses make no difference), leaving out what the model
answer and --base share; --no-similar skips it. --format csv prints a
gradebook (Student, SIS Login ID, Total and each case's points) for Moodle
or Canvas. A submission that cannot be read or is not text is named and
not graded; the reports are written whole or not at all.

Standard output ends with one line "N passed, N failed", counting cases.

Exit status: 0 every case of every submission passed, 1 some case failed,
64 bad usage, 65 the case file is not usable (CASES.toml:LINE: message).)";

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out)
        std::cerr << "wren-grade: cannot write " << path.string() << "\n";
    return static_cast<bool>(out);
}

// The case file checked, with the count of changes on a terminal.
wren::grade::CaseCheck CheckWithProgress(const wren::grade::CaseFile& cases, std::uint64_t seed) {
    const bool tty = ::isatty(2) != 0;
    auto check = wren::grade::CheckCases(cases, seed, [tty](std::size_t done, std::size_t of) {
        if (tty)
            std::cerr << "\rchecking change " << done + 1 << " of " << of << std::flush;
    });
    if (tty)
        std::cerr << "\n";
    return check;
}

// --check-cases: the case file's model answer changed in small ways, each
// graded with all the cases.
int CheckCaseFile(const std::string& caseFile, std::uint64_t seed, const std::string& format) {
    std::optional<wren::grade::CaseFileError> error;
    wren::grade::CaseFile cases = wren::grade::ReadCaseFile(caseFile, error);
    if (!error)
        error = wren::grade::CheckableReference(cases);
    if (!error)
        error = wren::grade::ResolveReference(cases, seed);
    if (error) {
        std::cerr << caseFile << (error->line > 0 ? ":" + std::to_string(error->line) : "") << ": "
                  << error->message << "\n";
        return kExitBadCaseFile;
    }
    const auto check = CheckWithProgress(cases, seed);
    std::cout << (format == "json" ? wren::grade::CaseCheckJson(check)
                                   : wren::grade::CaseCheckText(check));
    return check.survivors.empty() ? kExitAllPassed : kExitSomeFailed;
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    CLI::App app("Grade Wren programs against a case file.", "wren-grade");
    std::string format = "text", outDir, summary;
    std::uint64_t seed = kDefaultSeed;
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::string caseFile;
    std::vector<std::string> submissions;
    app.add_option("--format", format,
                   "text (default), gradescope, junit, csv; json with --check-cases")
        ->check(CLI::IsMember({"text", "gradescope", "junit", "csv", "json"}));
    bool checkCases = false;
    app.add_flag("--check-cases", checkCases,
                 "change the model answer in small ways and name the changes every case lets "
                 "through");
    std::string classReport, classJson, base;
    bool similar = false, noSimilar = false;
    double threshold = 0.6;
    app.add_option("--class-report", classReport, "write the class report (HTML) to FILE")
        ->type_name("FILE");
    app.add_option("--class-json", classJson, "write the class report's figures (JSON) to FILE")
        ->type_name("FILE");
    app.add_flag("--similar", similar, "look for similar submissions (on with a class report)");
    app.add_flag("--no-similar", noSimilar, "do not look for similar submissions");
    app.add_option("--similar-threshold", threshold,
                   "report pairs that share at least this share of fingerprints (default 0.6)")
        ->type_name("X")
        ->check(CLI::Range(0.05, 1.0));
    app.add_option("--base", base, "a starter program: what it holds is no sign of copying")
        ->type_name("FILE");
    app.add_option("--out", outDir, "write one report per submission into DIR")->type_name("DIR");
    app.add_option("--summary", summary, "write one TSV row per submission")->type_name("FILE");
    app.add_option("--seed", seed, "seed of the random inputs (default 1)")->type_name("N");
    wren::grade::ReportOptions reportOptions;
    app.add_option("--page", reportOptions.page,
                   "the page's address: each failing visible case gets a link that opens it there")
        ->type_name("URL");
    app.add_flag("--show-hidden", reportOptions.showHidden,
                 "show hidden cases' inputs, expectations and steps too (for staff)");
    app.add_option("-j,--jobs", threads, "grade on N threads (default: one per core)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    app.add_option("CASES", caseFile, "the case file (TOML)")->required();
    app.add_option("SUBMISSION", submissions, "program files to grade (none with --check-cases)");
    if (const int status = wren::cli::Parse(app, kFooter, argc, argv); status >= 0)
        return status;
    const bool classWanted = !classReport.empty() || !classJson.empty() || similar;
    if (checkCases && format != "text" && format != "json") {
        std::cerr << "wren-grade: --check-cases writes text or json, not " << format << "\n";
        return 64;
    }
    if (checkCases && !submissions.empty() && (classReport.empty() && classJson.empty())) {
        std::cerr << "wren-grade: --check-cases with submissions needs --class-report or "
                     "--class-json, where its line goes\n";
        return 64;
    }
    if (checkCases && submissions.empty())
        return CheckCaseFile(caseFile, seed, format);
    if (submissions.empty()) {
        std::cerr << "wren-grade: SUBMISSION is required\n";
        return 64;
    }
    if (format == "json") {
        std::cerr << "wren-grade: --format json is for --check-cases with no submission\n";
        return 64;
    }

    std::optional<wren::grade::CaseFileError> error;
    wren::grade::CaseFile cases = wren::grade::ReadCaseFile(caseFile, error);
    // The model answer runs once per case, for every submission alike.
    if (!error)
        error = wren::grade::ResolveReference(cases, seed);
    if (!error && checkCases)
        error = wren::grade::CheckableReference(cases);
    if (error) {
        std::cerr << caseFile << (error->line > 0 ? ":" + std::to_string(error->line) : "") << ": "
                  << error->message << "\n";
        return kExitBadCaseFile;
    }

    // The class: folders, lists and archives give their files; a file that
    // is not text is named and left out of the grading.
    std::error_code scratchError;
    const std::filesystem::path scratch = std::filesystem::temp_directory_path(scratchError) /
                                          ("wren-grade-" + std::to_string(::getpid()));
    wren::grade::Submissions collected = wren::grade::CollectSubmissions(submissions, scratch);
    submissions = collected.files;
    wren::grade::ClassOptions classOptions;
    classOptions.classReport = classWanted;
    classOptions.similarity = classWanted && !noSimilar;
    classOptions.threshold = threshold;
    classOptions.base = base;
    classOptions.threads = threads;
    wren::grade::ClassInput klass = wren::grade::BuildClass(cases, submissions, seed, classOptions,
                                                            std::move(collected.problems));
    if (checkCases)
        klass.caseCheck = CheckWithProgress(cases, seed);
    for (const std::string& problem : klass.problems)
        std::cerr << "wren-grade: " << problem << "\n";
    if (submissions.empty())
        std::cerr << "wren-grade: no submission to grade\n";
    const auto& results = klass.results;
    std::vector<std::string> names;
    for (const auto& m : klass.members)
        names.push_back(m.name);

    int passed = 0, failed = 0;
    for (const auto& r : results) {
        passed += r.passed;
        failed += r.failed;
    }
    bool written = true;
    const std::string ext = format == "text" ? ".txt" : format == "gradescope" ? ".json" : ".xml";
    // With --out, each name in the class report links to its own report.
    if (!outDir.empty() && !classReport.empty()) {
        std::error_code ec;
        const auto from = std::filesystem::absolute(classReport, ec).parent_path();
        for (auto& m : klass.members)
            m.report = std::filesystem::relative(
                           std::filesystem::absolute(outDir, ec) / (m.name + ext), from, ec)
                           .generic_string();
    }
    if (format == "csv") {
        std::cout << wren::grade::GradebookCsv(klass);
    } else if (!outDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(outDir, ec);
        for (std::size_t i = 0; i < results.size(); ++i) {
            const std::filesystem::path base = std::filesystem::path(outDir) / names[i];
            const std::string report =
                format == "text" ? wren::grade::TextReport(results[i], seed, reportOptions)
                : format == "gradescope"
                    ? wren::grade::GradescopeReport(results[i], seed, true, reportOptions)
                    : wren::grade::JunitReport({results[i]}, seed, reportOptions);
            written &= WriteFile(base.string() + ext, report);
            std::cout << results[i].file << ": " << wren::grade::PointsText(results[i].score) << "/"
                      << wren::grade::PointsText(results[i].maxScore) << " -> " << base.string()
                      << ext << "\n";
        }
    } else if (format == "text") {
        for (const auto& r : results)
            std::cout << wren::grade::TextReport(r, seed, reportOptions) << "\n";
    } else if (format == "gradescope") {
        for (const auto& r : results)
            std::cout << wren::grade::GradescopeReport(r, seed, false, reportOptions);
    } else {
        std::cout << wren::grade::JunitReport(results, seed, reportOptions);
    }
    if (!summary.empty())
        written &= WriteFile(summary, wren::grade::SummaryTsv(results));
    if (classWanted) {
        const auto figures = wren::grade::ClassJson(klass);
        if (!classJson.empty())
            written &= wren::grade::WriteAtomically(classJson, figures.dump(1) + "\n");
        if (!classReport.empty())
            written &= wren::grade::WriteAtomically(classReport, wren::grade::ClassHtml(figures));
        if (format == "text")
            std::cout << wren::grade::ClassSummaryText(figures);
    }
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
    std::cout << passed << " passed, " << failed << " failed\n";
    std::cout.flush();
    if (!written)
        return kExitSomeFailed;
    if (submissions.empty())
        return kExitSomeFailed;
    return failed == 0 ? kExitAllPassed : kExitSomeFailed;
}
