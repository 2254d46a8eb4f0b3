// Fuzzes the operand parser: what it must always hold for any text.
#include "operand_parser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const wren::OperandScan scan = wren::ScanOperand(text);
    Require(wren::ParseOperand(text) == scan.value);

    std::size_t chars = 0;
    for (char c : text)
        chars += wren::IsOperandBlank(c) ? 0 : 1;
    Require(scan.length <= chars);
    if (scan.length == 0)
        Require(scan.value == 0 && !scan.rounded);

    // Blanks are ignored wherever they stand.
    Require(wren::ParseOperand(" \t" + std::string(text) + "\n") == scan.value);
    if (size > 1) {
        std::string split(text);
        split.insert(size / 2, " ");
        Require(wren::ParseOperand(split) == scan.value);
    }
    return 0;
}
