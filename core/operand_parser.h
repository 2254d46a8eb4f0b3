#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace wren {

/// The value of an operand text: spaces, tabs and line feeds are ignored, the
/// leading number (decimal with optional point and E exponent, or &H hex /
/// &O octal read as 32-bit two's complement) is rounded half to even, and
/// text that starts with no number gives 0. Nothing when the value does not
/// fit a signed 32-bit word.
std::optional<std::int32_t> ParseOperand(std::string_view text);

/// What reading an operand text found, for tools that explain a program.
struct OperandScan {
    /// As ParseOperand returns it.
    std::optional<std::int32_t> value;
    /// How many characters of the text, blanks not counted, form the number;
    /// 0 when the text starts with no number.
    std::size_t length = 0;
    /// Whether the number had a fractional part that rounding dropped.
    bool rounded = false;
};

/// Reads an operand text exactly as ParseOperand does and says what it found.
OperandScan ScanOperand(std::string_view text);

/// The characters that ParseOperand ignores anywhere in an operand.
constexpr bool IsOperandBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

} // namespace wren
