#pragma once

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

} // namespace wren
