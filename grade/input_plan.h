#pragma once

#include "grade_cases.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace wren::grade {

/// The inputs a case with every runs, in a fixed order: every combination of
/// its ranges when they hold no more than the case's runs (the first word,
/// the lowest address, changing slowest); past that, the boundary
/// combinations and then a sample drawn from the seed, no input twice.
class InputPlan {
public:
    InputPlan(const Case& c, std::size_t caseIndex, std::uint64_t seed);

    /// How many combinations the ranges hold.
    std::uint64_t Total() const { return total_; }
    /// How many inputs run: Total(), or the case's runs when the ranges hold more.
    std::uint64_t Count() const { return count_; }
    /// Whether the inputs are the boundaries and a sample rather than all.
    bool Sampled() const { return count_ < total_; }
    /// How many words each input sets: the case's every, in address order.
    std::size_t Width() const { return words_.size(); }

    /// Calls visit with each input's number (0, 1, ...) and its words' values,
    /// in order, until visit returns false.
    void ForEach(const std::function<bool(std::uint64_t, const std::int32_t*)>& visit) const;

    /// The values a word may take at the edges of its range: its ends, 0 and
    /// ±1, and the neighbours of 65,535 and 65,536, where in the range.
    static std::vector<std::int32_t> Boundaries(const RandomWord& word);

private:
    void Decode(std::uint64_t index, std::int32_t* values) const;
    bool IsBoundary(const std::int32_t* values) const;
    std::uint64_t Permute(std::uint64_t index) const;

    std::vector<RandomWord> words_;
    std::vector<std::vector<std::int32_t>> boundaries_;
    std::uint64_t total_ = 1;
    std::uint64_t count_ = 0;
    std::uint64_t boundaryCount_ = 1;
    std::uint64_t key_ = 0;
    int bits_ = 0;
};

/// SplitMix64's finalizer: the seed's bits spread over every bit, the same on
/// every machine.
inline std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

/// Orders two inputs of a case's ranges: fewer words away from their low end
/// first; then the smaller value at the lowest address, then the next.
bool SmallerInput(const std::vector<RandomWord>& words, const std::int32_t* a,
                  const std::int32_t* b);

} // namespace wren::grade
