// wren-trace: check a program file, or load it and run it without the window.

#include "cli_app.h"
#include "listing.h"
#include "program_check.h"
#include "run_report.h"
#include "run_spec.h"
#include "step_json.h"
#include "wren.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kExitDone = 0;
constexpr int kExitLoadProblem = 1;
constexpr int kExitMachineFault = 2;
constexpr int kExitFindings = 3;
constexpr int kExitStepLimit = 4;
constexpr int kExitLoop = 5;

constexpr const char* kFooter = R"(
Without --check, loads FILE into a new Wren processor exactly as the simulator
window does, writes the --set words, and executes it until a word that holds no
instruction, a --break address, a machine fault or the step limit. Each traced
line is the listing line of the instruction, then the state after it; the last
line says why the run ended and gives the final state, and --dump lines follow.
--json prints the same as JSON Lines: one object per step, then one final
object {"end":"steps"|"no-instruction"|"break"|"fault"|"loop", ...}. With
--explain, each step is followed by what it did, in register-transfer
notation with its values ("A ← A + M[100] = 5 + 7 = 12 · ..."), and a fault
by what failed; with --json, each object has it as "explain", with the
registers and words read and written. With
--detect-loops, a run whose state (A, PC, V and all memory) repeats an
earlier one ends there: it would never end ("end":"loop","from":STEP).

With --listing, prints one line per record of FILE: the address and the two
words it loads, LINE:COL and its text; comments, skipped and blank records
have no address. With --json, one object per record.

With --check, reads each FILE as the loader does and warns, in GCC's style,
about records that load differently from how they read: -Wunknown-mnemonic,
-Wmissing-operand, -Wtab-separator, -Wcomma-in-comment, -Wtrailing-text,
-Wnot-a-number, -Wspace-in-number, -Wrounded, -Wquote, -Wjump-target,
-Waddress-range; -Wdata also lists unknown mnemonics used as data labels, and
-Wself-modify STAm instructions that write into the program itself.
-Wno-NAME turns a warning off.

VALUE follows the operand rules of program files (5, -5, &HFF, &O17).

Exit status: 0 done (--check: no findings), 1 a file did not load
(FILE:LINE: reason on standard error), 2 a machine fault (named with its
address), 3 --check found something, 4 the step limit ended the run before
the program did, 5 --detect-loops found an endless loop, 64 bad usage.)";

int Usage(const std::string& why) { return wren::cli::Usage("wren-trace", why); }

struct Options {
    std::string steps;
    bool quiet = false;
    bool json = false;
    bool check = false;
    bool listing = false;
    bool detectLoops = false;
    bool explain = false;
    std::vector<std::string> warnings, sets, dumps, breaks, files;
};

class Tracer : public wren::RunObserver {
public:
    Tracer(const wren::Wren& cpu, bool json, bool explain)
        : cpu_(cpu), json_(json), explain_(explain) {}
    void Before(std::int32_t at) override {
        listing_ = cpu_.Disassemble(at);
        target_ = wren::cli::StoreTarget(cpu_, at);
        if (explain_)
            step_ = wren::DescribeStep(cpu_);
    }
    void After(long long step, std::int32_t at) override {
        if (json_) {
            auto object = wren::cli::StepJson(step, at, listing_, cpu_, target_);
            if (explain_)
                object["explain"] = wren::cli::StepDescriptionJson(step_);
            std::cout << wren::cli::JsonLine(object) << '\n';
        } else {
            std::cout << wren::cli::StepText(listing_, cpu_, target_) << '\n';
            if (explain_)
                std::cout << "    " << step_.text << '\n';
        }
    }
    /// The step that faulted, as Before described it.
    const wren::StepDescription& Pending() const { return step_; }

private:
    const wren::Wren& cpu_;
    bool json_;
    bool explain_;
    std::string listing_;
    std::optional<std::int32_t> target_;
    wren::StepDescription step_;
};

