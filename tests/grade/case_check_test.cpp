// The case file checked by small changes of its model answer: which changes
// are made, which every case lets through, which cannot matter.

#include "case_check.h"
#include "grade_cases.h"
#include "image_runner.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace wren::grade {
namespace {

std::vector<std::string> Listed(const std::vector<SmallChange>& changes) {
    std::vector<std::string> out;
    for (const SmallChange& c : changes)
        out.push_back(std::to_string(c.line) + ": " + c.before + " -> " + c.after + " (" + c.kind +
                      ")");
    return out;
}

TEST(SmallChanges, EachKindWhereItAppliesAndNowhereElse) {
    // 0 LDAi 5, 2 STAm 100, 4 ADDm 100, 6 BVS 0, 8 STApc 0, a comment, 10 LDAm 7.
    const std::string text = "LDAi 5\nSTAm 100\nADDm 100\nBVS 0\nSTApc 0\n{ done\nLDAm 7\n";
    EXPECT_EQ(Listed(SmallChanges(text)), (std::vector<std::string>{
                                              "1: LDAi 5 -> LDAi 4 (operand)",
                                              "1: LDAi 5 -> LDAi 6 (operand)",
                                              "1: LDAi 5 -> LDAm 5 (memory-value)",
                                              "1: LDAi 5 -> BVS 2 (init)",
                                              "2: STAm 100 -> STAm 99 (operand)",
                                              "2: STAm 100 -> STAm 101 (operand)",
                                              "2: STAm 100 -> STAm 98 (neighbour)",
                                              "2: STAm 100 -> STAm 102 (neighbour)",
                                              "2: STAm 100 -> BVS 4 (store)",
                                              "3: ADDm 100 -> ADDm 99 (operand)",
                                              "3: ADDm 100 -> ADDm 101 (operand)",
                                              "3: ADDm 100 -> ADDm 98 (neighbour)",
                                              "3: ADDm 100 -> ADDm 102 (neighbour)",
                                              "3: ADDm 100 -> ADDi 100 (memory-value)",
                                              // An address operand stays in memory: no BVS -1.
                                              "4: BVS 0 -> BVS 1 (operand)",
                                              "4: BVS 0 -> BVS 2 (neighbour)",
                                              "4: BVS 0 -> BVS 8 (branch)",
                                              "4: BVS 0 -> BVS 0, always taken (branch-always)",
                                              // STApc's operand is never read: only the jump goes.
                                              "5: STApc 0 -> BVS 10 (branch)",
                                              // After the first branch: no init change.
                                              "7: LDAm 7 -> LDAm 6 (operand)",
                                              "7: LDAm 7 -> LDAm 8 (operand)",
                                              "7: LDAm 7 -> LDAm 5 (neighbour)",
                                              "7: LDAm 7 -> LDAm 9 (neighbour)",
                                              "7: LDAm 7 -> LDAi 7 (memory-value)",
                                          }));
    // Every change keeps every record where it was: only the record's text differs.
    // A branch taken always has no text: the run takes it.
    for (const SmallChange& c : SmallChanges(text))
        EXPECT_EQ(ChangedText(text, c).size() - (c.always ? c.before : c.after).size(),
                  text.size() - c.before.size())
            << c.after;
}

const std::string kModel = WREN_SOURCE_DIR "/examples/grading/multiply/model.ram";

CaseCheck Check(const test::TempDir& dir, const std::string& cases) {
    std::optional<CaseFileError> error;
    CaseFile file =
        ReadCaseFile(dir.Write("cases.toml", "reference = \"" + kModel + "\"\n" + cases), error);
    EXPECT_FALSE(error) << error->message;
    EXPECT_FALSE(ResolveReference(file, 1));
    return CheckCases(file, 1);
}

const std::string kSmallFactors = "[[case]]\nset = { 100 = 6, 101 = 7 }\n"
                                  "[case.expect]\nmem = { 102 = \"same\" }\n";

TEST(CheckCases, ADroppedStoreSurvivesUntilACaseStartsTheWordElsewhere) {
    test::TempDir dir;
    const CaseCheck before = Check(dir, kSmallFactors);
    // Each with what no case does that would catch it.
    const std::string kStart102 =
        "    no case starts with word 102 other than 0: add set = { 102 = 77 } to 'case 1'\n";
    const std::string kLookAtPc = "    no case looks at PC or A: add pc = \"same\" to 'case 1', if "
                                  "every program must end as the model answer does\n";
    EXPECT_EQ(CaseCheckText(before), std::string("your cases catch 46 of 51 changes (90 %)\n"
                                                 "every case lets these through:\n") +
                                         "  4: STAm 102 -> STAm 103\n" + kStart102 +
                                         "  4: STAm 102 -> STAm 104\n" + kStart102 +
                                         "  4: STAm 102 -> BVS 4\n" + kStart102 +
                                         "  11: LDAi 26 -> LDAi 25\n" + kLookAtPc +
                                         "  11: LDAi 26 -> LDAi 27\n" + kLookAtPc +
                                         "these behave like the model answer, and do not count:\n"
                                         "  3: LDAi 0 -> BVS 2\n");
    // A case that starts the product at 77 and looks at where the run ends.
    const CaseCheck after =
        Check(dir, kSmallFactors + "[[case]]\nset = { 100 = 3, 101 = 2, 102 = 77 }\n"
                                   "[case.expect]\nmem = { 102 = \"same\" }\npc = \"same\"\n");
    EXPECT_EQ(CaseCheckText(after), "your cases catch 51 of 51 changes (100 %)\n"
                                    "these behave like the model answer, and do not count:\n"
                                    "  3: LDAi 0 -> BVS 2\n");
    const auto json = nlohmann::json::parse(CaseCheckJson(before));
    EXPECT_EQ(json["caught"], 46);
    EXPECT_EQ(json["changes"], 51);
    EXPECT_EQ(json["survivors"][2],
              nlohmann::json::parse(
                  R"({"line": 4, "before": "STAm 102", "after": "BVS 4", "kind": "store",
                      "hint": "no case starts with word 102 other than 0: add set = { 102 = 77 } to 'case 1'"})"));
}

TEST(CheckCases, AChangeToARecordThatNeverRunsBehavesLikeTheModel) {
    test::TempDir dir;
    // 0 LDAm 100, 2 STAm 102, 4 LDAi 99, 6 STApc 0 (past the program), 8 ADDi 5 never runs.
    const std::string model =
        dir.Write("model.ram", "LDAm 100\nSTAm 102\nLDAi 99\nSTApc 0\nADDi 5\n").string();
    std::optional<CaseFileError> error;
    CaseFile file = ReadCaseFile(
        dir.Write("cases.toml", "reference = \"model.ram\"\n[[case]]\nset = { 100 = 4 }\n"
                                "[case.expect]\nmem = { 102 = \"same\" }\npc = \"same\"\n"),
        error);
    ASSERT_FALSE(error);
    ASSERT_FALSE(ResolveReference(file, 1));
    const CaseCheck check = CheckCases(file, 1);
    EXPECT_TRUE(check.survivors.empty()) << CaseCheckText(check);
    std::vector<std::string> like;
    for (const SmallChange& c : check.likeTheModel)
        like.push_back(std::to_string(c.line) + ": " + c.after);
    // LDAi 99 -> LDAm 99 jumps to word 99's 0 instead: no instruction there either,
    // but PC differs, so the pc expectation catches it.
    EXPECT_EQ(like, (std::vector<std::string>{"5: ADDi 4", "5: ADDi 6", "5: ADDm 5"}));
}

// The check grades each change faster than a submission is graded (it stops
// at the first failing input and reports nothing): it must still agree with
// the grader on every change of every example that names a model answer.
TEST(CheckCases, EachVerdictIsTheGradersOwn) {
    const std::string examples = WREN_SOURCE_DIR "/examples/grading/";
    for (const char* name : {"cases.toml", "class/cases.toml", "multiply/cases.toml"}) {
        SCOPED_TRACE(name);
        std::optional<CaseFileError> error;
        CaseFile file = ReadCaseFile(examples + name, error);
        ASSERT_FALSE(error);
        ASSERT_FALSE(ResolveReference(file, 1));
        const CaseCheck check = CheckCases(file, 1);
        std::set<std::string> through;
        for (const auto* list : {&check.survivors, &check.likeTheModel})
            for (const SmallChange& c : *list)
                through.insert(std::to_string(c.line) + ": " + c.after);
        std::ifstream in(file.reference, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        test::TempDir dir;
        const auto changes = SmallChanges(text);
        ASSERT_EQ(changes.size(), check.changes + check.likeTheModel.size());
        for (const SmallChange& c : changes) {
            if (c.always)
                continue; // no program of its own: RunsTakeABranchAlways holds it
            const std::string path = dir.Write("changed.ram", ChangedText(text, c)).string();
            const bool graderPasses = GradeSubmission(file, path, 1).failed == 0;
            EXPECT_EQ(graderPasses, through.contains(std::to_string(c.line) + ": " + c.after))
                << c.line << ": " << c.before << " -> " << c.after;
        }
    }
}

// Each kind of hint, on a model answer of our own.
//  0 LDAi 0 / 2 STAm 102: clears the sum; 4 LDAm 102 / 6 ADDm 100 / 8 STAm 102:
//  adds x; 10 LDAm 101 / 12 STAm 103: copies y; 14 LDAi 40 / 16 STApc 0: ends at 40.
const std::string kHintModel =
    "LDAi 0\nSTAm 102\nLDAm 102\nADDm 100\nSTAm 102\nLDAm 101\nSTAm 103\nLDAi 40\nSTApc 0\n";

struct HintRow {
    const char* cases;
    std::vector<std::string> hints; // "LINE: AFTER: HINT", in the order made
};

TEST(CheckCases, EachSurvivorSaysWhatNoCaseDoes) {
    const std::string kEnd = "no case looks at PC or A: add pc = \"same\" to 'x', if every "
                             "program must end as the model answer does";
    const auto starts = [](int word) {
        return "no case starts with word " + std::to_string(word) + " other than 0: add set = { " +
               std::to_string(word) + " = 77 } to 'x'";
    };
    const HintRow rows[] = {
        // Only x is set and only 102 looked at: the sum's clear, the words
        // read in its place and the end are never tried. (STAm 100 and
        // LDAm 100 change x's sum: caught.)
        {"[[case]]\nname = \"x\"\nset = { 100 = 5 }\n[case.expect]\nmem = { 102 = \"same\" }\n",
         {"2: STAm 101: " + starts(102), "2: STAm 103: " + starts(102),
          "2: STAm 104: " + starts(102), "2: BVS 4: " + starts(102), "3: LDAm 101: " + starts(101),
          "3: LDAm 103: " + starts(103), "3: LDAm 104: " + starts(104), "8: LDAi 39: " + kEnd,
          "8: LDAi 41: " + kEnd,
          // Never jumping ends the run at 18, with A as the model leaves it.
          "9: BVS 18: no case looks at PC: add pc = \"same\" to 'x', if every program must end "
          "as the model answer does"}},
        // 102 starts at 77 and the end is looked at: what is left reads another
        // word, 0 in every case, where the cleared sum stood.
        {"[[case]]\nname = \"x\"\nset = { 100 = 5, 102 = 77 }\n[case.expect]\n"
         "mem = { 102 = \"same\" }\npc = \"same\"\n",
         {"3: LDAm 101: " + starts(101), "3: LDAm 103: " + starts(103),
          "3: LDAm 104: " + starts(104)}},
        // y, and x, set in cases of their own: "no case has" a value for
        // them. Case y (x = 0, y = 0) lets through whatever reads 0 there.
        {"[[case]]\nname = \"x\"\nset = { 100 = 5, 102 = 77, 103 = 1, 104 = 1 }\n[case.expect]\n"
         "mem = { 102 = \"same\" }\npc = \"same\"\n"
         "[[case]]\nname = \"y\"\nset = { 101 = 0 }\n[case.expect]\nmem = { 103 = \"same\" }\n",
         {"3: LDAm 101: no case has 101 = 77: add set = { 101 = 77 } to 'x'",
          "6: LDAm 100: no case has 100 = 77: add set = { 100 = 77 } to 'y'",
          "6: LDAm 102: no case has 100 = 77: add set = { 100 = 77 } to 'y'",
          "6: LDAm 99: no case starts with word 99 other than 0: add set = { 99 = 77 } to 'y'",
          "6: LDAm 103: no case has 103 = 77: add set = { 103 = 77 } to 'y'",
          "6: BVS 12: no case has 100 = 77: add set = { 100 = 77 } to 'y'"}},
    };
    for (const HintRow& row : rows) {
        test::TempDir dir;
        dir.Write("model.ram", kHintModel);
        std::optional<CaseFileError> error;
        CaseFile file = ReadCaseFile(
            dir.Write("cases.toml", std::string("reference = \"model.ram\"\n") + row.cases), error);
        ASSERT_FALSE(error) << error->message;
        ASSERT_FALSE(ResolveReference(file, 1));
        const CaseCheck check = CheckCases(file, 1);
        std::vector<std::string> hints;
        for (const SmallChange& c : check.survivors)
            hints.push_back(std::to_string(c.line) + ": " + c.after + ": " + c.hint);
        EXPECT_EQ(hints, row.hints) << row.cases;
    }
}

TEST(CheckCases, AModelTooLargeToCheckIsRefusedWithItsSize) {
    test::TempDir dir;
    std::string big;
    for (std::size_t i = 0; i <= kMostRecordsChecked; ++i)
        big += "ADDi 1\n";
    for (const auto& [records, message] : std::vector<std::pair<std::string, std::string>>{
             {big, "has 4097 records: checking the cases takes a model answer of at most 4096"},
             {"{ only a comment\n", "holds no instruction: nothing to change"},
             {"ADDi 1\n", ""}}) {
        const std::string model = dir.Write("model.ram", records).string();
        std::optional<CaseFileError> error;
        const CaseFile file = ReadCaseFile(
            dir.Write("cases.toml", "reference = \"model.ram\"\n[[case]]\n[case.expect]\na = 1\n"),
            error);
        ASSERT_FALSE(error);
        const auto refused = CheckableReference(file);
        EXPECT_EQ(refused ? refused->message.substr(refused->message.find(model) + model.size() + 1)
                          : "",
                  message);
    }
}

// A branch taken always: the run takes it whatever V holds and leaves V as
// it was; a case's own stop there comes first; a branch to itself runs to
// the limit. 0 LDAi 7, 2 BVS 6, 4 LDAi 9; no instruction at 6.
TEST(ImageRunner, RunsTakeABranchAlways) {
    struct Row {
        std::int32_t taken; // -1: none
        std::optional<std::int32_t> stop;
        std::string text;
        StopReason reason;
        long long steps;
        Registers registers;
    };
    const Row rows[] = {
        {-1, {}, "LDAi 7\nBVS 6\nLDAi 9\n", StopReason::NoInstruction, 3, {9, 6, false, 9}},
        {2, {}, "LDAi 7\nBVS 6\nLDAi 9\n", StopReason::NoInstruction, 2, {7, 6, false, 6}},
        {2, 2, "LDAi 7\nBVS 6\nLDAi 9\n", StopReason::Break, 1, {7, 2, false, 3}},
        {2, {}, "LDAi 7\nBVS 2\nLDAi 9\n", StopReason::StepLimit, 100, {7, 2, false, 300}},
        // Taken with V already set: as the plain run, V kept.
        {2,
         {},
         "LDAi 2147483647\nBVS 6\n",
         StopReason::NoInstruction,
         2,
         {2147483647, 6, false, 6}},
    };
    for (const Row& row : rows) {
        ImageRunner runner;
        ASSERT_FALSE(runner.LoadText(row.text));
        runner.AlwaysTake(row.taken);
        RunLimits limits;
        limits.steps = 100;
        limits.detectLoops = true;
        if (row.stop)
            limits.breaks.push_back(*row.stop);
        // Twice: the second run starts from the loaded words again.
        for (int again = 0; again < 2; ++again) {
            const RunResult run = runner.Run({}, {}, nullptr, limits);
            EXPECT_EQ(run.reason, row.reason) << row.text << " taken " << row.taken;
            EXPECT_EQ(run.steps, row.steps) << row.text << " taken " << row.taken;
            EXPECT_EQ(runner.Cpu().GetRegisters(), row.registers)
                << row.text << " taken " << row.taken;
        }
    }
}

// In the multiply model, BVS 14 taken always enters the loop with a count
// of 0: a case with a factor of 0 catches it, and only that one.
TEST(CheckCases, ABranchTakenAlwaysIsCaughtWhereItMatters) {
    test::TempDir dir;
    for (const auto& [cases, caught] : std::vector<std::pair<std::string, bool>>{
             {kSmallFactors, true},
             {"[[case]]\nset = { 100 = 9, 101 = 0 }\n[case.expect]\nmem = { 102 = \"same\" }\n",
              true},
             {"[[case]]\nset = { 100 = 9, 101 = 0 }\n[case.expect]\na = 26\n", true}}) {
        const CaseCheck check = Check(dir, cases);
        bool through = false;
        for (const auto* list : {&check.survivors, &check.likeTheModel})
            for (const SmallChange& c : *list)
                through = through || c.after == "BVS 14, always taken";
        EXPECT_EQ(!through, caught) << cases;
    }
}

} // namespace
} // namespace wren::grade
