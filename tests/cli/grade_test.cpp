#include "grade.h"
#include "grade_cases.h"
#include "grade_report.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>

namespace wren::grade {
namespace {

const std::string kExample = WREN_SOURCE_DIR "/examples/grading/";

CaseFile ExampleCases() {
    std::optional<CaseFileError> error;
    CaseFile cases = ReadCaseFile(kExample + "cases.toml", error);
    EXPECT_FALSE(error) << error->line << ": " << error->message;
    return cases;
}

struct OutcomeCase {
    const char* submission;
    Outcome outcome; // of every failed case
    int passed;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.submission; }

class ExampleOutcomeTest : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(ExampleOutcomeTest, EachSubmissionFailsInItsOwnWay) {
    const OutcomeCase& c = GetParam();
    const CaseFile cases = ExampleCases();
    const auto result = GradeSubmission(cases, kExample + "submissions/" + c.submission, 1);
    EXPECT_EQ(result.passed, c.passed);
    EXPECT_EQ(result.passed + result.failed, 7);
    for (const auto& r : result.cases) {
        if (r.outcome != Outcome::Passed) {
            EXPECT_EQ(r.outcome, c.outcome) << r.c->name << ": " << r.detail;
        }
    }

    // The Gradescope report parses and adds up.
    const auto json = nlohmann::json::parse(GradescopeReport(result, 1, true));
    double sum = 0;
    for (const auto& test : json["tests"]) {
        sum += test["score"].get<double>();
        EXPECT_EQ(test["status"] == "passed", test["score"] == test["max_score"]);
        // A hidden case shows students its outcome only.
        const std::string output = test["output"];
        if (test["status"] == "failed") {
            EXPECT_EQ(output.find("replay: wren-trace") != std::string::npos,
                      test["visibility"] == "visible")
                << output;
        }
        if (test["visibility"] != "visible") {
            EXPECT_EQ(output.find("inputs:"), std::string::npos) << output;
        }
    }
    EXPECT_EQ(json["score"].get<double>(), sum);
    EXPECT_EQ(json["max_score"], 10);
    EXPECT_NE(json["output"].get<std::string>().find("(seed 1)"), std::string::npos);
}

const OutcomeCase kOutcomes[] = {
    {"correct.ram", Outcome::Passed, 7},           {"wrong-result.ram", Outcome::WrongResult, 3},
    {"infinite-loop.ram", Outcome::DidNotStop, 3}, {"fault.ram", Outcome::Fault, 0},
    {"load-error.ram", Outcome::LoadError, 0},     {"empty.ram", Outcome::Empty, 0},
    {"missing.ram", Outcome::LoadError, 0},
};
INSTANTIATE_TEST_SUITE_P(Submissions, ExampleOutcomeTest, ::testing::ValuesIn(kOutcomes),
                         [](const auto& info) {
                             std::string name = info.param.submission;
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char ch) { return !std::isalnum(ch); }, '_');
                             return name;
                         });

struct BadCaseFile {
    const char* name;
    const char* toml;
    int line;
    const char* message;
};

void PrintTo(const BadCaseFile& c, std::ostream* os) { *os << c.name; }

class BadCaseFileTest : public ::testing::TestWithParam<BadCaseFile> {};

TEST_P(BadCaseFileTest, NamesTheLineAndTheReason) {
    const BadCaseFile& c = GetParam();
    test::TempDir dir;
    std::optional<CaseFileError> error;
    ReadCaseFile(dir.Write("cases.toml", c.toml), error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, c.line) << error->message;
    EXPECT_NE(error->message.find(c.message), std::string::npos) << error->message;
}

