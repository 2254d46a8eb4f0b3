#include "language_server.h"
#include "lsp_session.h"
#include "opcodes.h"
#include "program_map.h"
#include "queue_channel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren::lsp {
namespace {

using nlohmann::json;
using test::Apply;
using test::kUri;
using test::Range;
using test::Session;
using test::Where;

TEST(Lifecycle, AnswersInOrderAndExitsWithTheRightStatus) {
    Session fresh(nullptr);
    EXPECT_EQ(fresh.Request("textDocument/hover", fresh.At(0, 0))["error"]["code"], -32002);
    EXPECT_EQ(fresh.Send({{"jsonrpc", "2.0"}, {"method", "initialized"}}), std::nullopt);
    EXPECT_TRUE(fresh.Written().empty());

    Session s;
    EXPECT_EQ(s.Request("initialize", json::object())["error"]["code"], -32600);
    EXPECT_EQ(s.Request("workspace/symbol", json::object())["error"]["code"], -32601);
    s.Notify("$/setTrace", {{"value", "off"}});
    EXPECT_TRUE(s.Written().empty());
    EXPECT_EQ(s.Request("textDocument/hover", {{"textDocument", {{"uri", kUri}}}})["error"]["code"],
              -32602);
    EXPECT_EQ(s.Feed({rpc::Incoming::Kind::Malformed, nullptr, "bad"}), std::nullopt);
    EXPECT_EQ(
        s.Written().at(0),
        json::parse(R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"bad"}})"));
    s.Send(json::array({1, 2}));
    EXPECT_EQ(s.Written().at(0)["error"]["code"], -32600);
    s.Send({{"jsonrpc", "2.0"}, {"id", 7}, {"result", nullptr}}); // a response: ignored
    EXPECT_TRUE(s.Written().empty());

    EXPECT_EQ(s.Request("shutdown", nullptr)["result"], nullptr);
    EXPECT_EQ(s.Request("textDocument/hover", s.At(0, 0))["error"]["code"], -32600);
    EXPECT_EQ(s.Send({{"jsonrpc", "2.0"}, {"method", "exit"}}), 0);

    Session rude;
    EXPECT_EQ(rude.Send({{"jsonrpc", "2.0"}, {"method", "exit"}}), 1);
    Session closed;
    EXPECT_EQ(closed.Feed({rpc::Incoming::Kind::Closed, nullptr, {}}), 1);
}

struct EncodingCase {
    std::vector<std::string> offered;
    std::string picked;
    int slipCharacter; // of the trailing text after "D😀 1, LDAi 1"
};

TEST(Positions, CountInTheEncodingThePairAgreedOn) {
    const EncodingCase cases[] = {{{}, "utf-16", 13},
                                  {{"utf-16"}, "utf-16", 13},
                                  {{"utf-32", "utf-16"}, "utf-32", 12},
                                  {{"utf-32", "utf-8"}, "utf-8", 15}};
    for (const auto& c : cases) {
        Session s(json{{"general", {{"positionEncodings", c.offered}}}});
        Session t(nullptr);
        const json init = t.Result(
            "initialize", {{"capabilities", {{"general", {{"positionEncodings", c.offered}}}}}});
        EXPECT_EQ(init["capabilities"]["positionEncoding"], c.picked);
        const json diagnostics = s.Open("D\xF0\x9F\x98\x80 1, LDAi 1O\n")["diagnostics"];
        ASSERT_EQ(diagnostics.size(), 1u) << c.picked;
        EXPECT_EQ(Where(diagnostics[0]["range"]), "0:" + std::to_string(c.slipCharacter) +
                                                      "-0:" + std::to_string(c.slipCharacter + 1))
            << c.picked;
    }
}

