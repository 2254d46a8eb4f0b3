#include "debug_adapter.h"
#include "queue_channel.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace wren::dap {
namespace {

using nlohmann::json;

// Two counters in memory: no state comes back before the cycle count runs
// out, so only pause or a breakpoint stops it. The address 6 runs in every
// round.
constexpr const char* kCounters = "LDAm 100\nADDi 1\nSTAm 100\nBVS 12\nLDAi 0\nSTApc 0\n"
                                  "LDAm 101\nADDi 1\nSTAm 101\nLDAi 0\nSTApc 0\n";

// Sends one request; what the adapter wrote in answer.
std::vector<json> Ask(DebugAdapter& adapter, rpc::QueueChannel& channel, int seq,
                      const char* command, json args = json::object()) {
    EXPECT_FALSE(adapter.Handle(
        {rpc::Incoming::Kind::Message,
         {{"seq", seq}, {"type", "request"}, {"command", command}, {"arguments", std::move(args)}},
         {}}));
    return channel.Take();
}

// Bad messages get an answer (a failed response, or a console line when
// there is no request to answer) and the adapter serves on.
TEST(DebugAdapter, AnswersBadMessagesAndGoesOn) {
    rpc::QueueChannel channel;
    DebugAdapter adapter(channel);
    auto send = [&](rpc::Incoming incoming) {
        EXPECT_FALSE(adapter.Handle(std::move(incoming)));
        return channel.Take();
    };
    auto request = [&](int seq, const char* command, json args = json::object()) {
        return send({rpc::Incoming::Kind::Message,
                     {{"seq", seq},
                      {"type", "request"},
                      {"command", command},
                      {"arguments", std::move(args)}},
                     {}});
    };

    auto out = send({rpc::Incoming::Kind::Malformed, nullptr, "the header has no Content-Length"});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]["event"], "output");
    EXPECT_EQ(out[0]["body"]["output"],
              "wren-dap: ignored a malformed message: the header has no Content-Length\n");

    out = send({rpc::Incoming::Kind::Message, json::array({1}), {}});
    EXPECT_EQ(out.at(0)["body"]["output"], "wren-dap: ignored a message that is no request\n");

    out = request(1, "initialize");
    EXPECT_EQ(out.at(0)["body"]["supportsStepBack"], true);
    EXPECT_EQ(out.at(0)["body"]["exceptionBreakpointFilters"][0]["filter"], "fault");

    const std::pair<const char*, const char*> failures[] = {
        {"threads", "threads: no program is launched"},
        {"launch", "launch: 'program' must name the program file to debug"},
        {"frobnicate", "frobnicate: no program is launched"},
    };
    int seq = 2;
    for (const auto& [command, message] : failures) {
        out = request(seq, command);
        ASSERT_EQ(out.size(), 1u) << command;
        EXPECT_EQ(out[0]["request_seq"], seq++);
        EXPECT_EQ(out[0]["success"], false) << command;
        EXPECT_EQ(out[0]["message"], message);
    }
    out = request(seq++, "launch",
                  {{"program", WREN_SOURCE_DIR "/examples/jump-table.ram"}, {"history", "lots"}});
    EXPECT_EQ(out.at(0)["message"], "launch: 'history' must be a number of steps, 0 or more");

    out = request(seq++, "launch", {{"program", WREN_SOURCE_DIR "/examples/jump-table.ram"}});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0]["success"], true);
    EXPECT_EQ(out[1]["event"], "initialized");
    out = request(seq++, "frobnicate");
    EXPECT_EQ(out.at(0)["message"], "unknown request 'frobnicate'");
    out = request(seq++, "variables", {{"variablesReference", "x"}});
    EXPECT_EQ(out.at(0)["success"], false);
    out = request(seq++, "evaluate", {{"expression", "M[70000]"}});
    EXPECT_EQ(out.at(0)["message"], "'70000' is not a memory address 0..65535");
    out = request(seq++, "setVariable",
                  {{"variablesReference", 1}, {"name", "V"}, {"value", "maybe"}});
    EXPECT_EQ(out.at(0)["message"], "'maybe' is not a value for V: give True or False");
    // Four bytes to a word, little-endian: 0xFF 0xFF 0xFF 0xFF is -1, and a
    // write past the last word is refused unless partial writes are allowed.
    out = request(seq++, "writeMemory",
                  {{"memoryReference", "200"}, {"offset", 4}, {"data", "/////wE="}});
    EXPECT_EQ(out.at(0)["body"]["bytesWritten"], 5);
    out = request(seq++, "evaluate", {{"expression", "M[201]"}});
    EXPECT_EQ(out.at(0)["body"]["result"], "-1");
    out = request(seq++, "evaluate", {{"expression", "202"}, {"context", "hover"}});
    EXPECT_EQ(out.at(0)["body"]["result"], "1");
    out = request(seq++, "writeMemory", {{"memoryReference", "65535"}, {"data", "AQIDBAU="}});
    EXPECT_EQ(out.at(0)["message"], "writeMemory: the data runs past the last word, 65535");
    out = request(seq++, "writeMemory",
                  {{"memoryReference", "65535"}, {"data", "AQIDBAU="}, {"allowPartial", true}});
    EXPECT_EQ(out.at(0)["body"]["bytesWritten"], 4);
    out = request(seq++, "evaluate", {{"expression", "M[65535]"}});
    EXPECT_EQ(out.at(0)["body"]["result"], "67305985"); // 0x04030201
    out = request(seq++, "disassemble", {{"memoryReference", "65534"}, {"instructionCount", 2}});
    EXPECT_EQ(out.at(0)["body"]["instructions"][1],
              json({{"address", "65536"}, {"instruction", ""}, {"presentationHint", "invalid"}}));
    EXPECT_TRUE(adapter.Handle({rpc::Incoming::Kind::Closed, nullptr, {}}));
}

