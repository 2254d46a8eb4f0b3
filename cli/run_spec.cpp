#include "run_spec.h"

#include "operand_parser.h"
#include "wren.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace wren::cli {

namespace {

std::string Quoted(std::string_view arg) {
    const bool plain = !arg.empty() && std::all_of(arg.begin(), arg.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("_./:=@%+-,").find(c) != std::string_view::npos;
    });
    if (plain)
        return std::string(arg);
    std::string out = "'";
    for (char c : arg)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string Bad(std::string_view option, std::string_view arg, std::string_view why) {
    return std::string(option) + " " + std::string(arg) + ": " + std::string(why);
}

} // namespace

std::optional<std::int32_t> ParseAddress(std::string_view text) {
    std::int32_t address = -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), address);
    if (ec != std::errc{} || end != text.data() + text.size() || address < 0 ||
        address >= Wren::kMemoryWords)
        return std::nullopt;
    return address;
}

std::optional<std::int32_t> ParseWordValue(std::string_view text) {
    const std::size_t chars = static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !IsOperandBlank(c); }));
    const OperandScan scan = ScanOperand(text);
    if (scan.length == 0 || scan.length != chars)
        return std::nullopt;
    return scan.value;
}

std::optional<std::string> AddSet(RunSpec& spec, std::string_view arg) {
    const std::size_t eq = arg.find('=');
    if (eq == std::string_view::npos)
        return Bad("--set", arg, "expected ADDR=VALUE");
    const auto address = ParseAddress(arg.substr(0, eq));
    if (!address)
        return Bad("--set", arg, "the address must be a whole number from 0 to 65535");
    const auto value = ParseWordValue(arg.substr(eq + 1));
    if (!value)
        return Bad("--set", arg, "the value must be a number that fits 32 bits");
    spec.sets.emplace_back(*address, *value);
    return std::nullopt;
}

std::optional<std::string> AddDump(RunSpec& spec, std::string_view arg) {
    // ADDR alone is the one word ADDR:ADDR.
    const std::size_t colon = arg.find(':');
    const auto from = ParseAddress(arg.substr(0, colon));
    const auto to = colon == std::string_view::npos ? from : ParseAddress(arg.substr(colon + 1));
    if (!from || !to)
        return Bad("--dump", arg, "expected ADDR or FROM:TO, addresses from 0 to 65535");
    if (*from > *to)
        return Bad("--dump", arg, "FROM is greater than TO");
    spec.dumps.push_back({*from, *to});
    return std::nullopt;
}

std::optional<std::string> AddBreak(RunSpec& spec, std::string_view arg) {
    const auto address = ParseAddress(arg);
    if (!address)
        return Bad("--break", arg, "the address must be a whole number from 0 to 65535");
    spec.limits.breaks.push_back(*address);
    return std::nullopt;
}

void ApplySets(const RunSpec& spec, Wren& cpu) {
    for (const auto& [address, value] : spec.sets)
        cpu.SetMemory(address, value);
}

std::string TraceCommand(const RunSpec& spec, const std::string& file) {
    std::string command = "wren-trace --steps " + std::to_string(spec.limits.steps);
    if (spec.limits.detectLoops)
        command += " --detect-loops";
    for (const auto& [address, value] : spec.sets)
        command += " --set " + std::to_string(address) + "=" + std::to_string(value);
    for (std::int32_t address : spec.limits.breaks)
        command += " --break " + std::to_string(address);
    for (const auto& range : spec.dumps)
        command += " --dump " + std::to_string(range.from) + ":" + std::to_string(range.to);
    // "--" keeps a file named like an option a file.
    command += (file.starts_with('-') ? " -- " : " ") + Quoted(file);
    return command;
}

} // namespace wren::cli
