#include "program_check.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren {
namespace {

struct CheckCase {
    const char* name;
    std::string content;
    /// "LINE:COLUMN:NAME" per finding, in file order.
    std::vector<std::string> findings;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class CheckProgramTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckProgramTest, ReportsEachSlipWhereItStarts) {
    const CheckCase& c = GetParam();
    test::TempDir dir;
    const CheckResult result = CheckProgram(dir.Write("p.ram", c.content), {.data = true});
    ASSERT_FALSE(result.error) << result.error->message;
    std::vector<std::string> actual;
    for (const auto& f : result.findings)
        actual.push_back(std::to_string(f.line) + ":" + std::to_string(f.column) + ":" + f.name);
    EXPECT_EQ(actual, c.findings);

    const CheckResult fromText = CheckText(c.content, {.data = true});
    ASSERT_EQ(fromText.findings.size(), result.findings.size());
    for (std::size_t i = 0; i < result.findings.size(); ++i)
        EXPECT_EQ(fromText.findings[i].message + fromText.findings[i].note,
                  result.findings[i].message + result.findings[i].note);
}

const CheckCase kCases[] = {
    {"clean_program", "{ comment\nLDAi 5 {five}\nADDpc 0\n\"LDAi 1\"\n\n", {}},
    {"letter_case", "ldai 5\nLDAI 5\n", {"1:1:unknown-mnemonic", "2:1:unknown-mnemonic"}},
    {"one_edit_slips",
     "ADD 1\nLADi 2\nSTAmm 3\nBVC 4\n",
     {"1:1:unknown-mnemonic", "2:1:unknown-mnemonic", "3:1:unknown-mnemonic",
      "4:1:unknown-mnemonic"}},
    {"data_labels_are_their_own_warning", "DATA 7\nSLOT 0\n", {"1:1:data", "2:1:data"}},
    {"empty_mnemonic", "\" 5\"\n", {"1:2:unknown-mnemonic"}},
    {"tab_separator", "LDAi\t5\n  LDAi\t5 6\n", {"1:5:tab-separator", "2:7:tab-separator"}},
    {"missing_operand", "LDApc\n\"STApc \"\nfoo\n", {"1:1:missing-operand", "2:2:missing-operand"}},
    {"comma_in_comment", "{ one, two\n{ ends here,\n", {"1:6:comma-in-comment"}},
    {"comma_in_a_comment_after_the_operand",
     "LDAi 5 { five, then 7\nSTAm 102 { result := 0, then keep it\nLDAi 5 {fine}, LDAi 6\n"
     "ADDpc 0 {x, y}\nLDAi 1 { ends here,\n",
     {"1:14:comma-in-comment", "1:16:data", "2:23:comma-in-comment", "2:25:data",
      "2:30:not-a-number", "4:11:comma-in-comment"}},
    {"trailing_text",
     "LDAi 12xyz\nLDAi 1O\nLDAi 1 {ok}\n\"LDAi 1,5\"\n",
     {"1:8:trailing-text", "2:7:trailing-text", "4:8:trailing-text"}},
    {"not_a_number",
     "LDAi x\nLDAm {x}\nADDpc x\nSTApc y\n",
     {"1:6:not-a-number", "2:6:not-a-number"}},
    {"space_in_number", "LDAi 5 6\nLDAi 1\t000\n", {"1:7:space-in-number", "2:7:space-in-number"}},
    {"rounded", "LDAi 2.5\nLDAi 2.0\nLDAi 1e-400\n", {"1:6:rounded", "3:6:rounded"}},
    {"quotes", "\"LDAi 3\" junk\n\"LDAi 4\n", {"1:10:quote", "2:1:quote"}},
    {"jump_targets_inside_the_program_or_outside_memory",
     "LDAi 1\nBVS 3\nBVS 70000\nLDAi 5, STApc 0\nLDAi 13, ADDi 0, STApc 0\nBVS -2\nBVS 21\nBVS "
     "23\n",
     {"2:5:jump-target", "3:5:jump-target", "4:6:jump-target", "6:5:jump-target",
      "7:5:jump-target"}},
    {"jump_one_past_the_last_word", "LDAi 0\nBVS 65536\nBVS 65535\n", {"2:5:jump-target"}},
    {"not_a_number_where_the_text_starts", "LDAi   x\n", {"1:8:not-a-number"}},
    {"memory_operands_outside_memory",
     "LDAm -1\nADDm 65536\nSTAm 65535\nLDAi 70000\n",
     {"1:6:address-range", "2:6:address-range"}},
    {"columns_count_characters_not_bytes",
     "\"é\" x, LDAi 1O\n",
     {"1:5:quote", "1:14:trailing-text"}},
};
INSTANTIATE_TEST_SUITE_P(Slips, CheckProgramTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CheckProgram, StopsAtTheLoadErrorWithItsColumn) {
    test::TempDir dir;
    const CheckResult result = CheckProgram(dir.Write("p.ram", "ldai 1\n  LDAi 9e9\nldai 2\n"));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->line, 2);
    EXPECT_EQ(result.error->column, 8);
    ASSERT_EQ(result.findings.size(), 1u);
    EXPECT_EQ(result.findings[0].line, 1);
}

TEST(CheckProgram, SelfModifyIsOptInAndEndsWithTheProgram) {
    const std::string text = "LDAi 1\nSTAm 5\nSTAm 6\n";
    EXPECT_TRUE(CheckText(text).findings.empty());
    const CheckResult result = CheckText(text, {.selfModify = true});
    ASSERT_EQ(result.findings.size(), 1u);
    EXPECT_EQ(result.findings[0].message, "'STAm 5' writes into the program");
    EXPECT_EQ(result.findings[0].note, "address 5 is the operand word of the record on line 3");
    // The first word of memory is inside the program too.
    const CheckResult first = CheckText("STAm 0\n", {.selfModify = true});
    ASSERT_EQ(first.findings.size(), 1u);
    EXPECT_EQ(first.findings[0].note, "address 0 is the opcode word of the record on line 1");
}

TEST(CheckProgram, ACommaInACommentNamesTheRecordItStarts) {
    const CheckResult result = CheckText("LDAi 5 { five, then 7\n{ load, LDAi 1\n");
    ASSERT_EQ(result.findings.size(), 2u);
    EXPECT_EQ(result.findings[0].note,
              "the loader reads the text after the comma as more records, the first 'then 7'");
    EXPECT_EQ(result.findings[1].note,
              "the loader reads the text after the comma as more records, the first 'LDAi 1'");
}

TEST(CheckProgram, NotesSayWhatTheLoaderDoes) {
    test::TempDir dir;
    const CheckResult result = CheckProgram(dir.Write("p.ram", "ADD 1\nLDAi 5 6\n"));
    ASSERT_EQ(result.findings.size(), 2u);
    EXPECT_EQ(result.findings[0].note, "the loader writes only the operand word (1) and leaves "
                                       "the opcode word as it was; did you mean 'ADDm' or 'ADDi'?");
    EXPECT_EQ(result.findings[1].note, "the loader ignores them and reads 56");
}

} // namespace
} // namespace wren
