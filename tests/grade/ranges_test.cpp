// Cases that run every input of their ranges: counts, the smallest failing
// input, what the failing inputs share, the runs side by side, bad files.

#include "class_build.h"
#include "grade.h"
#include "grade_cases.h"
#include "grade_report.h"
#include "input_plan.h"
#include "inputs.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace wren::grade {
namespace {

const std::string kPrograms = WREN_SOURCE_DIR "/tests/grade/ranges/";
const std::string kModel = WREN_SOURCE_DIR "/examples/grading/multiply/model.ram";

// A case file of one case in a temporary folder, its reference resolved.
struct OneCase {
    test::TempDir dir;
    CaseFile cases;
    OneCase(const std::string& body, std::uint64_t seed = 1) {
        std::optional<CaseFileError> error;
        cases = ReadCaseFile(dir.Write("cases.toml", "reference = \"" + kModel + "\"\n[[case]]\n" +
                                                         "name = \"factors\"\n" + body),
                             error);
        EXPECT_FALSE(error) << error->line << ": " << error->message;
        if (!error)
            error = ResolveReference(cases, seed);
        EXPECT_FALSE(error) << error->line << ": " << error->message;
    }
    CaseResult Grade(const std::string& program, std::uint64_t seed = 1) const {
        return GradeSubmission(cases, kPrograms + program, seed).cases.at(0);
    }
};

// Counts up to 10 keep the debug and sanitizer builds quick.
const std::string kMultiplyEvery = "every = { 100 = [0, 200], 101 = [1, 10] }\n"
                                   "[case.expect]\nmem = { 102 = \"same\" }\n";

struct Found {
    const char* program;
    const char* body;
    std::uint64_t failed;
    std::uint64_t run;
    const char* smallest;
    const char* condition; // "" for none
};

void PrintTo(const Found& f, std::ostream* os) { *os << f.program; }

class EveryInputTest : public ::testing::TestWithParam<Found> {};

TEST_P(EveryInputTest, CountsTheFailuresAndFindsTheSmallestAndWhatTheyShare) {
    const Found& f = GetParam();
    const OneCase one(f.body);
    const CaseResult r = one.Grade(f.program);
    ASSERT_TRUE(r.inputs);
    EXPECT_NE(r.outcome, Outcome::Passed);
    EXPECT_EQ(r.inputs->failed, f.failed);
    EXPECT_EQ(r.inputs->run, f.run);
    EXPECT_EQ(r.inputs->total, f.run);
    EXPECT_FALSE(r.inputs->sampled);
    EXPECT_EQ(InputText(r.inputs->smallest), f.smallest);
    EXPECT_EQ(r.inputs->condition, f.condition);
    // The report shows the smallest input's own run, and replays it.
    EXPECT_NE(r.replay.find(std::string("--set ") +
                            std::string(f.smallest).substr(0, std::string(f.smallest).find(' '))),
              std::string::npos)
        << r.replay;
}

const Found kFound[] = {
    // 100 = 0 with a count of 1 is still right: no condition is exact.
    {"count-of-one-wrong.ram", kMultiplyEvery.c_str(), 200, 2010, "100=1 101=1", ""},
    {"large-factor-ends-early.ram", kMultiplyEvery.c_str(), 73 * 10, 2010, "100=128 101=1",
     "100 \u2265 128"},
    {"zero-count-wrong.ram",
     "every = { 100 = [0, 20], 101 = [0, 20] }\n[case.expect]\nmem = { 102 = \"same\" }\n", 21, 441,
     "100=0 101=0", "101 = 0"},
    // Writes 1 at the address in word 100: only if that word is put back
    // after each run do the counts come out exact.
    {"equal-words-wrong.ram",
     "every = { 100 = [200, 210], 101 = [200, 210] }\n[case.expect]\nmem = { 102 = 0 }\n", 11, 121,
     "100=200 101=200", "100 = 101 (the two words equal)"},
    {"faults-from-seven.ram",
     "set = { 101 = 1 }\nevery = { 100 = [0, 30] }\n[case.expect]\nmem = { 102 = \"same\" }\n", 24,
     31, "100=7", "100 \u2265 7"},
};
INSTANTIATE_TEST_SUITE_P(Programs, EveryInputTest, ::testing::ValuesIn(kFound));

TEST(EveryInput, TheModelAnswerPassesOnAllAndSaysHowMany) {
    const OneCase one(kMultiplyEvery);
    const auto result = GradeSubmission(one.cases, kModel, 1);
    const CaseResult& r = result.cases.at(0);
    EXPECT_EQ(r.outcome, Outcome::Passed);
    EXPECT_EQ(CaseOutput(r), "passed on all 2,010 inputs\n");
    EXPECT_NE(
        TextReport(result, 1).find("  PASS  factors (1/1)\n        passed on all 2,010 inputs\n"),
        std::string::npos);
}

TEST(EveryInput, EveryFormatCarriesTheCountTheSmallestInputAndTheCondition) {
    const OneCase one(kMultiplyEvery);
    const auto result = GradeSubmission(one.cases, kPrograms + "large-factor-ends-early.ram", 1);
    const std::string lines[] = {
        "fails on 730 of 2,010 inputs\n",
        "smallest failing input: 100=128 101=1\n",
        "every failing input has 100 \u2265 128\n",
        // The run beside the model answer's: this program never writes 102.
        "writes to 102 (step, line: value), this program | the model answer; expected 128 at "
        "the end:\n",
        "  > 1. (none)                       | step 2, line 4: 0\n",
        "    2. (none)                       | step 9, line 17: 128\n",
        "this program: end: no instruction at address 40 after 3 steps;",
        "the model answer: end: no instruction at address 26 after 16 steps;",
    };
    const std::string text = TextReport(result, 1);
    EXPECT_EQ(result.cases.at(0).pageLink.substr(result.cases.at(0).pageLink.find("&set=")),
              "&set=100:128,101:1&case=factors");
    const auto gradescope = nlohmann::json::parse(GradescopeReport(result, 1, false));
    pugi::xml_document junit;
    ASSERT_TRUE(junit.load_string(JunitReport({result}, 1).c_str()));
    const std::string failure = junit.select_node("//testcase/failure").node().child_value();
    for (const std::string& line : lines) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
        EXPECT_NE(gradescope["tests"][0]["output"].get<std::string>().find(line), std::string::npos)
            << line;
        EXPECT_NE(failure.find(line), std::string::npos) << line;
    }
}

