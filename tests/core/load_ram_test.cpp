#include "temp_dir.h"
#include "wren.h"
#include "wren_test_peer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren {
namespace {

struct LoadCase {
    const char* name;
    std::string content;
    std::vector<std::int32_t> words; // expected from address 0; HiMem is their count
    int errorLine = -1;              // -1: loads without error
    const char* errorText = "";      // part of the expected error message
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class LoadRamTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadRamTest, FillsMemoryFromAddressZero) {
    const LoadCase& c = GetParam();
    test::TempDir dir;
    Wren cpu;
    const auto error = cpu.Load_Ram(dir.Write("program.ram", c.content));

    if (c.errorLine < 0) {
        EXPECT_FALSE(error) << error->message;
    } else {
        ASSERT_TRUE(error);
        EXPECT_EQ(error->line, c.errorLine) << error->message;
        EXPECT_NE(error->message.find(c.errorText), std::string::npos) << error->message;
    }
    EXPECT_EQ(cpu.HiMem(), static_cast<std::int32_t>(c.words.size()));
    for (std::size_t i = 0; i < c.words.size(); ++i)
        EXPECT_EQ(WrenTestPeer::Word(cpu, static_cast<std::int32_t>(i)), c.words[i])
            << "word " << i;
    EXPECT_EQ(WrenTestPeer::Word(cpu, static_cast<std::int32_t>(c.words.size())), 0);
    EXPECT_EQ(cpu.PCounter(), 0);
    EXPECT_EQ(cpu.Cycles(), 0);

    // The same text from memory loads the same words with the same error.
    Wren fromText;
    const auto textError = fromText.LoadText(c.content);
    ASSERT_EQ(textError.has_value(), error.has_value());
    if (error) {
        EXPECT_EQ(textError->line, error->line);
        EXPECT_EQ(textError->column, error->column);
        EXPECT_EQ(textError->message, error->message);
    }
    ASSERT_EQ(fromText.HiMem(), cpu.HiMem());
    for (std::int32_t i = 0; i <= cpu.HiMem(); ++i)
        EXPECT_EQ(WrenTestPeer::Word(fromText, i), WrenTestPeer::Word(cpu, i)) << "word " << i;
}

const LoadCase kRecordCases[] = {
    {"empty_file", "", {}},
    {"comments_only", "{ a comment\n  { indented comment\n{\n", {}},
    {"two_instructions", "LDAi 5\nADDi 3\n", {32, 5, 2, 3}},
    {"every_mnemonic",
     "ADDm 1\nADDi 2\nADDpc 3\nBVS 4\nLDAm 5\nLDAi 6\nLDApc 7\nSTAm 8\nSTApc 9\n",
     {1, 1, 2, 2, 4, 3, 8, 4, 16, 5, 32, 6, 64, 7, 128, 8, 256, 9}},
    {"no_final_line_end", "LDAi 5\nADDi 3", {32, 5, 2, 3}},
    {"crlf_line_ends", "LDAi 5\r\nADDi 3\r\n", {32, 5, 2, 3}},
    {"lone_cr_line_ends", "LDAi 5\rADDi 3\r", {32, 5, 2, 3}},
    {"utf8_bom_skipped", "\xEF\xBB\xBFLDAi 5\n", {32, 5}},
    {"comment_needs_no_space_after_brace", "{no space\n", {}},
    {"quoted_record_ending_in_its_first_space_skipped", "\"LDAi \"\n", {}},
    {"blank_lines", "\n\nLDAi 5\n\n", {32, 5}},
    {"mnemonic_alone_skipped", "LDApc\nSTApc \nADDpc 0\n", {4, 0}},
    {"trailing_blanks_make_no_operand", "LDAi   \t\n", {}},
    {"tab_separator_skipped", "LDAi\t5\n", {}},
    {"leading_spaces_and_tabs", "   \tLDAi 5\n", {32, 5}},
    {"two_spaces_before_operand", "LDAi  5\n", {32, 5}},
    {"wrong_case_still_takes_two_words", "ldai 5\nLDAi 6\n", {0, 5, 32, 6}},
    {"comma_splits_records", "LDAi 5,ADDi 3\n", {32, 5, 2, 3}},
    {"comment_split_at_comma", "{ load five, then add\n", {0, 0}},
    {"operand_spaces_ignored", "LDAi 5 6\n", {32, 56}},
    {"operand_text_after_number", "LDAi 12xyz\nLDAi xyz\nLDAi 5 {five}\n", {32, 12, 32, 0, 32, 5}},
    {"quoted_record_keeps_its_comma", "\"LDAi 1,5\"\n", {32, 1}},
    {"quoted_record_text_after_quote_dropped", "\"LDAi 7\" junk, ADDi 1\n", {32, 7, 2, 1}},
    {"unclosed_quote_ends_at_line_end", "\"LDAi 7\nADDi 1\n", {32, 7, 2, 1}},
    {"quoted_leading_space_is_empty_mnemonic", "\" LDAi 7\"\n", {0, 0}},
    {"quote_inside_plain_record_is_text", "LDAi 4\"2\n", {32, 4}},
    {"forty_character_operand_quoted_whole",
     "LDAi 1234567890123456789012345678901234567890\n",
     {},
     1,
     "operand \"1234567890123456789012345678901234567890\" is outside"},
    {"longer_operand_shortened",
     "LDAi 12345678901234567890123456789012345678901\n",
     {},
     1,
     "operand \"1234567890123456789012345678901234567890...\" is outside"},
    {"operand_out_of_range_stops_at_its_line",
     "LDAi 1\n\nLDAi 3000000000\nLDAi 2\n",
     {32, 1},
     3,
     "operand \"3000000000\" is outside the 32-bit range"},
    {"lines_count_every_line_end_style",
     "LDAi 1\rLDAi 2\r\n\nLDAi 9e9\n",
     {32, 1, 32, 2},
     4,
     "9e9"},
    {"lines_count_after_a_quoted_record", "\"LDAi 1\"\nLDAi 9e9\n", {32, 1}, 2, "9e9"},
    {"negative_out_of_range", "LDAi -2147483649\n", {}, 1, "-2147483649"},
    {"hex_out_of_range", "LDAi 1,LDAi &H100000000\n", {32, 1}, 1, "&H100000000"},
};
INSTANTIATE_TEST_SUITE_P(Records, LoadRamTest, ::testing::ValuesIn(kRecordCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LoadRam, FullMemoryHoldsExactly32768Instructions) {
    test::TempDir dir;
    std::string program;
    for (int i = 0; i < 32768; ++i)
        program += "LDAi " + std::to_string(i) + "\n";
    const auto full = dir.Write("full.ram", program);
    const auto over = dir.Write("over.ram", program + "{ one too many\nADDi 1\n");

    Wren cpu;
    EXPECT_FALSE(cpu.Load_Ram(full));
    EXPECT_EQ(cpu.HiMem(), 65536);
    EXPECT_EQ(WrenTestPeer::Word(cpu, 65534), 32);
    EXPECT_EQ(WrenTestPeer::Word(cpu, 65535), 32767);

    Wren overfull;
    const auto error = overfull.Load_Ram(over);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, 32770);
    EXPECT_NE(error->message.find("too large"), std::string::npos) << error->message;
    EXPECT_EQ(overfull.HiMem(), 65536);
    EXPECT_EQ(WrenTestPeer::Word(overfull, 65535), 32767);
}

TEST(LoadRam, SecondShorterLoadKeepsTheRestAndTheRegisters) {
    test::TempDir dir;
    Wren cpu;
    ASSERT_FALSE(cpu.Load_Ram(dir.Write("long.ram", "LDAi 1\nADDi 2\nSTAm 3\n")));
    cpu.Step();
    ASSERT_FALSE(cpu.Load_Ram(dir.Write("short.ram", "lowercase 9\n")));
    EXPECT_EQ(cpu.HiMem(), 2);
    EXPECT_EQ(WrenTestPeer::Word(cpu, 0), 32); // unknown mnemonic keeps the old opcode
    EXPECT_EQ(WrenTestPeer::Word(cpu, 1), 9);
    EXPECT_EQ(WrenTestPeer::Word(cpu, 4), 128);
    EXPECT_EQ(cpu.Accumulator(), 1);
    EXPECT_EQ(cpu.PCounter(), 2);
}

TEST(LoadRam, UnopenableFilesChangeNothing) {
    test::TempDir dir;
    Wren cpu;
    ASSERT_FALSE(cpu.Load_Ram(dir.Write("p.ram", "LDAi 1\n")));

    const std::pair<std::filesystem::path, const char*> bad[] = {
        {"", "no file name given"},
        {dir.Path() / "missing.ram", "cannot open: No such file or directory"},
        {dir.Path(), "is a directory"},
    };
    for (const auto& [path, why] : bad) {
        const auto error = cpu.Load_Ram(path);
        ASSERT_TRUE(error) << path;
        EXPECT_EQ(error->line, 0);
        EXPECT_NE(error->message.find(why), std::string::npos) << error->message;
        EXPECT_EQ(cpu.HiMem(), 2) << path;
    }
}

TEST(LoadRam, EndlessOrBinaryInputEndsWithAnErrorInBoundedMemory) {
    for (const char* device : {"/dev/zero", "/dev/urandom"}) {
        Wren cpu;
        const auto error = cpu.Load_Ram(device);
        ASSERT_TRUE(error) << device;
        EXPECT_GT(error->line, 0) << device;
        EXPECT_GE(cpu.HiMem(), 0);
        EXPECT_LE(cpu.HiMem(), 65536);
    }
}

TEST(LoadRam, OverlongRecordIsReportedOnItsLine) {
    test::TempDir dir;
    const std::string longest = "{" + std::string((1u << 20) - 1, 'x');
    Wren cpu;
    EXPECT_FALSE(cpu.Load_Ram(dir.Write("longest.ram", "LDAi 1\n" + longest + "\nLDAi 2\n")));
    EXPECT_EQ(cpu.HiMem(), 4);

    const auto error = cpu.Load_Ram(dir.Write("long.ram", "LDAi 1\n" + longest + "x\nLDAi 2\n"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, 2);
    EXPECT_EQ(error->message, "record longer than 1048576 bytes");
    EXPECT_EQ(cpu.HiMem(), 2);
}

} // namespace
} // namespace wren
