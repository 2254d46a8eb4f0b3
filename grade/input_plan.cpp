#include "input_plan.h"

#include <algorithm>

namespace wren::grade {

namespace {

std::uint64_t Span(const RandomWord& w) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(w.hi) - w.lo) + 1;
}

} // namespace

std::vector<std::int32_t> InputPlan::Boundaries(const RandomWord& word) {
    std::vector<std::int32_t> values;
    for (const std::int64_t v :
         {static_cast<std::int64_t>(word.lo), std::int64_t{-1}, std::int64_t{0}, std::int64_t{1},
          std::int64_t{65534}, std::int64_t{65535}, std::int64_t{65536}, std::int64_t{65537},
          static_cast<std::int64_t>(word.hi)})
        if (v >= word.lo && v <= word.hi)
            values.push_back(static_cast<std::int32_t>(v));
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

InputPlan::InputPlan(const Case& c, std::size_t caseIndex, std::uint64_t seed) : words_(c.every) {
    for (const RandomWord& w : words_) {
        total_ *= Span(w); // the case file's reader refuses counts that overflow
        boundaries_.push_back(Boundaries(w));
        boundaryCount_ *= boundaries_.back().size();
    }
    const auto runs = static_cast<std::uint64_t>(std::max<long long>(c.runs, 1));
    count_ = std::min(total_, runs);
    key_ = SplitMix(SplitMix(seed) ^ (0xE7E4ull << 32) ^ caseIndex);
    while (bits_ < 64 && (std::uint64_t{1} << bits_) < total_)
        ++bits_;
    bits_ += bits_ % 2; // two equal halves for the permutation
}

void InputPlan::Decode(std::uint64_t index, std::int32_t* values) const {
    for (std::size_t i = words_.size(); i-- > 0;) {
        const std::uint64_t span = Span(words_[i]);
        values[i] =
            static_cast<std::int32_t>(words_[i].lo + static_cast<std::int64_t>(index % span));
        index /= span;
    }
}

bool InputPlan::IsBoundary(const std::int32_t* values) const {
    for (std::size_t i = 0; i < words_.size(); ++i)
        if (!std::binary_search(boundaries_[i].begin(), boundaries_[i].end(), values[i]))
            return false;
    return true;
}

// A permutation of 0..2^bits - 1, a four-round Feistel network keyed by the
// seed; walking the cycle until the value is below Total() makes it one of
// 0..Total() - 1. The sample is then every input at most once.
std::uint64_t InputPlan::Permute(std::uint64_t index) const {
    const int half = bits_ / 2;
    const std::uint64_t mask = half >= 64 ? ~0ull : (std::uint64_t{1} << half) - 1;
    do {
        std::uint64_t left = index >> half;
        std::uint64_t right = index & mask;
        for (std::uint64_t round = 0; round < 4; ++round) {
            const std::uint64_t next = left ^ (SplitMix(right ^ key_ ^ (round << 60)) & mask);
            left = right;
            right = next;
        }
        index = (left << half) | right;
    } while (index >= total_);
    return index;
}

void InputPlan::ForEach(
    const std::function<bool(std::uint64_t, const std::int32_t*)>& visit) const {
    std::vector<std::int32_t> values(words_.size());
    if (!Sampled()) {
        for (std::uint64_t i = 0; i < count_; ++i) {
            Decode(i, values.data());
            if (!visit(i, values.data()))
                return;
        }
        return;
    }
    // The boundaries, as many as fit, then the sample.
    std::uint64_t done = 0;
    const std::uint64_t boundaries = std::min(boundaryCount_, count_);
    for (; done < boundaries; ++done) {
        std::uint64_t rest = done;
        for (std::size_t i = words_.size(); i-- > 0;) {
            values[i] = boundaries_[i][rest % boundaries_[i].size()];
            rest /= boundaries_[i].size();
        }
        if (!visit(done, values.data()))
            return;
    }
    for (std::uint64_t draw = 0; done < count_; ++draw) {
        Decode(Permute(draw), values.data());
        if (IsBoundary(values.data()))
            continue;
        if (!visit(done++, values.data()))
            return;
    }
}

bool SmallerInput(const std::vector<RandomWord>& words, const std::int32_t* a,
                  const std::int32_t* b) {
    int awayA = 0;
    int awayB = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        awayA += a[i] != words[i].lo;
        awayB += b[i] != words[i].lo;
    }
    if (awayA != awayB)
        return awayA < awayB;
    return std::lexicographical_compare(a, a + words.size(), b, b + words.size());
}

} // namespace wren::grade
