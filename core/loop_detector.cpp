#include "loop_detector.h"

#include <unordered_map>

namespace wren {

LoopDetector::LoopDetector(const Wren& cpu) : cpu_(cpu) { Keep(0); }

void LoopDetector::Keep(long long step) {
    kept_ = cpu_.GetRegisters();
    keptHash_ = hash_;
    keptStep_ = step;
    sinceKept_.clear();
}

// Only the words stored since the kept step can differ, and the first store
// to each recorded what it held then. Hashes agree only where a loop is, so
// this runs about once a run.
bool LoopDetector::SameMemory() const {
    std::unordered_map<std::int32_t, std::int32_t> kept;
    for (const Stored& s : sinceKept_)
        kept.emplace(s.address, s.old);
    const std::int32_t* words = cpu_.Words();
    for (const auto& [address, value] : kept)
        if (words[address] != value)
            return false;
    return true;
}

} // namespace wren