TEST(Diagnostics, FollowEveryChangeAndClearWhenClean) {
    Session s;
    json published = s.Open("ldai 5\nLDAi\t6\n{ a, b\nLDAi 9e9\n");
    std::vector<std::string> got;
    for (const json& d : published["diagnostics"])
        got.push_back(d.value("code", "error") + "@" + Where(d["range"]) + "/" +
                      std::to_string(d["severity"].get<int>()));
    EXPECT_EQ(got,
              (std::vector<std::string>{"unknown-mnemonic@0:0-0:6/2", "tab-separator@1:4-1:6/2",
                                        "comma-in-comment@2:3-2:4/2", "error@3:5-3:8/1"}));
    EXPECT_EQ(published["diagnostics"][0]["source"], "wren");
    EXPECT_EQ(published["diagnostics"][0]["message"],
              "unknown mnemonic 'ldai'\nthe loader writes only the operand word (5) and leaves the "
              "opcode "
              "word as it was; did you mean 'LDAi'?");
    EXPECT_EQ(published["diagnostics"][3]["message"],
              "operand \"9e9\" is outside the 32-bit range");

    // One incremental edit per slip, in one change.
    s.Notify("textDocument/didChange", {{"textDocument", {{"uri", kUri}, {"version", 2}}},
                                        {"contentChanges",
                                         {{{"range", Range(3, 5, 3, 8)}, {"text", "9"}},
                                          {{"range", Range(2, 3, 2, 4)}, {"text", ";"}},
                                          {{"range", Range(1, 4, 1, 5)}, {"text", " "}},
                                          {{"range", Range(0, 0, 0, 4)}, {"text", "LDAi"}}}}});
    published = s.Published();
    EXPECT_EQ(published["version"], 2);
    EXPECT_EQ(published["diagnostics"], json::array());
    EXPECT_EQ(s.Result("textDocument/inlayHint",
                       {{"textDocument", {{"uri", kUri}}}, {"range", Range(0, 0, 9, 0)}})
                  .size(),
              3u);

    s.Notify("textDocument/didChange", {{"textDocument", {{"uri", kUri}, {"version", 3}}},
                                        {"contentChanges", {{{"text", "LDAI 1\n"}}}}});
    EXPECT_EQ(s.Published()["diagnostics"].size(), 1u);
    s.Notify("textDocument/didClose", {{"textDocument", {{"uri", kUri}}}});
    EXPECT_EQ(s.Published()["diagnostics"], json::array());
    EXPECT_EQ(s.Result("textDocument/hover", s.At(0, 0)), nullptr);
}

TEST(InlayHints, AddressAtEachRecordAndTheValueWhereItReadsOtherwise) {
    Session s;
    s.Open("{ start\nLDAi &HFF, ADDi 2\nLDApc\nDATA 2.5\nSTAm x\nLDApc x\nLDAi 5 6 {c}\n");
    std::vector<std::string> got;
    for (const json& h : s.Result("textDocument/inlayHint", {{"textDocument", {{"uri", kUri}}},
                                                             {"range", Range(1, 0, 5, 0)}}))
        got.push_back(h["label"].get<std::string>() + "@" +
                      std::to_string(h["position"]["line"].get<int>()) + ":" +
                      std::to_string(h["position"]["character"].get<int>()));
    // The range's end is exclusive: line 5's hint is not asked for. The
    // program reaches address 10, so one-digit addresses get a figure space.
    EXPECT_EQ(got,
              (std::vector<std::string>{"\u20070:@1:0", "= 255@1:9", "\u20072:@1:11",
                                        "\u20074:@3:0", "= 2@3:8", "\u20076:@4:0", "= 0@4:6"}));
}

struct AtCase {
    const char* name;
    int line, character;
    std::string expected;
};

const char* const kProgram = "{ jump table\n"    // 0
                             "LDAm 7\n"          // 1: address 0
                             "BVS 4, STAm 200\n" // 2: 2, 4
                             "DATA 9\n"          // 3: 6
                             "ADDm 6\n"          // 4: 8
                             "LDAm -1\n";        // 5: 10

