#pragma once

#include "opcodes.h"
#include "wren.h"

#include <cstdint>
#include <vector>

namespace wren {

/// Finds, exactly, the step at which a run reaches a state it was in before
/// (A, PC, V and all of memory; the cycle count aside). From there a
/// deterministic machine can only go round for ever.
///
/// Brent's method: the state at steps 1, 3, 7, 15, ... is kept, and every
/// later state is compared with the kept one, cheaply through a hash of
/// memory that each store updates, and in full only when the hashes agree.
/// Memory is not copied: the words stored since the kept step, with what
/// they held then, are enough to compare it exactly.
class LoopDetector {
public:
    explicit LoopDetector(const Wren& cpu);

    /// Call before each step: notes the word an STAm is about to overwrite.
    void Before(std::int32_t pc) {
        const std::int32_t* words = cpu_.Words();
        store_ = StoreTarget(words, pc);
        if (store_ >= 0)
            old_ = words[store_];
    }

    /// Call after step number step completed; true when the state now is the
    /// one after step Repeats() (0: the state the run started in).
    bool After(long long step) {
        if (store_ >= 0) {
            hash_ += Mix(store_, cpu_.Words()[store_]) - Mix(store_, old_);
            sinceKept_.push_back({store_, old_});
        }
        const Registers now = cpu_.GetRegisters();
        if (now.pcounter == kept_.pcounter && hash_ == keptHash_ &&
            now.accumulator == kept_.accumulator && now.overflow == kept_.overflow && SameMemory())
            return true;
        if (step - keptStep_ == power_) {
            Keep(step);
            power_ *= 2;
        }
        return false;
    }

    /// The step whose state came back.
    long long Repeats() const { return keptStep_; }

private:
    static std::uint64_t Mix(std::int32_t address, std::int32_t value) {
        std::uint64_t x = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(address)) << 32) |
                          static_cast<std::uint32_t>(value);
        x ^= x >> 33;
        x *= 0xff51afd7ed558ccdull;
        x ^= x >> 33;
        x *= 0xc4ceb9fe1a85ec53ull;
        return x ^ (x >> 33);
    }

    void Keep(long long step);
    bool SameMemory() const;

    struct Stored {
        std::int32_t address;
        std::int32_t old;
    };

    const Wren& cpu_;
    // Of the changes since the run began: equal memories, equal hashes.
    std::uint64_t hash_ = 0;
    std::int32_t store_ = -1;
    std::int32_t old_ = 0;
    Registers kept_;
    std::uint64_t keptHash_ = 0;
    long long keptStep_ = 0;
    long long power_ = 1;
    // Every store since the kept step, in order, with the word it replaced.
    std::vector<Stored> sinceKept_;
};

} // namespace wren
