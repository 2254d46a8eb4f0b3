// Similar submissions and the class report on small classes written by hand:
// what the model answer and a starter share is no sign of copying, what two
// students share is; the exact score moves with k and the window; a pair's
// members name each other and its matching lines exactly; a gradebook keeps
// its columns whatever the names hold; a submission that cannot be read
// fails every case in every report.

#include "class_build.h"
#include "class_report.h"
#include "grade_report.h"
#include "similarity.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace wren::grade {
namespace {

// n instruction records that no other block shares: immediates and stores
// outside the program, each told by its value.
std::string Block(int base, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        const int v = base + i;
        text += i % 3 == 0   ? "LDAi " + std::to_string(v) + "\n"
                : i % 3 == 1 ? "ADDi " + std::to_string(v) + "\n"
                             : "STAm " + std::to_string(3000 + v) + "\n";
    }
    return text;
}

const std::string kModel = Block(100, 12);
const std::string kStarter = Block(300, 12);
const std::string kOwnA = Block(500, 16);
const std::string kOwnB = Block(700, 16);
const std::string kOwnC = Block(900, 16);
const std::string kSmallA = Block(500, 4);
const std::string kSmallB = Block(700, 4);

std::vector<std::string> PairNames(const std::vector<SimilarPair>& pairs) {
    std::vector<std::string> out;
    for (const SimilarPair& p : pairs)
        out.push_back(std::to_string(p.a) + "-" + std::to_string(p.b));
    return out;
}

struct SimilarCase {
    const char* name;
    std::vector<std::string> programs;
    std::vector<std::string> excluded;
    std::vector<std::string> flagged; // "a-b"
};

TEST(Similarity, WhatTheModelOrTheStarterSharesIsLeftOutWhatStudentsShareIsNot) {
    const SimilarCase cases[] = {
        {"the model's code alone, left out", {kModel + kSmallA, kModel + kSmallB}, {kModel}, {}},
        {"the model's code alone, not left out", {kModel + kSmallA, kModel + kSmallB}, {}, {"0-1"}},
        {"the starter's code alone, left out",
         {kStarter + kSmallA, kStarter + kSmallB},
         {kModel, kStarter},
         {}},
        {"their own code, beside the model's",
         {kModel + kOwnA, kModel + kOwnB, kOwnC + kOwnA},
         {kModel},
         {"0-2"}},
        {"their own code, in another order", {kOwnA + kOwnB, kOwnB + kOwnA}, {}, {"0-1"}},
    };
    for (const SimilarCase& c : cases) {
        std::vector<Fingerprints> programs, excluded;
        for (const std::string& text : c.programs)
            programs.push_back(Fingerprint(text));
        for (const std::string& text : c.excluded)
            excluded.push_back(Fingerprint(text));
        EXPECT_EQ(PairNames(FindSimilar(programs, excluded, 0.6)), c.flagged) << c.name;
    }
}

// Two copies of 20 records, one record changed in the middle: how many
// fingerprints they share, of how many, follows from the k-grams' length and
// the window's, and from nothing else.
TEST(Similarity, TheScoreIsExactForTheGramAndTheWindow) {
    const std::string first = Block(500, 10) + "LDAi 42\n" + Block(600, 9);
    const std::string second = Block(500, 10) + "LDAi 43\n" + Block(600, 9);
    const Fingerprints a = Fingerprint(first), b = Fingerprint(second);
    ASSERT_EQ(a.tokens.size(), 20u);
    const auto pairs = FindSimilar({a, b}, {}, 0.05);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(a.hashes.size(), 6u);
    EXPECT_EQ(pairs[0].shared, 4u);
    EXPECT_DOUBLE_EQ(pairs[0].similarity, 4.0 / 6.0);
}

// Blocks put in another order, and padding data words between them: every
// matching stretch still names real lines on both sides.
TEST(Similarity, EveryRangeNamesLinesOnBothSides) {
    const std::string original = "{ copied\n" + kOwnA + kOwnB + kOwnC;
    const std::string copy = kOwnC + "7\n9\n" + kOwnA + "{ moved\n" + "11\n" + kOwnB;
    const auto pairs = FindSimilar({Fingerprint(original), Fingerprint(copy)}, {}, 0.6);
    ASSERT_EQ(pairs.size(), 1u);
    ASSERT_FALSE(pairs[0].ranges.empty());
    for (const auto& [a, b] : pairs[0].ranges) {
        EXPECT_GE(a.first, 1);
        EXPECT_GE(b.first, 1);
        EXPECT_LE(a.first, a.last);
        EXPECT_LE(b.first, b.last);
    }
}

class ClassOf : public ::testing::Test {
protected:
    test::TempDir dir;
    CaseFile cases;

    void SetUp() override {
        dir.Write("model.ram", kModel);
        const auto file = dir.Write("cases.toml", "reference = \"model.ram\"\n"
                                                  "[[case]]\nname = \"runs\"\n"
                                                  "[case.expect]\na = \"same\"\n");
        std::optional<CaseFileError> error;
        cases = ReadCaseFile(file, error);
        ASSERT_FALSE(error) << error->message;
        ASSERT_FALSE(ResolveReference(cases, 1));
    }
    ClassInput Build(const std::vector<std::string>& files, bool similarity = true) {
        ClassOptions options;
        options.similarity = similarity;
        options.classReport = true;
        return BuildClass(cases, files, 1, options, {});
    }
};

