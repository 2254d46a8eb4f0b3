#pragma once

#include <string>

namespace wren {

/// Why a program file did not load completely.
struct LoadError {
    /// 1-based line where the failing record starts; 0 when no record is at fault.
    int line = 0;
    std::string message;
    /// 1-based column where the problem starts; 0 when not known.
    int column = 0;
};

} // namespace wren
