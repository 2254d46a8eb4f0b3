// Checking a case file by small changes of its model answer: a model of 40
// records with six cases, two of them on every input of ranges of 40,200
// inputs each; and a model of 4,096 records (the most the check takes) with
// three cases. Each prints how many changes it graded and how often it told
// its progress.
#include "case_check.h"
#include "grade.h"
#include "grade_cases.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// The class example's task (102 = x * y by repeated addition, 103 = x + y,
// 104 = 3x, 105 = y) and more sums of the same words, 40 records.
// (A comment in a program ends at its first comma: these have none.)
constexpr const char* kModel40 = R"({ 40 records: 102 = x * y and 103 = x + y and 104 = 3x
{ and 105 = y and 106 = 2y and 107 = x + 7 and 108 = x + y + 1 and 109 = x * y + y
LDAm 101
STAm 300
LDAi 0
STAm 102
LDAm 300
ADDi 65535
BVS 18
LDAi 30
STApc 0
STAm 300
LDAm 102
ADDm 100
STAm 102
LDAi 8
STApc 0
LDAm 100
ADDm 101
STAm 103
LDAm 100
ADDm 100
ADDm 100
STAm 104
LDAm 101
STAm 105
LDAm 101
ADDm 101
STAm 106
LDAm 100
ADDi 7
STAm 107
LDAm 103
ADDi 1
STAm 108
LDAm 102
ADDm 101
STAm 109
LDAi 0
STAm 301
LDAm 301
STAm 302
)";

constexpr const char* kExpectAll =
    "[case.expect]\nmem = { 102 = \"same\", 103 = \"same\", 104 = \"same\", 105 = \"same\", "
    "106 = \"same\", 107 = \"same\", 108 = \"same\", 109 = \"same\" }\n";

std::string SixCases() {
    std::string s = "reference = \"model.ram\"\nsteps = 20000\n";
    for (const char* inputs : {"set = { 100 = 6, 101 = 7 }", "set = { 100 = 9, 101 = 0 }",
                               "random = { 100 = [0, 200], 101 = [1, 200] }",
                               "set = { 100 = 3, 101 = 2, 102 = 77, 300 = 5, 301 = 9 }",
                               "every = { 100 = [0, 200], 101 = [1, 200] }",
                               "set = { 102 = 77 }\nevery = { 100 = [1, 201], 101 = [0, 199] }"})
        s += std::string("[[case]]\n") + inputs + "\n" + kExpectAll;
    return s;
}

// A long straight program: each record adds to or stores a running sum in
// words 100 to 107, 4,096 records in all.
std::string LongModel() {
    std::string s = "LDAi 0\n";
    for (int i = 1; i < 4096; ++i) {
        const int word = 100 + (i / 3) % 8;
        s += i % 3 == 0   ? "STAm " + std::to_string(word) + "\n"
             : i % 3 == 1 ? "ADDm " + std::to_string(word) + "\n"
                          : "ADDi " + std::to_string(i % 97) + "\n";
    }
    return s;
}

constexpr const char* kThreeCases =
    "reference = \"model.ram\"\n"
    "[[case]]\nset = { 100 = 3, 101 = 5 }\n"
    "[case.expect]\nmem = { 100 = \"same\", 103 = \"same\", 107 = \"same\" }\na = \"same\"\n"
    "[[case]]\nrandom = { 100 = [0, 1000], 104 = [0, 1000] }\n"
    "[case.expect]\nmem = { 101 = \"same\", 105 = \"same\" }\n"
    "[[case]]\nset = { 102 = 77, 106 = 9 }\n"
    "[case.expect]\nmem = { 102 = \"same\", 106 = \"same\" }\n";

void Check(benchmark::State& state, const std::string& model, const std::string& cases) {
    const fs::path dir = fs::temp_directory_path() / "wren-case-check-bench";
    fs::create_directories(dir);
    std::ofstream(dir / "model.ram") << model;
    std::ofstream(dir / "cases.toml") << cases;
    std::size_t changes = 0, told = 0, survivors = 0;
    for (auto _ : state) {
        std::optional<wren::grade::CaseFileError> error;
        wren::grade::CaseFile file =
            wren::grade::ReadCaseFile((dir / "cases.toml").string(), error);
        if (error || (error = wren::grade::ResolveReference(file, 1)) ||
            (error = wren::grade::CheckableReference(file))) {
            state.SkipWithError(error->message.c_str());
            break;
        }
        told = 0;
        const auto check = wren::grade::CheckCases(
            file, 1, [&](std::size_t, std::size_t of) { ++told, changes = of; });
        survivors = check.survivors.size() + check.likeTheModel.size();
    }
    state.counters["changes"] = static_cast<double>(changes);
    state.counters["progress_told"] = static_cast<double>(told);
    state.counters["let_through"] = static_cast<double>(survivors);
    fs::remove_all(dir);
}

void BM_CheckForty(benchmark::State& state) { Check(state, kModel40, SixCases()); }
void BM_CheckTheLargest(benchmark::State& state) { Check(state, LongModel(), kThreeCases); }

BENCHMARK(BM_CheckForty)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_CheckTheLargest)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
