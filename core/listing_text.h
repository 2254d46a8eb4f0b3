#pragma once

#include <string>
#include <string_view>

namespace wren {

class Wren;

/// The listing the window shows: " --> " and then one listing line, each
/// followed by lineEnd, for every second location from PC below the smaller
/// of HiMem and PC + 20.
std::string ListingText(const Wren& cpu, std::string_view lineEnd = "\r\n");

} // namespace wren