int Check(const Options& options) {
    wren::CheckOptions checkOptions;
    std::vector<std::string> off;
    for (const std::string& w : options.warnings) {
        const bool no = w.starts_with("no-");
        const std::string name = no ? w.substr(3) : w;
        const auto& names = wren::FindingNames();
        if (std::find(names.begin(), names.end(), name) == names.end())
            return Usage("unknown warning -W" + w);
        if (name == "data")
            checkOptions.data = !no;
        else if (name == "self-modify")
            checkOptions.selfModify = !no;
        else if (no)
            off.push_back(name);
    }

    int status = kExitDone;
    for (const std::string& file : options.files) {
        const wren::CheckResult result = wren::CheckProgram(file, checkOptions);
        for (const auto& finding : result.findings) {
            if (std::find(off.begin(), off.end(), finding.name) != off.end())
                continue;
            std::cout << wren::cli::FindingText(file, finding);
            status = std::max(status, kExitFindings);
        }
        if (const auto& error = result.error) {
            std::cout << wren::cli::CheckErrorText(file, *error) << '\n';
            status = kExitLoadProblem;
        }
    }
    return status;
}

// Where each record of the file goes: the loader's own load for the words,
// the program map for the records.
int Listing(const Options& options) {
    const std::string& file = options.files.front();
    wren::Wren cpu;
    const auto error = cpu.Load_Ram(file);
    if (error && error->line == 0) {
        std::cerr << wren::cli::LoadErrorText(file, *error) << '\n';
        return kExitLoadProblem;
    }
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const wren::ProgramMap map = wren::MapProgram(text);
    const auto lines = wren::SplitLines(text);
    if (!options.json)
        std::cout << wren::cli::ListingHeader() << '\n';
    for (const wren::RecordSummary& record : map.records) {
        const std::string_view recordText = wren::cli::RecordText(lines, record);
        if (options.json)
            std::cout << wren::cli::JsonLine(wren::cli::ListingJson(record, recordText, cpu))
                      << '\n';
        else
            std::cout << wren::cli::ListingLine(record, recordText, cpu) << '\n';
    }
    std::cout.flush();
    if (error) {
        std::cerr << wren::cli::LoadErrorText(file, *error) << '\n';
        return kExitLoadProblem;
    }
    return kExitDone;
}

