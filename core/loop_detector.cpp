#include "loop_detector.h"

#include <algorithm>
#include <cstring>

namespace wren {

LoopDetector::LoopDetector(const Wren& cpu)
    : cpu_(cpu), keptMemory_(std::make_unique<std::int32_t[]>(Wren::kMemoryWords)) {
    const std::int32_t* words = cpu_.Words();
    for (std::int32_t a = 0; a < Wren::kMemoryWords; ++a)
        hash_ += Mix(a, words[a]);
    Keep(0);
}

void LoopDetector::Keep(long long step) {
    kept_ = cpu_.GetRegisters();
    keptHash_ = hash_;
    keptStep_ = step;
    std::memcpy(keptMemory_.get(), cpu_.Words(), sizeof(std::int32_t) * Wren::kMemoryWords);
}

bool LoopDetector::SameMemory() const {
    return std::memcmp(keptMemory_.get(), cpu_.Words(),
                       sizeof(std::int32_t) * Wren::kMemoryWords) == 0;
}

} // namespace wren
