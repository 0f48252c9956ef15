#pragma once

// A text of bounded size, kept to be written again later: what a repeated script line came
// to. An append that does not fit writes nothing past the end: it marks the text as
// overflowed, and whoever kept it must not use it. The storage is padded (ChunkSize bytes
// after the capacity), so the text can be copied in whole chunks.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "ByteMasks.hpp"

namespace zelk::sim {

template <std::size_t Capacity>
class BoundedText {
public:
    static constexpr std::size_t capacity() { return Capacity; }

    void clear() {
        size_ = 0;
        mark_ = NoMark;
        overflowed_ = false;
    }
    void put(std::string_view part) {
        if (part.size() > Capacity - size_) {
            overflowed_ = true;
            return;
        }
        std::copy(part.begin(), part.end(), text_.begin() + static_cast<std::ptrdiff_t>(size_));
        size_ += part.size();
    }
    void put(char ch) { put(std::string_view(&ch, 1)); }
    template <typename... Parts>
    void write(const Parts&... parts) {
        (put(parts), ...);
    }
    // Marks where the line number goes, which the text leaves out.
    void lineNumber() { mark_ = size_; }

    bool overflowed() const { return overflowed_; }
    bool hasLineNumber() const { return mark_ != NoMark; }
    // The text before the line number, or all of it without one; then what follows it.
    std::string_view head() const { return {text_.data(), hasLineNumber() ? mark_ : size_}; }
    std::string_view tail() const {
        return hasLineNumber() ? std::string_view(text_.data() + mark_, size_ - mark_)
                               : std::string_view();
    }

private:
    static constexpr std::size_t NoMark = ~std::size_t{0};
    std::array<char, Capacity + ChunkSize> text_{};
    std::size_t size_ = 0;
    std::size_t mark_ = NoMark;
    bool overflowed_ = false;
};

}  // namespace zelk::sim