int Trace(const Options& options, const wren::cli::RunSpec& spec) {
    const std::string& file = options.files.front();
    wren::Wren cpu;
    if (const auto error = cpu.Load_Ram(file)) {
        if (options.json)
            std::cout << wren::cli::JsonLine(wren::cli::LoadErrorJson(file, *error)) << '\n';
        std::cerr << wren::cli::LoadErrorText(file, *error) << '\n';
        return kExitLoadProblem;
    }
    wren::cli::ApplySets(spec, cpu);

    Tracer tracer(cpu, options.json, options.explain);
    const wren::RunResult result = wren::Run(cpu, spec.limits, options.quiet ? nullptr : &tracer);
    // The faulting step is explained with the end, since it did not complete.
    const bool explainFault = options.explain && result.reason == wren::StopReason::Fault;
    if (options.json) {
        auto end = wren::cli::EndJson(result, spec, cpu);
        if (explainFault)
            end["explain"] = wren::cli::StepDescriptionJson(tracer.Pending());
        std::cout << wren::cli::JsonLine(end) << '\n';
    } else {
        if (explainFault)
            std::cout << "    " << tracer.Pending().text << '\n';
        std::cout << wren::cli::EndText(result, cpu) << '\n' << wren::cli::DumpText(spec, cpu);
    }
    std::cout.flush();
    if (result.reason == wren::StopReason::Fault) {
        std::cerr << file << ": machine fault: " << result.fault << '\n';
        return kExitMachineFault;
    }
    // A script must tell a finished run from one the limit cut short, and
    // both from one that would never have finished.
    switch (result.reason) {
    case wren::StopReason::StepLimit: return kExitStepLimit;
    case wren::StopReason::Loop: return kExitLoop;
    default: return kExitDone;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    CLI::App app("Check a Wren program file, or run it without the window.", "wren-trace");
    Options options;
    app.add_option("--steps", options.steps, "execute at most N instructions (default 10000)")
        ->type_name("N");
    app.add_flag("-q,--quiet", options.quiet, "print only the end line, not every step");
    app.add_flag("--json", options.json, "print JSON Lines instead of text");
    app.add_flag("--detect-loops", options.detectLoops,
                 "end the run as soon as its state repeats an earlier one (an endless loop)");
    app.add_flag("--explain", options.explain,
                 "after each traced step, say what it did in register-transfer notation");
    app.add_option("--set", options.sets, "write VALUE at ADDR before the run (repeatable)")
        ->type_name("ADDR=VALUE")
        ->allow_extra_args(false);
    app.add_option("--dump", options.dumps,
                   "print word ADDR, or words FROM..TO, after the run (repeatable)")
        ->type_name("FROM:TO")
        ->allow_extra_args(false);
    app.add_option("--break", options.breaks, "stop when a step leaves PC at ADDR (repeatable)")
        ->type_name("ADDR")
        ->allow_extra_args(false);
    app.add_flag("--check", options.check, "warn about records that load unexpectedly");
    app.add_flag(
        "--listing", options.listing,
        "list every record with its address and the words it loads (with --json: JSON Lines)");
    app.add_option("-W", options.warnings, "with --check: -WNAME or -Wno-NAME")
        ->type_name("NAME")
        ->allow_extra_args(false);
    app.add_option("FILE", options.files, "program text file(s)");
    if (const int status = wren::cli::Parse(app, kFooter, argc, argv); status >= 0)
        return status;

    if (options.files.empty())
        return Usage("no program file given");
    if (options.check) {
        if (!options.steps.empty() || options.quiet || options.json || !options.sets.empty() ||
            !options.dumps.empty() || !options.breaks.empty() || options.detectLoops ||
            options.explain)
            return Usage("--check takes no run options");
        return Check(options);
    }
    if (!options.warnings.empty())
        return Usage("-W goes with --check");
    if (options.listing) {
        if (!options.steps.empty() || options.quiet || !options.sets.empty() ||
            !options.dumps.empty() || !options.breaks.empty() || options.explain)
            return Usage("--listing takes no run options");
        if (options.files.size() != 1)
            return Usage("give exactly one program file to list");
        return Listing(options);
    }
    if (options.files.size() != 1) {
        // "--set 100=3 101=4": the second input lost its option.
        for (const std::string& file : options.files)
            if (const auto eq = file.find('=');
                eq != std::string::npos && wren::cli::ParseAddress(file.substr(0, eq)))
                return Usage("'" + file + "' is not a program file: did you mean --set " + file +
                             "?");
        return Usage("give exactly one program file to run (or use --check)");
    }

    if (options.explain && options.quiet)
        return Usage("--explain explains traced steps: it does not go with --quiet");
    wren::cli::RunSpec spec;
    spec.limits.detectLoops = options.detectLoops;
    if (!options.steps.empty()) {
        const auto& s = options.steps;
        long long steps = -1;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), steps);
        if (ec != std::errc{} || end != s.data() + s.size() || steps < 0)
            return Usage("--steps " + s + ": needs a whole number of 0 or more");
        spec.limits.steps = steps;
    }
    for (const auto& arg : options.sets)
        if (auto why = wren::cli::AddSet(spec, arg))
            return Usage(*why);
    for (const auto& arg : options.dumps)
        if (auto why = wren::cli::AddDump(spec, arg))
            return Usage(*why);
    for (const auto& arg : options.breaks)
        if (auto why = wren::cli::AddBreak(spec, arg))
            return Usage(*why);
    return Trace(options, spec);
}
