// The case file checked by small changes of its model answer: which changes
// are made, which every case lets through, which cannot matter.

#include "case_check.h"
#include "grade_cases.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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
    for (const SmallChange& c : SmallChanges(text))
        EXPECT_EQ(c.text.size() - c.after.size(), text.size() - c.before.size()) << c.after;
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
    EXPECT_EQ(CaseCheckText(before), "your cases catch 45 of 50 changes (90 %)\n"
                                     "every case lets these through:\n"
                                     "  4: STAm 102 -> STAm 103\n"
                                     "  4: STAm 102 -> STAm 104\n"
                                     "  4: STAm 102 -> BVS 4\n"
                                     "  11: LDAi 26 -> LDAi 25\n"
                                     "  11: LDAi 26 -> LDAi 27\n"
                                     "these behave like the model answer, and do not count:\n"
                                     "  3: LDAi 0 -> BVS 2\n");
    // A case that starts the product at 77 and looks at where the run ends.
    const CaseCheck after =
        Check(dir, kSmallFactors + "[[case]]\nset = { 100 = 3, 101 = 2, 102 = 77 }\n"
                                   "[case.expect]\nmem = { 102 = \"same\" }\npc = \"same\"\n");
    EXPECT_EQ(CaseCheckText(after), "your cases catch 50 of 50 changes (100 %)\n"
                                    "these behave like the model answer, and do not count:\n"
                                    "  3: LDAi 0 -> BVS 2\n");
    const auto json = nlohmann::json::parse(CaseCheckJson(before));
    EXPECT_EQ(json["caught"], 45);
    EXPECT_EQ(json["changes"], 50);
    EXPECT_EQ(json["survivors"][2],
              nlohmann::json::parse(
                  R"({"line": 4, "before": "STAm 102", "after": "BVS 4", "kind": "store"})"));
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

} // namespace
} // namespace wren::grade