TEST(Hover, SaysWhatIsThere) {
    const AtCase cases[] = {
        {"mnemonic", 1, 1, "**LDAm**: A := M[n]\n\nopcode 16, 3 cycles; at address 0"},
        {"data_mnemonic", 3, 0,
         "**data** `DATA`: not an instruction. The loader writes only the operand word, 9, at "
         "address 7; the "
         "opcode word at 6 keeps what was there."},
        {"operand_word_target", 1, 5,
         "operand word 7, at address 1\n\naddress 7: an operand word of `DATA 9` (line 4), which "
         "loads as 9"},
        {"opcode_word_target", 2, 4,
         "operand word 4, at address 3\n\naddress 4: the opcode word of `STAm 200` (line 3), "
         "opcode 128"},
        {"outside_the_program", 2, 13,
         "operand word 200, at address 5\n\naddress 200: outside the program (0 when it loads into "
         "a new processor)"},
        {"data_opcode_word", 4, 5,
         "operand word 6, at address 9\n\naddress 6: the opcode word of the data record `DATA 9` "
         "(line 4), which "
         "the loader leaves as it was"},
        {"outside_memory", 5, 6,
         "operand word -1, at address 11\n\naddress -1: outside memory: a machine fault when it "
         "runs"},
    };
    Session s;
    s.Open(kProgram);
    for (const auto& c : cases) {
        const json hover = s.Result("textDocument/hover", s.At(c.line, c.character));
        ASSERT_TRUE(hover.is_object()) << c.name;
        EXPECT_EQ(hover["contents"]["value"], c.expected) << c.name;
    }
    EXPECT_EQ(s.Result("textDocument/hover", s.At(0, 3)), nullptr);
}

TEST(Navigation, DefinitionLandsOnTheRecordAndReferencesFindItBack) {
    Session s;
    s.Open(kProgram);
    auto locations = [&](const json& result) {
        std::vector<std::string> out;
        for (const json& l : result)
            out.push_back(Where(l["range"]));
        return out;
    };
    EXPECT_EQ(locations(s.Result("textDocument/definition", s.At(1, 6))),
              (std::vector<std::string>{"3:0-3:6"}));
    EXPECT_EQ(locations(s.Result("textDocument/definition", s.At(2, 4))),
              (std::vector<std::string>{"2:7-2:15"}));
    EXPECT_EQ(locations(s.Result("textDocument/definition", s.At(2, 13))),
              std::vector<std::string>{});
    EXPECT_EQ(locations(s.Result("textDocument/definition", s.At(1, 1))),
              std::vector<std::string>{});

    json params = s.At(3, 2);
    params["context"] = {{"includeDeclaration", false}};
    EXPECT_EQ(locations(s.Result("textDocument/references", params)),
              (std::vector<std::string>{"1:5-1:6", "4:5-4:6"}));
    params["context"]["includeDeclaration"] = true;
    EXPECT_EQ(locations(s.Result("textDocument/references", params)).size(), 3u);
}

struct FixCase {
    const char* name;
    std::string text;
    std::string title;
    std::string fixed;
    /// The first record that takes memory, after the fix: "MNEMONIC VALUE".
    std::string loads;
};

