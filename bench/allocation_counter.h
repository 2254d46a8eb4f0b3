#pragma once

#include <cstddef>

namespace wren::bench {

/// Heap allocations made through operator new since the program started.
std::size_t Allocations();

} // namespace wren::bench
