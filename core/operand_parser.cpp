#include "operand_parser.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace wren {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Hex and octal read as 32-bit two's complement words after the "&H"/"&O".
OperandScan ParseRadix(std::string_view digits, int base) {
    std::uint32_t bits = 0;
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), bits, base);
    if (ec == std::errc::invalid_argument)
        return {0, 0, false};
    const std::size_t length = 2 + static_cast<std::size_t>(end - digits.data());
    if (ec == std::errc::result_out_of_range)
        return {std::nullopt, length, false};
#if defined(__cpp_lib_bit_cast)
    return {std::bit_cast<std::int32_t>(bits), length, false};
#else
    // Older C++ libraries (the WebAssembly toolchain's): C++20 defines the
    // conversion as modular, which is the same two's complement reading.
    return {static_cast<std::int32_t>(bits), length, false};
#endif
}

// A decimal number the scanner has already delimited; out of range is
// reported for overflow and underflow alike, as std::from_chars does.
std::errc ReadDouble(std::string_view number, double& value) {
#if defined(__cpp_lib_to_chars)
    return std::from_chars(number.data(), number.data() + number.size(), value).ec;
#else
    // Older C++ libraries have no floating-point from_chars; strtod reads the
    // same digits, and the WebAssembly C library knows only the "C" locale.
    const std::string text(number);
    errno = 0;
    value = std::strtod(text.c_str(), nullptr);
    return errno == ERANGE ? std::errc::result_out_of_range : std::errc();
#endif
}

// from_chars reports both overflow and underflow as out of range. Which one
// it was follows from where the first significant digit stands: a value far
// above 1 overflowed, one far below it rounds to 0.
bool IsHuge(std::string_view mantissa, std::string_view exponent) {
    long magnitude = 0;
    bool seenPoint = false;
    bool significant = false;
    for (char c : mantissa) {
        if (c == '.') {
            seenPoint = true;
        } else if (!significant && c == '0') {
            if (seenPoint)
                --magnitude;
        } else {
            significant = true;
            if (!seenPoint)
                ++magnitude;
        }
    }
    if (!significant)
        return false;
    long power = 0;
    bool negative = false;
    for (char c : exponent) {
        if (c == '-')
            negative = true;
        else if (IsDigit(c) && power < 1'000'000'000)
            power = power * 10 + (c - '0');
    }
    return magnitude + (negative ? -power : power) > 0;
}

OperandScan ParseDecimal(std::string_view s) {
    std::size_t i = 0;
    const bool negative = i < s.size() && s[i] == '-';
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const std::size_t start = i;
    std::size_t digits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i)
        ++digits;
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && IsDigit(s[i]); ++i)
            ++digits;
    if (digits == 0)
        return {0, 0, false};
    const std::size_t mantissaEnd = i;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j]))
                ++j;
            i = j;
        }
    }

    const std::string_view number = s.substr(start, i - start);
    double value = 0;
    bool underflow = false;
    if (ReadDouble(number, value) == std::errc::result_out_of_range) {
        if (IsHuge(s.substr(start, mantissaEnd - start), s.substr(mantissaEnd, i - mantissaEnd)))
            return {std::nullopt, i, false};
        value = 0;
        underflow = true;
    }
    const double rounded = std::nearbyint(negative ? -value : value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
        return {std::nullopt, i, false};
    return {static_cast<std::int32_t>(rounded), i,
            underflow || rounded != (negative ? -value : value)};
}

} // namespace

std::optional<std::int32_t> ParseOperand(std::string_view text) { return ScanOperand(text).value; }

OperandScan ScanOperand(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (!IsOperandBlank(c))
            s.push_back(c);

    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'H' || s[1] == 'h')
            return ParseRadix(std::string_view(s).substr(2), 16);
        if (s[1] == 'O' || s[1] == 'o')
            return ParseRadix(std::string_view(s).substr(2), 8);
    }
    return ParseDecimal(s);
}

} // namespace wren