TEST(EveryInput, AHiddenCaseShowsItsOutcomeOnlyUnlessStaffAsk) {
    const OneCase one("visibility = \"hidden\"\n" + kMultiplyEvery);
    const CaseResult r = one.Grade("count-of-one-wrong.ram");
    const std::string student = CaseOutput(r);
    EXPECT_EQ(student, "wrong result\n(a hidden case: its inputs and steps are not shown)\n");
    ReportOptions staff;
    staff.showHidden = true;
    const std::string all = CaseOutput(r, staff);
    EXPECT_NE(all.find("fails on 200 of 2,010 inputs\n"), std::string::npos);
    EXPECT_NE(all.find("writes to 102"), std::string::npos);
}

TEST(EveryInput, PastTheLimitRunsTheBoundariesAndASampleFixedByTheSeed) {
    const std::string body =
        "runs = 2000\nevery = { 100 = [0, 65535], 101 = [1, 65535] }\n[case.expect]\n"
        "mem = { 102 = 0 }\n";
    const OneCase one(body);
    const CaseResult r = one.Grade("count-of-one-wrong.ram");
    ASSERT_TRUE(r.inputs);
    EXPECT_TRUE(r.inputs->sampled);
    EXPECT_EQ(r.inputs->run, 2000u);
    EXPECT_EQ(r.inputs->total, 65536ull * 65535ull);
    EXPECT_NE(CaseOutput(r).find(" of 2,000 inputs run, of 4,294,901,760 (every boundary, and a "
                                 "sample)\n"),
              std::string::npos)
        << CaseOutput(r);
    // The same seed, the same inputs; another seed, another sample.
    EXPECT_EQ(CaseOutput(one.Grade("count-of-one-wrong.ram")), CaseOutput(r));
    Case c = one.cases.cases.at(0);
    std::set<std::pair<int, int>> first, again, other;
    InputPlan(c, 0, 1).ForEach([&](std::uint64_t, const std::int32_t* v) {
        first.emplace(v[0], v[1]);
        return true;
    });
    InputPlan(c, 0, 1).ForEach([&](std::uint64_t, const std::int32_t* v) {
        again.emplace(v[0], v[1]);
        return true;
    });
    InputPlan(c, 0, 2).ForEach([&](std::uint64_t, const std::int32_t* v) {
        EXPECT_TRUE(v[0] >= 0 && v[0] <= 65535 && v[1] >= 1 && v[1] <= 65535);
        other.emplace(v[0], v[1]);
        return true;
    });
    EXPECT_EQ(first.size(), 2000u) << "no input twice";
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    // Every boundary combination is among them, for any seed.
    for (int a : {0, 1, 65534, 65535})
        for (int b : {1, 65534, 65535}) {
            EXPECT_TRUE(first.count({a, b})) << a << "," << b;
            EXPECT_TRUE(other.count({a, b})) << a << "," << b;
        }
}

TEST(InputPlan, BoundariesAreTheEndsZeroOneAndTheNeighboursOfTheWordsEdge) {
    EXPECT_EQ(InputPlan::Boundaries({0, -5, 70000}),
              (std::vector<std::int32_t>{-5, -1, 0, 1, 65534, 65535, 65536, 65537, 70000}));
    EXPECT_EQ(InputPlan::Boundaries({0, 3, 200}), (std::vector<std::int32_t>{3, 200}));
    EXPECT_EQ(InputPlan::Boundaries({0, 7, 7}), (std::vector<std::int32_t>{7}));
}

