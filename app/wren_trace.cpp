// wren-trace: load a program file and execute it without the window.

#include "status_text.h"
#include "wren.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr int kExitLoadProblem = 1;
constexpr int kExitMachineFault = 2;
constexpr int kExitUsage = 64;

constexpr std::string_view kHelp =
    "Usage: wren-trace [--steps N] [--quiet] FILE\n"
    "\n"
    "Loads the program text file FILE into a new Wren processor, exactly as the\n"
    "simulator window does, and executes up to N instructions (default 10000).\n"
    "\n"
    "  --steps N   execute at most N instructions\n"
    "  --quiet     print only the final state, not one line per instruction\n"
    "  --help      show this text\n"
    "\n"
    "Each traced line is the listing line of the instruction at PC followed by\n"
    "the state after it. The run stops early when PC reaches a word that holds\n"
    "no instruction.\n"
    "\n"
    "Exit status: 0 done, 1 the file did not load (FILE:LINE: reason on standard\n"
    "error), 2 a machine fault (named with its address), 64 bad usage.\n";

struct Options {
    long long steps = 10000;
    bool quiet = false;
    const char* file = nullptr;
};

std::string State(const wren::Wren& cpu) {
    return wren::AccumulatorText(cpu) + "  " + wren::PCounterText(cpu) + "  " +
           wren::OverflowText(cpu) + "  " + wren::CyclesText(cpu);
}

int Usage(const char* why) {
    std::fprintf(stderr, "wren-trace: %s\nTry 'wren-trace --help'.\n", why);
    return kExitUsage;
}

// Returns -1 when the options are complete, otherwise the exit status.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fwrite(kHelp.data(), 1, kHelp.size(), stdout);
            return 0;
        }
        if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else if (arg == "--steps") {
            if (++i == argc)
                return Usage("--steps needs a number");
            const std::string_view value = argv[i];
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), options.steps);
            if (ec != std::errc{} || end != value.data() + value.size() || options.steps < 0)
                return Usage("--steps needs a whole number of 0 or more");
        } else if (arg.starts_with('-') && arg.size() > 1) {
            return Usage(("unknown option " + std::string(arg)).c_str());
        } else if (options.file != nullptr) {
            return Usage("give exactly one program file");
        } else {
            options.file = argv[i];
        }
    }
    if (options.file == nullptr)
        return Usage("no program file given");
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int status = ParseOptions(argc, argv, options); status >= 0)
        return status;

    wren::Wren cpu;
    if (const auto error = cpu.Load_Ram(options.file)) {
        if (error->line > 0)
            std::fprintf(stderr, "%s:%d: %s\n", options.file, error->line, error->message.c_str());
        else
            std::fprintf(stderr, "%s: %s\n", options.file, error->message.c_str());
        return kExitLoadProblem;
    }

    std::string line;
    for (long long step = 0; step < options.steps; ++step) {
        const std::int32_t pc = cpu.PCounter();
        const std::int32_t cycles = cpu.Cycles();
        if (!options.quiet)
            line = cpu.Disassemble(pc);
        try {
            cpu.Step();
        } catch (const wren::MachineError& fault) {
            std::printf("%s\n", State(cpu).c_str());
            std::fflush(stdout);
            std::fprintf(stderr, "%s: machine fault: %s\n", options.file, fault.what());
            return kExitMachineFault;
        }
        // Every instruction costs cycles, so an unchanged count means PC held none.
        if (cpu.Cycles() == cycles) {
            std::printf("stopped after %lld steps: no instruction at address %d\n", step, pc);
            break;
        }
        if (!options.quiet)
            std::printf("%-24s%s\n", line.c_str(), State(cpu).c_str());
    }
    if (options.quiet)
        std::printf("%s\n", State(cpu).c_str());
    return 0;
}
