#include "program_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren {
namespace {

// One record as "LINE kind [b,e) m[b,e) o[b,e) n[b,e) =VALUE @ADDRESS"; the
// parts after the span only for records that take memory.
std::string Show(const RecordSummary& r) {
    static const char* const kinds[] = {"comment", "skipped", "instruction", "data"};
    auto span = [](ColumnSpan s) {
        return "[" + std::to_string(s.begin) + "," + std::to_string(s.end) + ")";
    };
    std::string out =
        std::to_string(r.line) + " " + kinds[static_cast<int>(r.kind)] + " " + span(r.span);
    if (r.kind == RecordSummary::Kind::Instruction || r.kind == RecordSummary::Kind::Data)
        out += " m" + span(r.mnemonic) + " o" + span(r.operand) + " n" + span(r.number) + " =" +
               std::to_string(r.value) + " @" + std::to_string(r.address);
    return out;
}

struct MapCase {
    const char* name;
    std::string text;
    std::vector<std::string> records;
};

void PrintTo(const MapCase& c, std::ostream* os) { *os << c.name; }

class MapProgramTest : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapProgramTest, DescribesEveryRecord) {
    const MapCase& c = GetParam();
    const ProgramMap map = MapProgram(c.text);
    std::vector<std::string> actual;
    for (const RecordSummary& r : map.records)
        actual.push_back(Show(r));
    EXPECT_EQ(actual, c.records);
}

const MapCase kMapCases[] = {
    {"kinds_and_addresses",
     "{ note\nLDAi 5\nLDApc\nDATA 7\n",
     {"1 comment [1,7)", "2 instruction [1,7) m[1,5) o[6,7) n[6,7) =5 @0", "3 skipped [1,6)",
      "4 data [1,7) m[1,5) o[6,7) n[6,7) =7 @2"}},
    {"records_after_commas_on_one_line",
     "LDAi 1,  ADDi 2 ,STAm 9",
     {"1 instruction [1,7) m[1,5) o[6,7) n[6,7) =1 @0",
      "1 instruction [10,16) m[10,14) o[15,16) n[15,16) =2 @2",
      "1 instruction [18,24) m[18,22) o[23,24) n[23,24) =9 @4"}},
    {"number_within_the_operand",
     "LDAi   12xyz\nLDAi 5 6 {c}\nLDAi &HFF\nLDAi x\n",
     {"1 instruction [1,13) m[1,5) o[6,13) n[8,10) =12 @0",
      "2 instruction [1,13) m[1,5) o[6,13) n[6,9) =56 @2",
      "3 instruction [1,10) m[1,5) o[6,10) n[6,10) =255 @4",
      "4 instruction [1,7) m[1,5) o[6,7) n[0,0) =0 @6"}},
    {"quoted_span_takes_both_quotes",
     "\"LDAi 1,5\" x\n\"LDAi 2\n",
     {"1 instruction [1,11) m[2,6) o[7,10) n[7,8) =1 @0",
      "2 instruction [1,8) m[2,6) o[7,8) n[7,8) =2 @2"}},
    {"columns_count_characters",
     "{é, ADDm 1\n",
     {"1 comment [1,3)", "1 instruction [5,11) m[5,9) o[10,11) n[10,11) =1 @0"}},
    {"stops_before_the_failing_record",
     "LDAi 1\nLDAi 9e9\nLDAi 2\n",
     {"1 instruction [1,7) m[1,5) o[6,7) n[6,7) =1 @0"}},
};
INSTANTIATE_TEST_SUITE_P(Records, MapProgramTest, ::testing::ValuesIn(kMapCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MapProgram, FindsTheRecordAtEachAddress) {
    const ProgramMap map = MapProgram("{ c\nLDAi 1\n\nDATA 2, STAm 3\n");
    ASSERT_EQ(map.himem, 6);
    const int expectedLine[] = {2, 2, 4, 4, 4, 4};
    for (std::int32_t address = 0; address < 6; ++address) {
        const RecordSummary* r = map.AtAddress(address);
        ASSERT_NE(r, nullptr) << address;
        EXPECT_EQ(r->line, expectedLine[address]) << address;
        EXPECT_EQ(r->address, address - address % 2);
    }
    EXPECT_EQ(map.AtAddress(-1), nullptr);
    EXPECT_EQ(map.AtAddress(6), nullptr);
}

TEST(MapProgram, LastRecordThatFitsHasAnAddressAndTheNextIsTheError) {
    std::string text;
    for (int i = 0; i < 32769; ++i)
        text += "LDAi 1\n";
    const ProgramMap map = MapProgram(text);
    ASSERT_TRUE(map.error);
    EXPECT_EQ(map.error->line, 32769);
    EXPECT_EQ(map.himem, 65536);
    EXPECT_EQ(map.records.back().address, 65534);
    EXPECT_EQ(map.AtAddress(65535)->line, 32768);
}

} // namespace
} // namespace wren
