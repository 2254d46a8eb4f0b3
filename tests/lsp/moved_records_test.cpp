// Addresses that follow an edit: the marks on operands that named a moved
// record, the fixes, and a program that runs as before once they are made.
#include "lsp_session.h"
#include "opcodes.h"
#include "run.h"
#include "wren.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace wren::lsp {
namespace {

using nlohmann::json;
using test::Apply;
using test::kUri;
using test::Range;
using test::Session;

std::string Example(const std::string& name) {
    std::ifstream in(std::string(WREN_SOURCE_DIR "/examples/") + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The text with line (0-based) replaced by replacement (which may hold
// several lines, or none), and the didChange that says so.
std::string Replaced(const std::string& text, int line, const std::string& replacement,
                     json& change) {
    std::size_t begin = 0;
    for (int l = 0; l < line; ++l)
        begin = text.find('\n', begin) + 1;
    const std::size_t end = text.find('\n', begin) + 1;
    change = {{"range", Range(line, 0, line + 1, 0)}, {"text", replacement}};
    return text.substr(0, begin) + replacement + text.substr(end);
}

class Editing {
public:
    explicit Editing(std::string text) : text_(std::move(text)) { session_.Open(text_); }

    /// Replaces a line; returns the marks then published, "LINE:CODE: MESSAGE".
    std::vector<std::string> Edit(int line, const std::string& replacement) {
        json change;
        text_ = Replaced(text_, line, replacement, change);
        session_.Notify("textDocument/didChange",
                        {{"textDocument", {{"uri", kUri}, {"version", ++version_}}},
                         {"contentChanges", json::array({change})}});
        std::vector<std::string> marks;
        const json published = session_.Published();
        for (const json& d : published["diagnostics"])
            if (d["code"] == "moved-record" || d["code"] == "program-over-data")
                marks.push_back(std::to_string(d["range"]["start"]["line"].get<int>() + 1) + ":" +
                                d["code"].get<std::string>() + ": " +
                                d["message"].get<std::string>());
        return marks;
    }
    /// The titles of the actions offered on a line (0-based).
    json Actions(int line) {
        return session_.Result("textDocument/codeAction",
                               {{"textDocument", {{"uri", kUri}}},
                                {"range", Range(line, 0, line, 0)},
                                {"context", {{"diagnostics", json::array()}}}});
    }
    std::vector<std::string> Titles(int line) {
        std::vector<std::string> titles;
        for (const json& a : Actions(line))
            titles.push_back(a["title"]);
        return titles;
    }
    /// Applies the action titled so on line; the text after it.
    std::string Apply(int line, const std::string& title) {
        for (const json& a : Actions(line))
            if (a["title"] == title) {
                json change;
                const std::string fixed = test::Apply(text_, a["edit"]["changes"][kUri]);
                session_.Notify("textDocument/didChange",
                                {{"textDocument", {{"uri", kUri}, {"version", ++version_}}},
                                 {"contentChanges", json::array({{{"text", fixed}}})}});
                text_ = fixed;
                return text_;
            }
        ADD_FAILURE() << "no action '" << title << "' on line " << line;
        return text_;
    }
    const std::string& Text() const { return text_; }

private:
    Session session_;
    std::string text_;
    int version_ = 1;
};

// Each step of a run: PC, A, V, the cycles and the word it wrote.
struct Step {
    std::int32_t pc, a;
    bool v;
    std::int32_t cycles;
    std::int32_t wrote = -1, value = 0;
};

std::vector<Step> Steps(const std::string& text) {
    class Watch : public RunObserver {
    public:
        Watch(const Wren& cpu, std::vector<Step>& steps) : cpu_(cpu), steps_(steps) {}
        void Before(std::int32_t at) override { target_ = StoreTarget(cpu_.Words(), at); }
        void After(long long, std::int32_t) override {
            steps_.push_back({cpu_.PCounter(), cpu_.Accumulator(), cpu_.Overflow(), cpu_.Cycles(),
                              target_, target_ >= 0 ? cpu_.Memory(target_) : 0});
        }

    private:
        const Wren& cpu_;
        std::vector<Step>& steps_;
        std::int32_t target_ = -1;
    };
    auto cpu = std::make_unique<Wren>();
    EXPECT_FALSE(cpu->LoadText(text));
    std::vector<Step> steps;
    Watch watch(*cpu, steps);
    RunLimits limits;
    limits.steps = 100000;
    (void)Run(*cpu, limits, &watch);
    return steps;
}

// The fixed program runs as the original did, step for step, with every
// address from `at` up to the original's end two words later.
void RunsAsBefore(const std::string& original, const std::string& fixed, std::int32_t at,
                  std::int32_t end) {
    const auto shift = [&](std::int32_t address) {
        return address >= at && address <= end ? address + 2 : address;
    };
    const auto same = [&](std::int32_t before, std::int32_t after) {
        return after == before || after == shift(before);
    };
    const std::vector<Step> before = Steps(original), after = Steps(fixed);
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        const Step &b = before[i], &f = after[i];
        EXPECT_EQ(f.pc, shift(b.pc)) << "step " << i + 1;
        EXPECT_TRUE(same(b.a, f.a)) << "step " << i + 1 << ": A " << b.a << " then " << f.a;
        EXPECT_EQ(f.v, b.v) << "step " << i + 1;
        EXPECT_EQ(f.cycles, b.cycles) << "step " << i + 1;
        EXPECT_EQ(f.wrote, b.wrote < 0 ? -1 : shift(b.wrote)) << "step " << i + 1;
        EXPECT_TRUE(same(b.value, f.value)) << "step " << i + 1;
    }
}

constexpr const char* kMoved = "moved-record: ";

// A record inserted where no run goes: above the loop's exit in the BVS
// lesson. BVS 12 is marked and fixed, and the run is the same.
TEST(MovedRecords, AnInsertionAboveABranchTargetIsMarkedAndFixed) {
    const std::string original = Example("guided-2-loop-on-bvs.ram");
    Editing e(original);
    EXPECT_EQ(e.Edit(7, "STApc 0     { PC ← A = 0\nLDAi 99\n"),
              (std::vector<std::string>{std::string("6:") + kMoved +
                                        "names 12, where `LDAi 4` was; that record is at 14 now"}));
    EXPECT_EQ(e.Titles(5), (std::vector<std::string>{
                               "Change to 14", "Update 1 operand to its record's new address"}));
    // On the edited lines too, the fix-all, and nothing on a line far off.
    EXPECT_EQ(e.Titles(8),
              (std::vector<std::string>{"Update 1 operand to its record's new address"}));
    EXPECT_TRUE(e.Titles(2).empty());
    const std::string fixed = e.Apply(8, "Update 1 operand to its record's new address");
    EXPECT_NE(fixed.find("BVS 14      {"), std::string::npos) << fixed;
    EXPECT_TRUE(
        e.Edit(0, "{ A loop on BVS: add 16384 to the word at 30 until it passes.\n").empty());
    // Inserted between STApc and LDAi 4: it never runs.
    RunsAsBefore(original, fixed, 12, 14);
}

// Several edits in a row: the mark follows the record until the operand is
// fixed; an edit that puts the record back where it was ends it.
TEST(MovedRecords, MarksComposeOverSeveralEdits) {
    Editing e(Example("guided-2-loop-on-bvs.ram"));
    const auto mark = [](int now) {
        return std::vector<std::string>{std::string("6:") + kMoved +
                                        "names 12, where `LDAi 4` was; that record is at " +
                                        std::to_string(now) + " now"};
    };
    EXPECT_EQ(e.Edit(7, "STApc 0\nLDAi 99\n"), mark(14));
    EXPECT_EQ(e.Edit(8, "LDAi 98\nLDAi 99\n"), mark(16));
    // The first of them turned into a comment, then the other deleted.
    EXPECT_EQ(e.Edit(8, "{ LDAi 98\n"), mark(14));
    EXPECT_TRUE(e.Edit(9, "").empty());
    // Edited by hand: the operand's own text changed, and the mark is gone.
    EXPECT_EQ(e.Edit(8, "LDAi 99\nLDAi 99\n"), mark(16));
    EXPECT_TRUE(e.Edit(5, "BVS 15\n").empty());
}

// The jump table: the jumps through STApc are operands and fixed first; the
// value that builds the table's address and the table's entries, which
// only may be addresses, are offered in the second action only.
TEST(MovedRecords, ValuesThatMayBeAddressesComeInASecondActionOnly) {
    const std::string original = Example("jump-table.ram");
    Editing e(original);
    // Handler 0 ends at line 17 (STApc 0); a record inserted after it never runs.
    const auto marks = e.Edit(16, "STApc 0\nLDAi 7\n");
    const std::string to40 = "names 38, where `LDAm 302` was; that record is at 40 now";
    EXPECT_EQ(marks, (std::vector<std::string>{std::string("16:") + kMoved + to40,
                                               std::string("22:") + kMoved + to40,
                                               std::string("27:") + kMoved + to40}));
    const std::vector<std::string> titles = e.Titles(17);
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles[0], "Update 3 operands to their records' new addresses");
    EXPECT_EQ(titles[1], "Also update 3 values equal to a moved record's old address "
                         "(6 numbers in all)");
    const std::string fixed = e.Apply(17, titles[1]);
    for (const char* now : {"ADDi 43", "DATA 24", "DATA 32", "LDAi 40\nSTApc 0"})
        EXPECT_NE(fixed.find(now), std::string::npos) << now << "\n" << fixed;
    RunsAsBefore(original, fixed, 22, 46);
}

// A program that grows over a word an operand keeps data in, past its end.
TEST(MovedRecords, AProgramThatGrowsOverItsDataIsWarned) {
    // 0 LDAi 5, 2 STAm 4: word 4 is just past the program's end.
    Editing e("LDAi 5\nSTAm 4\n");
    EXPECT_EQ(e.Edit(1, "STAm 4\nLDAm 4\n"),
              (std::vector<std::string>{"2:program-over-data: word 4 was past the program, where "
                                        "this operand keeps data; the program has grown over "
                                        "it: line 3 loads there now"}));
    // Moved back past its end: nothing to say.
    EXPECT_TRUE(e.Edit(2, "").empty());
}

} // namespace
} // namespace wren::lsp