// With one thread, continue runs only when the host asks for a slice: each
// request is answered between slices, pause stops within one, and the stop
// that ends a run is reported by the slice that reaches it.
TEST(DebugAdapter, SlicesRunAContinueOnTheHostsThread) {
    test::TempDir dir;
    const std::string loop = dir.Write("loop.ram", kCounters).string();
    rpc::QueueChannel channel;
    DebugAdapter adapter(channel, Execution::Slices);
    int seq = 0;
    auto request = [&](const char* command, json args = json::object()) {
        std::vector<std::string> said;
        for (const json& m : Ask(adapter, channel, ++seq, command, std::move(args)))
            said.push_back(
                m["type"] == "event"
                    ? "event " + m["event"].get<std::string>() +
                          (m["event"] == "stopped" ? " " + m["body"]["reason"].get<std::string>()
                                                   : "")
                    : m["command"].get<std::string>() + (m["success"] == true ? " ok" : " failed"));
        return said;
    };
    using Said = std::vector<std::string>;

    request("initialize");
    EXPECT_EQ(request("launch", {{"program", loop}, {"stopOnEntry", true}}),
              (Said{"launch ok", "event initialized"}));
    EXPECT_EQ(request("configurationDone"), (Said{"configurationDone ok", "event stopped entry"}));
    EXPECT_EQ(request("continue"), (Said{"continue ok"}));
    EXPECT_TRUE(adapter.Running());
    adapter.RunSlice();
    adapter.RunSlice();
    EXPECT_TRUE(channel.Take().empty()); // a long run goes on between slices
    EXPECT_EQ(request("threads"), (Said{"threads ok"}));
    EXPECT_EQ(request("stackTrace", {{"threadId", 1}}), (Said{"stackTrace failed"}));
    EXPECT_EQ(request("pause", {{"threadId", 1}}), (Said{"pause ok"}));
    EXPECT_TRUE(adapter.Running());
    adapter.RunSlice();
    EXPECT_FALSE(adapter.Running());
    const auto stopped = channel.Take();
    ASSERT_EQ(stopped.size(), 2u); // the stop, and its step in the console
    EXPECT_EQ(stopped[0]["body"]["reason"], "pause");
    EXPECT_EQ(stopped[1]["body"]["category"], "console");

    // A breakpoint ahead: the slice that reaches it reports it, once.
    EXPECT_EQ(request("setInstructionBreakpoints",
                      {{"breakpoints", json::array({{{"instructionReference", "6"}}})}}),
              (Said{"setInstructionBreakpoints ok"}));
    request("continue");
    adapter.RunSlice();
    EXPECT_FALSE(adapter.Running());
    EXPECT_EQ(channel.Take().at(0)["body"]["reason"], "instruction breakpoint");
    adapter.RunSlice(); // nothing under way: nothing happens
    EXPECT_TRUE(channel.Take().empty());

    // Restart while running: the old run ends without a word.
    request("continue");
    EXPECT_EQ(request("restart"), (Said{"restart ok", "event stopped entry"}));
    EXPECT_FALSE(adapter.Running());
    EXPECT_TRUE(adapter.Handle({rpc::Incoming::Kind::Closed, nullptr, {}}));
}

