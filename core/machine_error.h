#pragma once

#include <stdexcept>

namespace wren {

/// A fault raised by Wren::Step; the message names the fault and the address.
class MachineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A memory access or program counter outside 0..65535.
class IndexOutOfRange : public MachineError {
public:
    using MachineError::MachineError;
};

/// A sum or the cycle count leaving the signed 32-bit range.
class ArithmeticOverflow : public MachineError {
public:
    using MachineError::MachineError;
};

} // namespace wren
