#pragma once

#include "wren.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wren::dap {

/// What undoes one step, in 16 bytes: the registers before it and, for the
/// one instruction that writes memory (STAm, which leaves A as it was), the
/// word it overwrote in place of A.
class UndoEntry {
public:
    UndoEntry() = default;
    /// A step that writes no memory word.
    explicit UndoEntry(const Registers& before)
        : value_(before.accumulator), pcounter_(before.pcounter), cycles_(before.cycles),
          flags_(before.overflow ? kOverflow : 0) {}
    /// A step that overwrites the word at address, which held old.
    UndoEntry(const Registers& before, std::int32_t address, std::int32_t old)
        : value_(old), pcounter_(before.pcounter), cycles_(before.cycles),
          flags_((before.overflow ? kOverflow : 0) | kWrote |
                 (static_cast<std::uint32_t>(address) << kAddressShift)) {}

    /// The word the step wrote; -1 when it wrote none.
    std::int32_t Address() const {
        return (flags_ & kWrote) ? static_cast<std::int32_t>(flags_ >> kAddressShift) : -1;
    }
    std::int32_t Old() const { return value_; }
    /// The registers before the step; A is taken from now when the step
    /// wrote memory, since that step does not change A.
    Registers Before(std::int32_t accumulatorNow) const {
        return {(flags_ & kWrote) ? accumulatorNow : value_, pcounter_, (flags_ & kOverflow) != 0,
                cycles_};
    }

private:
    static constexpr std::uint32_t kOverflow = 1;
    static constexpr std::uint32_t kWrote = 2;
    static constexpr int kAddressShift = 2;

    std::int32_t value_ = 0; // A before, or the overwritten word
    std::int32_t pcounter_ = 0;
    std::int32_t cycles_ = 0;
    std::uint32_t flags_ = 0;
};
static_assert(sizeof(UndoEntry) == 16);

/// The most recent steps, up to a fixed number: the oldest is forgotten
/// when a new one comes. Memory grows with use, up to the limit, and is
/// then reused in a ring.
class StepHistory {
public:
    explicit StepHistory(std::size_t capacity) : capacity_(capacity) {}

    void Push(const UndoEntry& entry) {
        if (entries_.size() < capacity_) { // still growing: a stack
            entries_.push_back(entry);
            return;
        }
        if (capacity_ == 0)
            return;
        entries_[next_] = entry;
        if (++next_ == capacity_)
            next_ = 0;
        if (count_ < capacity_)
            ++count_;
    }
    /// Takes the newest entry; there must be one.
    UndoEntry Pop() {
        if (entries_.size() < capacity_) {
            const UndoEntry last = entries_.back();
            entries_.pop_back();
            return last;
        }
        next_ = (next_ == 0 ? capacity_ : next_) - 1;
        --count_;
        return entries_[next_];
    }
    /// The newest entry, or nullptr when none is kept.
    const UndoEntry* Newest() const {
        if (Empty())
            return nullptr;
        if (entries_.size() < capacity_)
            return &entries_.back();
        return &entries_[(next_ == 0 ? capacity_ : next_) - 1];
    }
    /// The entry back steps before the newest (0: the newest); back < Size().
    const UndoEntry& FromNewest(std::size_t back) const {
        if (entries_.size() < capacity_)
            return entries_[entries_.size() - 1 - back];
        return entries_[(next_ + capacity_ - 1 - back) % capacity_];
    }
    bool Empty() const { return Size() == 0; }
    std::size_t Capacity() const { return capacity_; }
    std::size_t Size() const { return entries_.size() < capacity_ ? entries_.size() : count_; }
    void Clear() {
        entries_.clear();
        next_ = 0;
        count_ = capacity_;
    }

private:
    std::size_t capacity_;
    std::vector<UndoEntry> entries_;
    // Once full: where the next entry goes, and how many are kept.
    std::size_t next_ = 0;
    std::size_t count_ = capacity_;
};

} // namespace wren::dap