// The class assembly leaves out what the case file's model answer holds.
TEST_F(ClassOf, TheModelAnswersCodeIsNoSignOfCopying) {
    const auto a = dir.Write("a.ram", kModel + Block(500, 4));
    const auto b = dir.Write("b.ram", kModel + Block(700, 4));
    EXPECT_TRUE(Build({a.string(), b.string()}).pairs.empty());
}

TEST_F(ClassOf, BothMembersOfAPairNameEachOtherAndItsLinesExactly) {
    const auto a = dir.Write("ann.ram", Block(500, 30));
    const auto b = dir.Write("bob.ram", "{ mine\n{ all mine\n" + Block(500, 30));
    const auto c = dir.Write("cy.ram", kOwnB);
    const auto figures = ClassJson(Build({a.string(), b.string(), c.string()}));
    const auto& subs = figures["submissions"];
    ASSERT_EQ(subs.size(), 3u) << figures.dump(1);
    ASSERT_EQ(subs[0]["similar"].size(), 1u) << figures.dump(1);
    ASSERT_EQ(subs[1]["similar"].size(), 1u) << figures.dump(1);
    EXPECT_EQ(subs[0]["similar"][0]["with"], "bob");
    EXPECT_EQ(subs[1]["similar"][0]["with"], "ann");
    EXPECT_TRUE(subs[2]["similar"].empty());
    ASSERT_EQ(figures["pairs"].size(), 1u);
    const auto& range = figures["pairs"][0]["ranges"][0];
    // The k-grams that the winnowing kept: from record 2 to record 27.
    EXPECT_EQ(range["a"], nlohmann::json::array({2, 27}));
    EXPECT_EQ(range["b"], nlohmann::json::array({4, 29}));
    // The text shown is the whole range, its first and last lines too.
    const std::string text = range["b_text"];
    EXPECT_EQ(text.substr(0, text.find('\n')), "4  ADDi 501");
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1), "29  STAm 3526\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 26);
}

TEST_F(ClassOf, AGradebookKeepsItsColumnsWhateverTheNamesHold) {
    const auto a = dir.Write("Doe, Jane.ram", kModel);
    const auto b = dir.Write("O\"Brien.ram", kOwnA);
    const std::string csv = GradebookCsv(Build({a.string(), b.string()}, false));
    EXPECT_EQ(csv, "Student,SIS Login ID,Total,runs\r\n"
                   "\"Doe, Jane\",\"Doe, Jane\",1,1\r\n"
                   "\"O\"\"Brien\",\"O\"\"Brien\",0,0\r\n");
}

// The case check, when asked for, is one line in every form of the report,
// with the changes that get through under it in the HTML; and nothing when
// it was not asked for.
TEST_F(ClassOf, TheCaseCheckIsALineOfTheReport) {
    ClassInput klass = Build({dir.Write("a.ram", kModel).string()}, false);
    EXPECT_FALSE(ClassJson(klass).contains("case_check"));
    EXPECT_EQ(ClassHtml(ClassJson(klass)).find("case-check"), std::string::npos);
    CaseCheck check;
    check.caught = 9;
    check.changes = 10;
    SmallChange dropped;
    dropped.line = 4;
    dropped.before = "STAm 102";
    dropped.after = "BVS 6";
    dropped.hint = "no case <sets> 102";
    check.survivors.push_back(dropped);
    klass.caseCheck = check;
    const auto figures = ClassJson(klass);
    const std::string line =
        "these cases catch 90 % of small changes of the model answer (9 of 10)";
    EXPECT_EQ(figures["case_check"]["line"], line);
    EXPECT_EQ(figures["case_check"]["survivors"][0]["hint"], "no case <sets> 102");
    const std::string html = ClassHtml(figures);
    EXPECT_NE(html.find("<p id=\"case-check\">" + line + "</p>"), std::string::npos);
    EXPECT_NE(html.find("<li>4: <code>STAm 102</code> &rarr; <code>BVS 6</code>: no case "
                        "&lt;sets&gt; 102</li>"),
              std::string::npos);
    EXPECT_NE(ClassSummaryText(figures).find("  " + line + "\n"), std::string::npos);
}

// A file that is not there fails every case, with why, in every format; the
// class figures count it as not graded.
TEST_F(ClassOf, AMissingSubmissionFailsEveryCaseInEveryFormat) {
    const std::string missing = (dir.Path() / "missing.ram").string();
    const ClassInput klass = Build({missing}, false);
    ASSERT_EQ(klass.results.size(), 1u);
    const SubmissionResult& r = klass.results[0];
    ASSERT_EQ(r.cases.size(), 1u);
    EXPECT_EQ(r.cases[0].outcome, Outcome::LoadError);
    EXPECT_EQ(r.failed, 1);
    const std::string why = "the file did not load: " + missing + ": cannot be read";
    EXPECT_EQ(r.cases[0].detail, why);
    EXPECT_NE(TextReport(r, 1, {}).find(why), std::string::npos);
    const auto gradescope = nlohmann::json::parse(GradescopeReport(r, 1, true, {}));
    ASSERT_EQ(gradescope["tests"].size(), 1u);
    EXPECT_EQ(gradescope["tests"][0]["status"], "failed");
    EXPECT_NE(gradescope["tests"][0]["output"].get<std::string>().find(why), std::string::npos);
    const std::string junit = JunitReport({r}, 1, {});
    EXPECT_NE(junit.find("<testcase"), std::string::npos);
    EXPECT_NE(junit.find("<failure"), std::string::npos);
    const auto figures = ClassJson(klass);
    EXPECT_EQ(figures["submissions"][0]["not_graded"], "cannot be read");
    EXPECT_EQ(figures["cases"][0]["outcomes"]["load-error"], 0);
}

} // namespace
} // namespace wren::grade
