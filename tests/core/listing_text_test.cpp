#include "listing_text.h"
#include "wren.h"
#include "wren_test_peer.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace wren {
namespace {

struct ListingCase {
    const char* name;
    std::int32_t pc;
    std::int32_t hiMem;
    const char* text;
};

void PrintTo(const ListingCase& c, std::ostream* os) { *os << c.name; }

class ListingTest : public ::testing::TestWithParam<ListingCase> {};

// Memory holds LDAi k at every even address 2k below 40, and the LDAi opcode
// at the last address.
TEST_P(ListingTest, ListsUpToTenLinesBelowHiMem) {
    const ListingCase& c = GetParam();
    Wren cpu;
    for (std::int32_t k = 0; k < 20; ++k) {
        WrenTestPeer::Word(cpu, 2 * k) = 32;
        WrenTestPeer::Word(cpu, 2 * k + 1) = k;
    }
    WrenTestPeer::Word(cpu, 65535) = 32;
    WrenTestPeer::SetHiMem(cpu, c.hiMem);
    WrenTestPeer::SetRegisters(cpu, 0, c.pc, false, 0);
    EXPECT_EQ(ListingText(cpu), c.text);
}

const ListingCase kCases[] = {
    {"empty_machine", 0, 0, " --> "},
    {"d0", 6, 6, " --> "},
    {"pc_beyond_himem", 30, 6, " --> "},
    {"d1", 5, 6, " --> 5   ADDi 32\r\n"},
    {"d2", 4, 6, " --> 4   LDAi 2\r\n"},
    {"three_instructions", 0, 6, " --> 0   LDAi 0\r\n2   LDAi 1\r\n4   LDAi 2\r\n"},
    {"d19", 0, 19,
     " --> 0   LDAi 0\r\n2   LDAi 1\r\n4   LDAi 2\r\n6   LDAi 3\r\n8   LDAi 4\r\n"
     "10   LDAi 5\r\n12   LDAi 6\r\n14   LDAi 7\r\n16   LDAi 8\r\n18   LDAi 9\r\n"},
    {"d20", 20, 40,
     " --> 20   LDAi 10\r\n22   LDAi 11\r\n24   LDAi 12\r\n26   LDAi 13\r\n28   LDAi 14\r\n"
     "30   LDAi 15\r\n32   LDAi 16\r\n34   LDAi 17\r\n36   LDAi 18\r\n38   LDAi 19\r\n"},
    {"d21_still_ten", 2, 23,
     " --> 2   LDAi 1\r\n4   LDAi 2\r\n6   LDAi 3\r\n8   LDAi 4\r\n10   LDAi 5\r\n"
     "12   LDAi 6\r\n14   LDAi 7\r\n16   LDAi 8\r\n18   LDAi 9\r\n20   LDAi 10\r\n"},
    {"odd_pc_reads_operands_as_opcodes", 1, 4, " --> 1   ??? \r\n3   ADDm 32\r\n"},
    {"negative_pc", -4, 2, " --> -4   ??? \r\n-2   ??? \r\n0   LDAi 0\r\n"},
    {"last_address_has_no_operand", 65533, 65536, " --> 65533   ??? \r\n65535   LDAi \r\n"},
    {"pc_at_top_of_range", INT32_MAX, 65536, " --> "},
    {"pc_at_bottom_of_range", INT32_MIN, 65536,
     " --> -2147483648   ??? \r\n"
     "-2147483646   ??? \r\n-2147483644   ??? \r\n"
     "-2147483642   ??? \r\n-2147483640   ??? \r\n"
     "-2147483638   ??? \r\n-2147483636   ??? \r\n"
     "-2147483634   ??? \r\n-2147483632   ??? \r\n"
     "-2147483630   ??? \r\n"},
};
INSTANTIATE_TEST_SUITE_P(Listings, ListingTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ListingText, TwoCallsGiveTheSameText) {
    Wren cpu;
    WrenTestPeer::SetHiMem(cpu, 4);
    EXPECT_EQ(ListingText(cpu), ListingText(cpu));
}

} // namespace
} // namespace wren