TEST(CodeActions, EachFixLoadsTheRecordAsItReads) {
    const FixCase cases[] = {
        {"wrong_case", "ldai 5\n", "Change to 'LDAi'", "LDAi 5\n", "LDAi 5"},
        {"second_candidate", "ADD 5\n", "Change to 'ADDi'", "ADDi 5\n", "ADDi 5"},
        {"tab", "LDAi\t5\n", "Separate with a space", "LDAi 5\n", "LDAi 5"},
        {"missing_operand", "LDApc  \nADDi 1\n", "Add the operand 0", "LDApc 0  \nADDi 1\n",
         "LDApc 0"},
        {"missing_operand_quoted", "\"LDApc\"\n", "Add the operand 0", "\"LDApc 0\"\n", "LDApc 0"},
        {"comma_in_comment", "{ one, two, three\nLDAi 1\n", "Use ';' instead of ',' in the comment",
         "{ one; two; three\nLDAi 1\n", "LDAi 1"},
    };
    for (const auto& c : cases) {
        Session s;
        s.Open(c.text);
        const json actions =
            s.Result("textDocument/codeAction", {{"textDocument", {{"uri", kUri}}},
                                                 {"range", Range(0, 0, 0, 0)},
                                                 {"context", {{"diagnostics", json::array()}}}});
        const json* chosen = nullptr;
        for (const json& a : actions)
            if (a["title"] == c.title)
                chosen = &a;
        ASSERT_NE(chosen, nullptr) << c.name << ": " << actions.dump();
        EXPECT_EQ((*chosen)["kind"], "quickfix");
        const std::string fixed = Apply(c.text, (*chosen)["edit"]["changes"][kUri]);
        EXPECT_EQ(fixed, c.fixed) << c.name;
        const ProgramMap map = MapProgram(fixed);
        EXPECT_TRUE(map.findings.empty()) << c.name << ": " << map.findings.at(0).name;
        ASSERT_FALSE(map.byAddress.empty()) << c.name;
        const RecordSummary& first = map.records[map.byAddress[0]];
        ASSERT_EQ(first.kind, RecordSummary::Kind::Instruction) << c.name;
        EXPECT_EQ(std::string(first.info->mnemonic) + " " + std::to_string(first.value), c.loads)
            << c.name;
    }
}

TEST(Completion, OffersTheMnemonicsOnlyWhileOneIsTyped) {
    Session s;
    s.Open("LD\nLDAi 5, S\n{ LD\n");
    const std::pair<int, int> offered[] = {{0, 0}, {0, 2}, {1, 9}};
    const std::pair<int, int> silent[] = {{1, 5}, {2, 4}};
    for (auto [line, character] : offered) {
        const json items = s.Result("textDocument/completion", s.At(line, character));
        ASSERT_EQ(items.size(), 9u) << line << ":" << character;
        EXPECT_EQ(items[8]["label"], "STApc");
        EXPECT_EQ(items[8]["documentation"]["value"], "PC := A (a jump through the accumulator)");
    }
    for (auto [line, character] : silent)
        EXPECT_EQ(s.Result("textDocument/completion", s.At(line, character)), json::array())
            << line;
}

// Exact answers at the edges that changed code got wrong without a test
// noticing: each row is one request on one small document.
struct EdgeCase {
    const char* name;
    std::string text;
    const char* method;
    json params;          // textDocument is added
    std::string expected; // the result, summarised by Summary
};

// Diagnostics as "CODE@RANGE", hints as "LABEL@LINE:CHAR", locations as
// ranges, actions as "TITLE/PREFERRED".
std::string Summary(const json& result) {
    if (result.is_null())
        return "null";
    std::string out;
    for (const json& item : result) {
        if (!out.empty())
            out += " ";
        if (item.contains("label"))
            out += item["label"].get<std::string>() + "@" +
                   std::to_string(item["position"]["line"].get<int>()) + ":" +
                   std::to_string(item["position"]["character"].get<int>());
        else if (item.contains("title"))
            out += item["title"].get<std::string>() + "/" +
                   (item["isPreferred"].get<bool>() ? "preferred" : "not");
        else if (item.contains("code"))
            out += item["code"].get<std::string>() + "@" + Where(item["range"]);
        else
            out += Where(item["range"]);
    }
    return out.empty() ? "[]" : out;
}

std::string ManyRecords(int n) {
    std::string text;
    for (int i = 0; i < n; ++i)
        text += "LDAi 1\n";
    return text;
}