// A client that takes progress events hears how far a long continue is, no
// more than four times a second, and that it is over before the stop.
TEST(DebugAdapter, ALongContinueReportsItsProgress) {
    test::TempDir dir;
    const std::string loop = dir.Write("loop.ram", kCounters).string();
    rpc::QueueChannel channel;
    DebugAdapter adapter(channel, Execution::Slices);
    int seq = 0;
    Ask(adapter, channel, ++seq, "initialize", {{"supportsProgressReporting", true}});
    Ask(adapter, channel, ++seq, "launch", {{"program", loop}, {"stopOnEntry", true}});
    Ask(adapter, channel, ++seq, "configurationDone");
    Ask(adapter, channel, ++seq, "continue", {{"threadId", 1}});
    adapter.RunSlice();
    EXPECT_TRUE(channel.Take().empty()); // too soon for a word
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    adapter.RunSlice();
    auto out = channel.Take();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]["event"], "progressStart");
    EXPECT_EQ(out[0]["body"]["cancellable"], true);
    EXPECT_EQ(out[0]["body"]["steps"], 2'000'000);
    EXPECT_EQ(out[0]["body"]["message"],
              "2000000 steps, PC " + std::to_string(out[0]["body"]["registers"]["PC"].get<int>()));
    adapter.RunSlice();
    EXPECT_TRUE(channel.Take().empty());
    // Cancelling the progress pauses the run.
    Ask(adapter, channel, ++seq, "cancel", {{"progressId", "run"}});
    adapter.RunSlice();
    out = channel.Take();
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[0]["event"], "progressEnd");
    EXPECT_EQ(out[1]["body"]["reason"], "pause");
}

// A program that ended runs again once PC is set back by hand: the end was
// a fact about PC, not about the session.
TEST(DebugAdapter, EditingTheRegistersAfterTheEndRunsOn) {
    test::TempDir dir;
    const std::string path = dir.Write("p.ram", "LDAi 1\n").string();
    rpc::QueueChannel channel;
    DebugAdapter adapter(channel);
    int seq = 0;
    Ask(adapter, channel, ++seq, "initialize");
    Ask(adapter, channel, ++seq, "launch", {{"program", path}, {"stopOnEntry", true}});
    Ask(adapter, channel, ++seq, "configurationDone");
    EXPECT_EQ(Ask(adapter, channel, ++seq, "next", {{"threadId", 1}}).at(1)["body"]["reason"],
              "end");
    Ask(adapter, channel, ++seq, "setVariable",
        {{"variablesReference", 1}, {"name", "PC"}, {"value", "0"}});
    const auto out = Ask(adapter, channel, ++seq, "next", {{"threadId", 1}});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1]["event"], "stopped"); // not exited
    EXPECT_EQ(out[1]["body"]["reason"], "end");
}

