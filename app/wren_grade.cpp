// wren-grade: run every submission against a case file and report scores.

#include "cli_app.h"
#include "grade.h"
#include "grade_cases.h"
#include "grade_report.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <thread>

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
every report names: the same command gives the same reports. With --out, each
report is named after its submission's file name; where two share one, the
folders above them go in front until they differ (alice_hw1.txt).

Standard output ends with one line "N passed, N failed", counting cases.

Exit status: 0 every case of every submission passed, 1 some case failed,
64 bad usage, 65 the case file is not usable (CASES.toml:LINE: message).)";

// One report file name per submission, whatever way its path was written:
// the file's name without its extension; where two submissions share one,
// the names of the folders above each (of its absolute path) go in front,
// nearest first, until they differ: alice_hw1, bob_hw1.
std::vector<std::string> ReportNames(const std::vector<std::string>& files) {
    std::vector<std::vector<std::string>> parts; // stem, then folders upwards
    for (const auto& f : files) {
        std::error_code ec;
        std::filesystem::path path =
            std::filesystem::weakly_canonical(std::filesystem::absolute(f, ec), ec);
        std::vector<std::string> up{path.stem().string()};
        for (path = path.parent_path(); path.has_relative_path(); path = path.parent_path())
            up.push_back(path.filename().string());
        parts.push_back(std::move(up));
    }
    std::vector<std::size_t> depth(files.size(), 1);
    auto name = [&](std::size_t i) {
        std::string out;
        for (std::size_t d = std::min(depth[i], parts[i].size()); d-- > 0;)
            out += (out.empty() ? "" : "_") + parts[i][d];
        return out;
    };
    for (bool clash = true; clash;) {
        clash = false;
        std::map<std::string, std::vector<std::size_t>> byName;
        for (std::size_t i = 0; i < files.size(); ++i)
            byName[name(i)].push_back(i);
        for (auto& [_, same] : byName) {
            // The same file given twice climbs no folders: nothing would
            // tell its reports apart; they are numbered below.
            const bool distinct = std::any_of(same.begin(), same.end(), [&](std::size_t i) {
                return parts[i] != parts[same[0]];
            });
            if (distinct)
                for (std::size_t i : same)
                    if (depth[i] < parts[i].size()) {
                        ++depth[i];
                        clash = true;
                    }
        }
    }
    std::vector<std::string> names;
    std::map<std::string, int> seen;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string n = name(i);
        if (n.empty() || n.starts_with('.'))
            n = "submission" + n;
        // The same file given twice: number the later ones.
        if (const int k = seen[n]++; k > 0)
            n += "-" + std::to_string(k + 1);
        names.push_back(std::move(n));
    }
    return names;
}

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out)
        std::cerr << "wren-grade: cannot write " << path.string() << "\n";
    return static_cast<bool>(out);
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
    app.add_option("--format", format, "text (default), gradescope or junit")
        ->check(CLI::IsMember({"text", "gradescope", "junit"}));
    app.add_option("--out", outDir, "write one report per submission into DIR")->type_name("DIR");
    app.add_option("--summary", summary, "write one TSV row per submission")->type_name("FILE");
    app.add_option("--seed", seed, "seed of the random inputs (default 1)")->type_name("N");
    wren::grade::ReportOptions reportOptions;
    app.add_flag("--show-hidden", reportOptions.showHidden,
                 "show hidden cases' inputs, expectations and steps too (for staff)");
    app.add_option("-j,--jobs", threads, "grade on N threads (default: one per core)")
        ->type_name("N")
        ->check(CLI::Range(1u, 1024u));
    app.add_option("CASES", caseFile, "the case file (TOML)")->required();
    app.add_option("SUBMISSION", submissions, "program files to grade")->required();
    if (const int status = wren::cli::Parse(app, kFooter, argc, argv); status >= 0)
        return status;

    std::optional<wren::grade::CaseFileError> error;
    wren::grade::CaseFile cases = wren::grade::ReadCaseFile(caseFile, error);
    // The model answer runs once per case, for every submission alike.
    if (!error)
        error = wren::grade::ResolveReference(cases, seed);
    if (error) {
        std::cerr << caseFile << (error->line > 0 ? ":" + std::to_string(error->line) : "") << ": "
                  << error->message << "\n";
        return kExitBadCaseFile;
    }

    const auto results = wren::grade::GradeAll(cases, submissions, seed, threads);

    int passed = 0, failed = 0;
    for (const auto& r : results) {
        passed += r.passed;
        failed += r.failed;
    }
    bool written = true;
    if (!outDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(outDir, ec);
        const auto names = ReportNames(submissions);
        for (std::size_t i = 0; i < results.size(); ++i) {
            const std::filesystem::path base = std::filesystem::path(outDir) / names[i];
            if (format == "text")
                written &= WriteFile(base.string() + ".txt",
                                     wren::grade::TextReport(results[i], seed, reportOptions));
            else if (format == "gradescope")
                written &=
                    WriteFile(base.string() + ".json",
                              wren::grade::GradescopeReport(results[i], seed, true, reportOptions));
            else
                written &= WriteFile(base.string() + ".xml",
                                     wren::grade::JunitReport({results[i]}, seed, reportOptions));
            std::cout << results[i].file << ": " << wren::grade::PointsText(results[i].score) << "/"
                      << wren::grade::PointsText(results[i].maxScore) << " -> " << base.string()
                      << (format == "text"         ? ".txt"
                          : format == "gradescope" ? ".json"
                                                   : ".xml")
                      << "\n";
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
    std::cout << passed << " passed, " << failed << " failed\n";
    std::cout.flush();
    if (!written)
        return kExitSomeFailed;
    return failed == 0 ? kExitAllPassed : kExitSomeFailed;
}