const BadCaseFile kBadFiles[] = {
    {"toml_syntax", "steps = 10\n[[case]]\nname = \n", 3, ""},
    {"no_cases", "steps = 10\n", 0, "no [[case]]"},
    {"unknown_key", "steps = 1\n[[case]]\npoints = 1\nstep = 5\n", 4, "unknown key 'step'"},
    {"address_past_memory", "steps = 1\n[[case]]\nset = { 65536 = 1 }\n", 3, "'65536'"},
    {"bad_value", "steps = 1\n[[case]]\nset = { 5 = \"x\" }\n", 3, "set.5"},
    {"value_too_wide", "steps = 1\n[[case]]\n[case.expect]\na = 4294967296\n", 4, "32 bits"},
    {"reversed_range", "steps = 1\n[[case]]\nrandom = { 5 = [9, 1] }\n", 3, "range is reversed"},
    {"random_and_set", "steps = 1\n[[case]]\nset = { 5 = 1 }\nrandom = { 5 = [0, 1] }\n", 4,
     "also in set"},
    {"bad_visibility", "steps = 1\n[[case]]\nvisibility = \"secret\"\n", 3, "visibility"},
    {"bad_stop", "steps = 1\n[[case]]\nstop = \"never\"\n", 3, "stop must be"},
    {"negative_steps", "steps = -1\n[[case]]\n", 1, "steps must be"},
    {"v_not_bool", "steps = 1\n[[case]]\n[case.expect]\nv = 1\n", 4,
     "expect.v is 1: give true, false or \"same\""},
};
INSTANTIATE_TEST_SUITE_P(CaseFiles, BadCaseFileTest, ::testing::ValuesIn(kBadFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Draw, IsFixedBySeedCaseAndAddressAndStaysInRange) {
    const RandomWord word{202, 1, 1000};
    EXPECT_EQ(Draw(1, 3, word), 332); // the same on every machine: reports name it
    EXPECT_EQ(Draw(1, 3, word), Draw(1, 3, word));
    EXPECT_NE(Draw(1, 3, word), Draw(2, 3, word));
    for (std::uint64_t seed = 0; seed < 200; ++seed) {
        const std::int32_t wide = Draw(seed, 0, {0, INT32_MIN, INT32_MAX});
        const std::int32_t one = Draw(seed, 0, {0, -5, -5});
        EXPECT_EQ(one, -5);
        static_cast<void>(wide);
    }
}

TEST(StopAt, EndsTheRunAtTheAddressAndChecksThere) {
    test::TempDir dir;
    const auto program = dir.Write("p.ram", "LDAi 1\nLDAi 2\nLDAi 3\n");
    const auto cases = dir.Write("c.toml", "steps = 10\n[[case]]\nstop = 2\n[case.expect]\na = 1\n"
                                           "[[case]]\n[case.expect]\na = 1\npc = 6\n");
    std::optional<CaseFileError> error;
    const CaseFile file = ReadCaseFile(cases, error);
    ASSERT_FALSE(error);
    const auto result = GradeSubmission(file, program.string(), 1);
    EXPECT_EQ(result.cases[0].outcome, Outcome::Passed) << CaseOutput(result.cases[0]);
    EXPECT_NE(result.cases[0].replay.find("--break 2"), std::string::npos);
    ASSERT_EQ(result.cases[1].mismatches.size(), 1u);
    EXPECT_EQ(result.cases[1].mismatches[0].what, "a");
    EXPECT_EQ(result.cases[1].mismatches[0].actual, "3");
}

TEST(Reference, SameIsWhatTheModelLeavesOnTheSameInputs) {
    std::optional<CaseFileError> error;
    CaseFile cases = ReadCaseFile(kExample + "multiply/cases.toml", error);
    ASSERT_FALSE(error) << error->message;
    ASSERT_FALSE(ResolveReference(cases, 7));
    // Case 3 draws both factors at random: the model's product of the draws.
    const Case& random = cases.cases[2];
    ASSERT_EQ(random.random.size(), 2u);
    EXPECT_EQ(random.expect.mem.at(102),
              Draw(7, 2, random.random[0]) * Draw(7, 2, random.random[1]));
    EXPECT_EQ(cases.cases[0].expect.mem.at(102), 42);
    EXPECT_GT(*cases.cases[3].expect.cyclesAtMost, 0);
}

struct ReferenceCase {
    const char* name;
    const char* model; // nullptr: no such file
    const char* expect;
    int line;
    const char* message;
};

TEST(Reference, AModelThatCannotStandMakesTheFileUnusable) {
    const ReferenceCase rows[] = {
        {"faults", "LDAi 1\nSTAm 70000\n", "a = \"same\"", 3,
         "case 'c': the reference REF faults after 1 step: index out of range: STAm operand 70000 "
         "at address 2"},
        {"never_ends", "LDAi 0\nSTApc 0\n", "a = \"same\"", 3,
         "case 'c': the reference REF does not end within the case's 100 steps"},
        {"does_not_load", "LDAi 9e9\n", "mem = { 5 = \"same\" }", 3,
         "case 'c': the reference REF does not load: REF:1: operand \"9e9\" is outside the 32-bit "
         "range"},
        {"missing", nullptr, "v = \"same\"", 3,
         "does not load: REF: cannot open: No such file or directory"},
        {"not_a_number_nor_same", "LDAi 1\n", "mem = { 102 = \"M[100]*M[101]\" }", 6,
         "expect.mem.102 is \"M[100]*M[101]\": give a whole number, a string such as \"&H10\", or "
         "\"same\""},
    };
    for (const auto& row : rows) {
        test::TempDir dir;
        std::string ref;
        if (row.model != nullptr)
            ref = dir.Write("model.ram", row.model).string();
        else
            ref = (dir.Path() / "model.ram").string();
        const auto path = dir.Write(
            "c.toml",
            std::string("reference = \"model.ram\"\nsteps = 100\n[[case]]\nname = \"c\"\n") +
                "[case.expect]\n" + row.expect + "\n");
        std::optional<CaseFileError> error;
        CaseFile cases = ReadCaseFile(path, error);
        if (!error)
            error = ResolveReference(cases, 1);
        ASSERT_TRUE(error) << row.name;
        std::string message = error->message;
        for (std::size_t at; (at = message.find(ref)) != std::string::npos;)
            message.replace(at, ref.size(), "REF");
        EXPECT_EQ(error->line, row.line) << row.name;
        EXPECT_NE(message.find(row.message), std::string::npos) << row.name << ": " << message;
    }
}

TEST(Reference, SameNeedsOne) {
    test::TempDir dir;
    std::optional<CaseFileError> error;
    ReadCaseFile(
        dir.Write("c.toml", "steps = 1\n[[case]]\nname = \"x\"\n[case.expect]\na = \"same\"\n"),
        error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, 2);
    EXPECT_NE(error->message.find("no reference program"), std::string::npos) << error->message;
}

// Boundaries of a case file, each a fault that once went unnoticed.
TEST(CaseBoundaries, HoldExactly) {
    test::TempDir dir;
    const auto program = dir.Write("p.ram", "LDAi 1\nSTAm 101\n"); // 6 cycles
    const auto cases = dir.Write("c.toml", R"(steps = 100
[[case]]
name = "both words"
random = { 100 = [3, 3] }
stop = 65535
[case.expect]
mem = { 101 = 1, 102 = 2 }
[[case]]
name = "cycles exactly"
[case.expect]
cycles_at_most = 6
[[case]]
name = "a"
[case.expect]
a = 1
)");
    std::optional<CaseFileError> error;
    const CaseFile file = ReadCaseFile(cases, error);
    ASSERT_FALSE(error) << error->line << ": " << error->message;
    EXPECT_EQ(file.cases[0].stopAt, 65535);
    const SubmissionResult result = GradeSubmission(file, program.string(), 1);
    const CaseResult& both = result.cases[0];
    EXPECT_EQ(both.spec.sets, (std::vector<std::pair<std::int32_t, std::int32_t>>{{100, 3}}));
    EXPECT_EQ(both.outcome, Outcome::WrongResult);
    EXPECT_EQ(both.replay, "wren-trace --steps 100 --set 100=3 --break 65535 --dump 101:102 " +
                               program.string());
    EXPECT_EQ(result.cases[1].outcome, Outcome::Passed) << CaseOutput(result.cases[1]);
    EXPECT_EQ(result.cases[2].outcome, Outcome::Passed);
    const std::string junit = JunitReport({result}, 1);
    EXPECT_NE(junit.find(R"(<testsuites name="wren-grade" tests="3" failures="1">)"),
              std::string::npos)
        << junit;
}

TEST(EndlessLoop, IsToldApartFromASlowProgram) {
    test::TempDir dir;
    const auto loop = dir.Write("loop.ram", "LDAi 0\nSTApc 0\n");
    const auto slow = dir.Write("slow.ram", "LDAm 100\nADDi 1\nSTAm 100\nLDAi 0\nSTApc 0\n");
    const auto cases = dir.Write("c.toml", "steps = 50\n[[case]]\n[case.expect]\na = 1\n");
    std::optional<CaseFileError> error;
    const CaseFile file = ReadCaseFile(cases, error);
    ASSERT_FALSE(error);
    const CaseResult looped = GradeSubmission(file, loop.string(), 1).cases[0];
    EXPECT_EQ(looped.outcome, Outcome::EndlessLoop);
    EXPECT_EQ(looped.detail, "endless loop: the state at step 3 repeats step 1 (PC 2)");
    EXPECT_NE(looped.replay.find("--detect-loops"), std::string::npos);
    EXPECT_EQ(looped.lastSteps.back(), "end: endless loop after 3 steps: the state repeats step 1; "
                                       "A: 0  PC: 2  V: False  Cycles: 9");
    const CaseResult slowed = GradeSubmission(file, slow.string(), 1).cases[0];
    EXPECT_EQ(slowed.outcome, Outcome::DidNotStop);
    EXPECT_EQ(slowed.replay.find("--detect-loops"), std::string::npos);
}

} // namespace
} // namespace wren::grade
