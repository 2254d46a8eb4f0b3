#include "listing_text.h"

#include "wren.h"

#include <algorithm>
#include <cstdint>

namespace wren {

std::string ListingText(const Wren& cpu, std::string_view lineEnd) {
    std::string text = " --> ";
    const std::int64_t start = cpu.PCounter();
    // 64-bit so that a PC near the top of the range cannot overflow.
    const std::int64_t end = std::min<std::int64_t>(cpu.HiMem(), start + 20);
    for (std::int64_t location = start; location < end; location += 2) {
        text += cpu.Disassemble(static_cast<std::int32_t>(location));
        text += lineEnd;
    }
    return text;
}

} // namespace wren
