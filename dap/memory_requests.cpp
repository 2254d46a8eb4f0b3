#include "debug_adapter.h"

#include "protocol_error.h"
#include "run_spec.h"

#include <array>
#include <cstdio>

namespace wren::dap {

namespace {

using Json = nlohmann::json;

constexpr std::int64_t kBytes = std::int64_t{Wren::kMemoryWords} * 4;

[[noreturn]] void Fail(const std::string& message) { throw rpc::ProtocolError(3, message); }

constexpr std::string_view kBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string ToBase64(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t n = (std::uint32_t{bytes[i]} << 16) |
                                (i + 1 < bytes.size() ? std::uint32_t{bytes[i + 1]} << 8 : 0) |
                                (i + 2 < bytes.size() ? std::uint32_t{bytes[i + 2]} : 0);
        out += kBase64[(n >> 18) & 63];
        out += kBase64[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kBase64[n & 63] : '=';
    }
    return out;
}

std::vector<std::uint8_t> FromBase64(const std::string& text) {
    std::vector<std::uint8_t> out;
    std::uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=' || c == '\n' || c == '\r')
            continue;
        const auto at = kBase64.find(c);
        if (at == std::string_view::npos)
            Fail("writeMemory: 'data' is not base64");
        bits = (bits << 6) | static_cast<std::uint32_t>(at);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<std::uint8_t>((bits >> count) & 0xFF));
        }
    }
    return out;
}

// The first byte a request names: a word's reference, plus an offset in bytes.
std::int64_t FirstByte(const Json& args) {
    const auto word = cli::ParseAddress(args.at("memoryReference").get<std::string>());
    if (!word)
        Fail("'" + args.at("memoryReference").get<std::string>() +
             "' is not a memory reference: give a word address 0..65535");
    return std::int64_t{*word} * 4 + args.value("offset", std::int64_t{0});
}

// Words are stored little-endian, two's complement, four bytes each.
std::uint8_t ByteAt(const Wren& cpu, std::int64_t byte) {
    const auto word = static_cast<std::uint32_t>(cpu.Memory(static_cast<std::int32_t>(byte / 4)));
    return static_cast<std::uint8_t>(word >> (8 * (byte % 4)));
}

} // namespace

Json DebugAdapter::ReadMemory(const Json& args) {
    const Wren& cpu = Machine().Cpu();
    const std::int64_t first = FirstByte(args);
    const std::int64_t count = args.at("count").get<std::int64_t>();
    if (first < 0 || count < 0)
        Fail("readMemory: the range starts before address 0");
    std::vector<std::uint8_t> bytes;
    for (std::int64_t b = first; b < first + count && b < kBytes; ++b)
        bytes.push_back(ByteAt(cpu, b));
    Json out{{"address", std::to_string(std::min(first, kBytes) / 4)}, {"data", ToBase64(bytes)}};
    if (static_cast<std::int64_t>(bytes.size()) < count)
        out["unreadableBytes"] = count - static_cast<std::int64_t>(bytes.size());
    return out;
}

Json DebugAdapter::WriteMemory(const Json& args) {
    Wren& cpu = Machine().Edit();
    const std::int64_t first = FirstByte(args);
    const std::vector<std::uint8_t> bytes = FromBase64(args.at("data").get<std::string>());
    const bool partial = args.value("allowPartial", false);
    if (first < 0)
        Fail("writeMemory: the range starts before address 0");
    const std::int64_t fits =
        std::max<std::int64_t>(0, std::min<std::int64_t>(bytes.size(), kBytes - first));
    if (fits < static_cast<std::int64_t>(bytes.size()) && !partial)
        Fail("writeMemory: the data runs past the last word, 65535");
    for (std::int64_t i = 0; i < fits; ++i) {
        const std::int64_t byte = first + i;
        const auto address = static_cast<std::int32_t>(byte / 4);
        const int shift = static_cast<int>(8 * (byte % 4));
        auto word = static_cast<std::uint32_t>(cpu.Memory(address));
        word = (word & ~(0xFFu << shift)) |
               (std::uint32_t{bytes[static_cast<std::size_t>(i)]} << shift);
        cpu.SetMemory(address, static_cast<std::int32_t>(word));
    }
    if (fits > 0)
        Machine().Edited();
    return {{"bytesWritten", fits}};
}

Json DebugAdapter::Disassemble(const Json& args) {
    const Wren& cpu = Machine().Cpu();
    const std::int64_t start =
        FirstByte(args) / 4 + 2 * args.value("instructionOffset", std::int64_t{0});
    const std::int64_t count = args.at("instructionCount").get<std::int64_t>();
    if (count < 0 || count > Wren::kMemoryWords)
        Fail("disassemble: instructionCount must be 0 to 65536");
    Json out = Json::array();
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t address = start + 2 * i;
        Json entry{{"address", std::to_string(address)}};
        if (address < 0 || address >= Wren::kMemoryWords) {
            entry["instruction"] = "";
            entry["presentationHint"] = "invalid";
        } else {
            const auto at = static_cast<std::int32_t>(address);
            entry["instruction"] = cpu.Disassemble(at);
            std::array<char, 24> bytes{};
            const auto opcode = static_cast<std::uint32_t>(cpu.Memory(at));
            const auto operand =
                at + 1 < Wren::kMemoryWords ? static_cast<std::uint32_t>(cpu.Memory(at + 1)) : 0u;
            std::snprintf(bytes.data(), bytes.size(), "%08X %08X", opcode, operand);
            entry["instructionBytes"] = bytes.data();
            if (const Json where = SourceLine(at); !where.is_null()) {
                entry["location"] = where["source"];
                entry["line"] = where["line"];
            }
        }
        out.push_back(std::move(entry));
    }
    return {{"instructions", std::move(out)}};
}

} // namespace wren::dap
