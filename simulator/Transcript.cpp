#include "Transcript.hpp"

#include <algorithm>

namespace zelk::sim {

void LineCounter::carry() {
    for (std::size_t i = digits_; i-- > 0;) {
        if (high_[i] != '9') {
            ++high_[i];
            return;
        }
        high_[i] = '0';
    }
    high_.insert(high_.begin(), '1');
    ++digits_;
}

Transcript::Transcript(std::ostream& output)
    : output_(output),
      capacity_(InitialCapacity),
      block_(std::make_unique_for_overwrite<char[]>(capacity_)),
      end_(block_.get()),
      limit_(block_.get() + capacity_) {}

void Transcript::flush() {
    output_.write(block_.get(), static_cast<std::streamsize>(used()));
    end_ = block_.get();
}

void Transcript::makeRoom(std::size_t size) {
    if (used() + size > FlushThreshold + LineRoom) {
        flush();
    }
    if (room() < size) {
        // A block not grown to full size yet, or a line longer than a full block.
        grow(size);
    }
}

void Transcript::grow(std::size_t size) {
    const std::size_t capacity = std::max(2 * capacity_, used() + size);
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    std::memcpy(grown.get(), block_.get(), used());
    end_ = grown.get() + used();
    block_ = std::move(grown);
    capacity_ = capacity;
    limit_ = block_.get() + capacity_;
}

}  // namespace zelk::sim
