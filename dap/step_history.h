#pragma once

#include "wren.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace wren::dap {

/// What undoes one step: the registers before it and the memory word it
/// overwrote, if any.
struct UndoEntry {
    Registers before;
    /// The word the step wrote; -1 when it wrote none.
    std::int32_t address = -1;
    std::int32_t old = 0;
};

/// The most recent steps, up to a fixed number: the oldest is forgotten
/// when a new one comes.
class StepHistory {
public:
    explicit StepHistory(std::size_t capacity) : capacity_(capacity) {}

    void Push(const UndoEntry& entry) {
        if (capacity_ == 0)
            return;
        if (entries_.size() == capacity_)
            entries_.pop_front();
        entries_.push_back(entry);
    }
    /// Takes the newest entry; there must be one.
    UndoEntry Pop() {
        const UndoEntry last = entries_.back();
        entries_.pop_back();
        return last;
    }
    bool Empty() const { return entries_.empty(); }
    std::size_t Size() const { return entries_.size(); }
    void Clear() { entries_.clear(); }

private:
    std::size_t capacity_;
    std::deque<UndoEntry> entries_;
};

} // namespace wren::dap