TEST(Edges, ExactAnswers) {
    const json noContext = {{"diagnostics", json::array()}};
    const EdgeCase cases[] = {
        {"three_byte_character_before_a_slip",
         "D\xE2\x82\xAC 1, LDAi 1O\n",
         "diagnostics",
         {},
         "trailing-text@0:12-0:13"},
        {"crlf_is_one_line_end",
         "LDAi 5\r\nldai 6\r\n",
         "diagnostics",
         {},
         "unknown-mnemonic@1:0-1:6"},
        {"comment_after_operand_has_no_value_hint",
         "LDAi 5 {five}\n",
         "textDocument/inlayHint",
         {{"range", Range(0, 0, 1, 0)}},
         "0:@0:0"},
        {"hint_range_end_is_exclusive",
         ManyRecords(16200),
         "textDocument/inlayHint",
         {{"range", Range(16000, 0, 16100, 0)}},
         ""},
        {"hints_share_one_width",
         ManyRecords(6),
         "textDocument/inlayHint",
         {{"range", Range(4, 0, 6, 0)}},
         "\u20078:@4:0 10:@5:0"},
        {"negative_operand_names_no_record",
         "LDAi 5\nLDAm -1\n",
         "textDocument/references",
         {{"position", {{"line", 0}, {"character", 0}}},
          {"context", {{"includeDeclaration", false}}}},
         "[]"},
        {"immediate_operand_has_no_definition",
         "LDAi 3\nLDAi 0\n",
         "textDocument/definition",
         {{"position", {{"line", 0}, {"character", 5}}}},
         "[]"},
        {"two_candidates_neither_preferred",
         "LDAx 5\n",
         "textDocument/codeAction",
         {{"range", Range(0, 0, 0, 0)}, {"context", noContext}},
         "Change to 'LDAm'/not Change to 'LDAi'/not"},
        {"comma_in_an_operand_comment",
         "STAm 102 { result := 0, then keep it\n",
         "diagnostics",
         {},
         "comma-in-comment@0:22-0:23 not-a-number@0:29-0:36"},
        {"fix_for_an_operand_comment",
         "LDAi 5 { five, then 7\n",
         "textDocument/codeAction",
         {{"range", Range(0, 0, 0, 0)}, {"context", noContext}},
         "Use ';' instead of ',' in the comment/preferred"},
    };
    for (const auto& c : cases) {
        Session s;
        const json published = s.Open(c.text);
        json result;
        if (std::string(c.method) == "diagnostics") {
            result = published["diagnostics"];
        } else {
            json params = c.params;
            params["textDocument"] = {{"uri", kUri}};
            result = s.Result(c.method, params);
        }
        if (std::string(c.name) == "hint_range_end_is_exclusive") {
            ASSERT_EQ(result.size(), 100u);
            EXPECT_EQ(result.front()["position"]["line"], 16000);
            EXPECT_EQ(result.back()["position"]["line"], 16099);
            continue;
        }
        EXPECT_EQ(Summary(result), c.expected) << c.name;
    }
}

TEST(LargeDocuments, FillMemoryExactlyOrFailOnTheRecordThatDoesNotFit) {
    std::string text;
    for (int i = 0; i < 32768; ++i)
        text += "LDAi 1\n";
    Session s;
    EXPECT_EQ(s.Open(text)["diagnostics"], json::array());
    const json last = s.Result("textDocument/inlayHint", {{"textDocument", {{"uri", kUri}}},
                                                          {"range", Range(32767, 0, 32768, 0)}});
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0]["label"], "65534:");
    s.Notify("textDocument/didChange",
             {{"textDocument", {{"uri", kUri}, {"version", 2}}},
              {"contentChanges", {{{"range", Range(32768, 0, 32768, 0)}, {"text", "LDAi 1"}}}}});
    const json diagnostics = s.Published()["diagnostics"];
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0]["severity"], 1);
    EXPECT_EQ(diagnostics[0]["range"]["start"]["line"], 32768);
}

} // namespace
} // namespace wren::lsp