TEST(RandomCase, AFailingDrawIsSearchedDownToASmallerFailingInput) {
    const OneCase one("random = { 100 = [0, 200], 101 = [1, 200] }\n[case.expect]\n"
                      "mem = { 102 = \"same\" }\n");
    int failing = 0;
    for (std::uint64_t seed = 1; seed <= 30; ++seed) {
        const OneCase seeded("random = { 100 = [0, 200], 101 = [1, 200] }\n[case.expect]\n"
                             "mem = { 102 = \"same\" }\n",
                             seed);
        const CaseResult r = seeded.Grade("large-factor-ends-early.ram", seed);
        if (r.outcome == Outcome::Passed) {
            EXPECT_FALSE(r.inputs);
            continue;
        }
        ++failing;
        ASSERT_TRUE(r.inputs);
        EXPECT_EQ(InputText(r.inputs->smallest), "100=128 101=1") << "seed " << seed;
        EXPECT_EQ(r.mismatches.at(0).expected, "128");
        EXPECT_NE(CaseOutput(r).find("smallest failing input: 100=128 101=1 (the smallest the "
                                     "search found)\n"),
                  std::string::npos);
        EXPECT_NE(r.replay.find("--set 100=128 --set 101=1"), std::string::npos) << r.replay;
    }
    EXPECT_GT(failing, 3) << "about a third of the draws have 100 >= 128";
}

std::string Read(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ClassReport, SaysPerCaseWhoPassedOnEveryInputAndWhatTheFailuresShared) {
    const OneCase one(kMultiplyEvery);
    ClassOptions options;
    options.classReport = true;
    const ClassInput klass = BuildClass(
        one.cases,
        {kModel, kPrograms + "large-factor-ends-early.ram", kPrograms + "count-of-one-wrong.ram",
         one.dir
             .Write("late.ram", "{ Gives up on a factor of 128 or more too.\n" +
                                    Read(kPrograms + "large-factor-ends-early.ram"))
             .string()},
        1, options, {});
    const auto figures = ClassJson(klass);
    EXPECT_EQ(figures["cases"][0]["every"],
              nlohmann::ordered_json::parse(R"({"inputs": 2010, "passed_every_input": 1,
                  "graded": 4, "common_conditions": [
                  {"condition": "100 \u2265 128", "submissions": 2}]})"));
    const std::string text = ClassSummaryText(figures);
    EXPECT_NE(text.find("    passed on every input: 1 of 4\n    every failing input has 100 \u2265 "
                        "128: 2 submissions\n"),
              std::string::npos)
        << text;
    EXPECT_NE(ClassHtml(figures).find("<td class=\"num\">1 of 4</td><td>every failing input has "
                                      "100 \u2265 128: 2</td>"),
              std::string::npos);
}

TEST(Reference, AModelAnswerThatFaultsOnAnInputNamesIt) {
    test::TempDir dir;
    std::optional<CaseFileError> error;
    CaseFile cases = ReadCaseFile(
        dir.Write("cases.toml", "reference = \"" + kPrograms +
                                    "faults-from-seven.ram\"\n[[case]]\nname = \"copies\"\n"
                                    "every = { 100 = [0, 10] }\n[case.expect]\n"
                                    "mem = { 102 = \"same\" }\n"),
        error);
    ASSERT_FALSE(error);
    error = ResolveReference(cases, 1);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, 2);
    EXPECT_NE(error->message.find("faults after 5 steps: index out of range: program counter -1 "
                                  "is outside memory on the input 100=7"),
              std::string::npos)
        << error->message;
}

struct BadRange {
    const char* name;
    const char* toml;
    int line;
    const char* message;
};

class BadRangeTest : public ::testing::TestWithParam<BadRange> {};

TEST_P(BadRangeTest, NamesTheLineAndWhy) {
    const BadRange& b = GetParam();
    test::TempDir dir;
    std::optional<CaseFileError> error;
    ReadCaseFile(dir.Write("cases.toml", b.toml), error);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, b.line) << error->message;
    EXPECT_NE(error->message.find(b.message), std::string::npos) << error->message;
}

const BadRange kBadRanges[] = {
    {"reversed", "[[case]]\nevery = { 100 = [200, 0] }\n", 2,
     "every.100: the range is reversed: LO 200 is greater than HI 0"},
    {"every_and_random", "[[case]]\nrandom = { 100 = [0, 1] }\nevery = { 100 = [0, 1] }\n", 3,
     "every.100: the word is also in random"},
    {"set_and_every", "[[case]]\nset = { 100 = 4 }\nevery = { 100 = [0, 1] }\n", 3,
     "every.100: the word is also in set"},
    {"runs_zero", "[[case]]\nruns = 0\n", 2, "runs is 0: give a whole number of 1 or more"},
    {"runs_negative_in_file", "runs = -3\n[[case]]\n", 1, "runs is -3"},
    {"runs_text", "[[case]]\nruns = \"many\"\n", 2, "runs is \"many\""},
    {"count_overflows",
     "[[case]]\nevery = { 1 = [-2147483648, 2147483647], 2 = [-2147483648, 2147483647], "
     "3 = [0, 1] }\n",
     2, "more combinations than can be counted"},
};
INSTANTIATE_TEST_SUITE_P(CaseFiles, BadRangeTest, ::testing::ValuesIn(kBadRanges),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace wren::grade