// next is a step, but a step that ends the program or faults says so.
TEST(DebugAdapter, NextThatEndsOrFaultsSaysWhy) {
    test::TempDir dir;
    // Each stop carries the step that led to it, and the Debug Console says it.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"LDAi 1\n", "end", "A ← 1 · PC ← 2 · Cycles ← 3"},
        {"LDAm 70000\n", "exception",
         "PC ← 2 · fault: cannot read M[70000]: 70000 is outside memory"},
        {"LDAi 1\nLDAi 2\n", "step", "A ← 1 · PC ← 2 · Cycles ← 3"},
    };
    for (const auto& [text, reason, step] : cases) {
        const std::string path = dir.Write("p.ram", text).string();
        rpc::QueueChannel channel;
        DebugAdapter adapter(channel);
        int seq = 0;
        auto request = [&](const char* command, json args) {
            return Ask(adapter, channel, ++seq, command, std::move(args));
        };
        request("initialize", json::object());
        request("launch", {{"program", path}, {"stopOnEntry", true}});
        request("configurationDone", json::object());
        const auto out = request("next", {{"threadId", 1}});
        ASSERT_EQ(out.size(), 3u) << text;
        EXPECT_EQ(out[1]["event"], "stopped") << text;
        EXPECT_EQ(out[1]["body"]["reason"], reason) << text;
        EXPECT_EQ(out[1]["body"]["step"]["text"], step) << text;
        EXPECT_EQ(out[1]["body"]["step"]["at"], 0) << text;
        EXPECT_EQ(out[2]["body"]["output"],
                  "0: " + std::string(text).substr(0, std::string(text).find('\n')) + "  " + step +
                      "\n")
            << text;
    }
}

} // namespace
} // namespace wren::dap

namespace wren::dap {
namespace {

// Who wrote a word goes back to its newest store and says so in a stop;
// the history names each store's line; bad addresses and steps are refused.
TEST(DebugAdapter, AnswersWhoWroteAWordAndItsHistory) {
    test::TempDir dir;
    const std::string path =
        dir.Write("p.ram", "LDAi 7\n{ the first store,\nSTAm 100\nLDAi 8\nSTAm 100\nLDAi 9\n")
            .string();
    rpc::QueueChannel channel;
    DebugAdapter adapter(channel);
    int seq = 0;
    auto request = [&](const char* command, json args = json::object()) {
        return Ask(adapter, channel, ++seq, command, std::move(args));
    };
    EXPECT_EQ(request("initialize").at(0)["body"]["supportsWordHistory"], true);
    request("launch", {{"program", path}, {"stopOnEntry", true}});
    request("configurationDone");
    request("continue", {{"threadId", 1}});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    channel.Take();

    const auto history = request("wordHistory", {{"address", "&H64"}});
    EXPECT_EQ(history.at(0)["body"],
              json::parse(R"({"address": 100, "since": 0, "now": 5, "more": false, "writes": [
                {"step": 4, "address": 6, "line": 5, "instruction": "STAm 100", "old": 7, "value": 8},
                {"step": 2, "address": 2, "line": 3, "instruction": "STAm 100", "old": 0, "value": 7}]})"));
    const auto paged = request("wordHistory", {{"address", 100}, {"count", 1}, {"before", 4}});
    EXPECT_EQ(paged.at(0)["body"]["writes"].size(), 1U);
    EXPECT_EQ(paged.at(0)["body"]["writes"][0]["step"], 2);
    EXPECT_EQ(paged.at(0)["body"]["more"], false);

    const auto who = request("whoWrote", {{"address", 100}});
    ASSERT_EQ(who.size(), 3U);
    EXPECT_EQ(who[0]["body"]["write"]["step"], 4);
    EXPECT_EQ(who[1]["body"]["reason"], "goto");
    EXPECT_EQ(who[1]["body"]["step"]["at"], 6);
    const auto none = request("whoWrote", {{"address", 101}});
    ASSERT_EQ(none.size(), 1U);
    EXPECT_TRUE(none[0]["body"]["write"].is_null());

    const auto back = request("goToStep", {{"step", 2}});
    ASSERT_EQ(back.size(), 3U);
    EXPECT_EQ(back[1]["body"]["step"]["at"], 2);
    for (const auto& [command, args, message] :
         std::vector<std::tuple<const char*, json, std::string>>{
             {"goToStep",
              {{"step", 3}},
              "goToStep: step 3 is not in this run's history (steps 0 to 2)"},
             {"wordHistory",
              {{"address", 65536}},
              "wordHistory: '65536' is not an address 0..65535"},
             {"whoWrote", {{"address", "x"}}, "whoWrote: 'x' is not an address 0..65535"},
         }) {
        const auto out = request(command, args);
        ASSERT_EQ(out.size(), 1U) << command;
        EXPECT_EQ(out[0]["success"], false);
        EXPECT_EQ(out[0]["message"], message);
    }
}

} // namespace
} // namespace wren::dap
