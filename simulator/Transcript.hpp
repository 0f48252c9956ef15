#pragma once

// The transcript on its way out, and the numbers written into it: collected in one block
// and written out in large pieces, a handful of system calls per megabyte.
//
// A script line first reserves room for what it is likely to write (reserve), which is also
// where the block is written out once full; the appends after that only check that they
// fit, and grow the block in the rare case that they do not. An append never writes the
// block out, so what a line has written stays in the block until its next reserve. One
// transcript per run, used by one thread.

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

#include "ByteMasks.hpp"

namespace zelk::sim {

// The decimal text of a number, without allocating.
class NumberText {
public:
    explicit NumberText(long long value)
        : size_(static_cast<std::size_t>(
              std::to_chars(digits_.data(), digits_.data() + digits_.size(), value).ptr -
              digits_.data())) {}
    std::string_view view() const { return {digits_.data(), size_}; }

private:
    std::array<char, 24> digits_;  // any long long
    std::size_t size_;
};

// A line number: the decimal text of all but its last two digits, and those two as a number.
// Counting up is an addition, and the text changes once in a hundred lines. The number is
// never read back from memory just after a byte of it was stored there, which would stall
// the copy of the whole chunk that writes it out.
class LineCounter {
public:
    void next() {
        ++value_;
        if (++low_ == 100) {
            low_ = 0;
            carry();
        }
    }

    // The number itself: 0 before the first line.
    std::uint64_t value() const { return value_; }

    // An upper bound of the number's length.
    std::size_t size() const { return digits_ + 2; }

    // Writes the number at `out`, and up to ChunkSize bytes of no meaning after it; returns
    // the end of the number.
    char* write(char* out) const {
        const char* const last = TwoDigits.data() + 2 * low_;
        if (digits_ == 0) {  // below 100: one or two digits
            const std::size_t skip = low_ < 10 ? 1 : 0;
            std::memcpy(out, last + skip, 2);
            return out + 2 - skip;
        }
        for (std::size_t done = 0; done < digits_; done += ChunkSize) {
            std::memcpy(out + done, high_.data() + done, ChunkSize);
        }
        std::memcpy(out + digits_, last, 2);
        return out + digits_ + 2;
    }

private:
    // "00" to "99".
    static constexpr std::array<char, 200> TwoDigits = [] {
        std::array<char, 200> text{};
        for (std::size_t i = 0; i < 100; ++i) {
            text[2 * i] = static_cast<char>('0' + i / 10);
            text[2 * i + 1] = static_cast<char>('0' + i % 10);
        }
        return text;
    }();

    // Adds one to the text of the hundreds: to its last digit, with a carry, and a new leading
    // digit when all were 9.
    void carry();

    std::size_t low_ = 0;
    std::string high_ = std::string(ChunkSize, '\0');  // the digits, then ChunkSize zero bytes
    std::size_t digits_ = 0;                           // any number: no script can make it overflow
    std::uint64_t value_ = 0;
};

class Transcript {
public:
    explicit Transcript(std::ostream& output);

    // Makes room for `size` more bytes, writing out what is collected first if that would
    // fill the block.
    void reserve(std::size_t size) {
        if (room() < size) {
            makeRoom(size);
        }
    }
    // Appends the parts in order: texts, single characters, line numbers and Chunked texts.
    // One check that all of them fit, from their sizes, then copies that check nothing more.
    // Inlined where they are written: a literal's length is then a constant, and its copy a
    // few moves.
    template <typename... Parts>
    [[gnu::always_inline]] void write(const Parts&... parts) {
        // A bare character pointer or array would be measured with strlen on every append:
        // texts come as views (a literal as "..."sv), whose length is known.
        static_assert((!std::is_pointer_v<std::decay_t<Parts>> && ...),
                      "pass texts as string views");
        fit((partRoom(parts) + ...));
        (copy(parts), ...);
    }
    [[gnu::always_inline]] void put(std::string_view text) { write(text); }
    [[gnu::always_inline]] void put(char ch) { write(ch); }
    [[gnu::always_inline]] void put(const LineCounter& number) { write(number); }
    // A text whose storage goes on for ChunkSize bytes after it: copied in whole chunks, and
    // so also up to ChunkSize bytes past the text, which later appends overwrite.
    struct Chunked {
        std::string_view text;
    };
    [[gnu::always_inline]] void putChunked(std::string_view text) { write(Chunked{text}); }

    // Where the next byte goes, for reading back what a line wrote (text()).
    std::size_t mark() const { return used(); }
    // What was written from `mark` on; valid until the next reserve or flush.
    std::string_view text(std::size_t mark) const { return {block_.get() + mark, used() - mark}; }

    // Writes out what is collected once it fills the block.
    void flushIfFull() {
        if (used() >= FlushThreshold) {
            flush();
        }
    }
    void flush();

    // Room that any one script line may use besides two copies of its own text and line
    // number: its fixed words, a STATE line, an expect field's value. Only a hint of what
    // to reserve: an append that does not fit grows the block.
    static constexpr std::size_t LineRoom = 1024;

private:
    static constexpr std::size_t FlushThreshold = std::size_t{64} * 1024;
    // A short script never touches more (a twenty-line one writes about 4 KiB, and each
    // line reserves a kilobyte more): the block grows to full size as output comes.
    static constexpr std::size_t InitialCapacity = std::size_t{8} * 1024;

    // What each part may take of the block: a line number and a chunked text also the bytes
    // their whole-chunk copies write past their end.
    static std::size_t partRoom(std::string_view text) { return text.size(); }
    static std::size_t partRoom(char /*ch*/) { return 1; }
    static std::size_t partRoom(const LineCounter& number) { return number.size() + ChunkSize; }
    static std::size_t partRoom(const Chunked& part) { return part.text.size() + ChunkSize; }
    [[gnu::always_inline]] void copy(std::string_view text) {
        if (!text.empty()) {
            std::memcpy(end_, text.data(), text.size());
            end_ += text.size();
        }
    }
    [[gnu::always_inline]] void copy(char ch) { *end_++ = ch; }
    [[gnu::always_inline]] void copy(const LineCounter& number) { end_ = number.write(end_); }
    [[gnu::always_inline]] void copy(const Chunked& part) {
        for (std::size_t done = 0; done < part.text.size(); done += ChunkSize) {
            std::memcpy(end_ + done, part.text.data() + done, ChunkSize);
        }
        end_ += part.text.size();
    }

    std::size_t used() const { return static_cast<std::size_t>(end_ - block_.get()); }
    std::size_t room() const { return static_cast<std::size_t>(limit_ - end_); }
    [[gnu::always_inline]] void fit(std::size_t size) {
        if (room() < size) [[unlikely]] {
            grow(size);
        }
    }
    void makeRoom(std::size_t size);
    // A block with room for `size` more bytes after what it holds.
    [[gnu::cold, gnu::noinline]] void grow(std::size_t size);

    std::ostream& output_;
    std::size_t capacity_;
    std::unique_ptr<char[]> block_;
    char* end_;    // of what is collected
    char* limit_;  // of the block
};

}  // namespace zelk::sim
