#include "LineReader.hpp"

#include <algorithm>
#include <cstring>
#include <ios>
#include <utility>

namespace zelk::sim {

LineReader::LineReader(std::streambuf* source, std::function<void()> afterBlock)
    : source_(source),
      block_(std::make_unique_for_overwrite<char[]>(BlockSize + Window)),
      afterBlock_(std::move(afterBlock)) {}

bool LineReader::joined(const char* begin, std::size_t size, std::string_view& line) {
    if (carry_.size() + size > MaxLineSize) {
        carry_.clear();
        carry_.shrink_to_fit();
        end_ = End::LineTooLong;
        return false;
    }
    carry_.append(begin, size);
    line = hold();
    return true;
}

bool LineReader::carryOn() {
    if (end_ != End::None) {
        return false;
    }
    const std::size_t rest = size_ - std::min(pos_, size_);
    if (carry_.size() + rest > MaxLineSize) {
        // Checked before the bytes are kept: memory stays within the bound.
        carry_.clear();
        carry_.shrink_to_fit();
        end_ = End::LineTooLong;
        return false;
    }
    carry_.append(block_.get() + pos_, rest);
    return refill();
}

bool LineReader::finish(std::string_view& line) {
    if (end_ != End::Input || carry_.empty()) {
        return false;
    }
    line = hold();
    return true;
}

std::string_view LineReader::hold() {
    held_.swap(carry_);
    carry_.clear();
    const std::size_t size = held_.size();
    held_.append(ChunkSize, '\0');
    return {held_.data(), size};
}

bool LineReader::refill() {
    pos_ = 0;
    size_ = 0;
    window_ = 0;
    feeds_ = 0;
    if (source_ == nullptr) {
        end_ = End::Input;
        return false;
    }
    std::streamsize got = 0;
    try {
        // Only what the buffer holds or can tell is there: a stream buffer that fails part way
        // reports it by throwing, and nothing copied before that may be lost.
        std::streamsize available = source_->in_avail();
        if (available == 0 && source_->sgetc() != std::char_traits<char>::eof()) {
            available = source_->in_avail();
        }
        if (available > 0) {
            got = source_->sgetn(block_.get(),
                                 std::min(available, static_cast<std::streamsize>(BlockSize)));
        }
    } catch (...) {
        end_ = End::ReadError;
        return false;
    }
    if (got <= 0) {
        end_ = End::Input;
        return false;
    }
    size_ = static_cast<std::size_t>(got);
    std::memset(block_.get() + size_, 0, Window);
    feeds_ = newlineBits64(block_.get());
    if (afterBlock_) {
        afterBlock_();
    }
    return true;
}

}  // namespace zelk::sim
