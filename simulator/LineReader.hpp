#pragma once

// Reads the lines of a script from a stream buffer in large blocks, without the per-line
// work of std::getline. A line is handed out without its line feed; the last line needs
// none. The storage of every line has at least ChunkSize readable bytes after its end.
//
// A line has a bound, MaxLineSize: a longer one (an endless stream without a line feed, such
// as /dev/zero) ends the reading at once, so that neither memory nor time is unbounded.
//
// The line feeds of a block are found 64 bytes at a time, as a bit mask (newlineBits64): a
// line then costs a few bit operations, and a short line no search of its own. One reader
// per stream, used by one thread.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

#include "ByteMasks.hpp"

namespace zelk::sim {

class LineReader {
public:
    // The longest line read: 16 MiB.
    static constexpr std::size_t MaxLineSize = std::size_t{16} * 1024 * 1024;
    // Why reading ended.
    enum class End {
        None,         // it has not
        Input,        // the end of the input
        ReadError,    // the stream buffer failed (it threw) part way
        LineTooLong,  // a line runs past MaxLineSize; it is not handed out
    };

    // Reads from `source`; a null source is an empty input. `afterBlock`, if set, is called
    // after each block is read, before a line of it is handed out.
    explicit LineReader(std::streambuf* source, std::function<void()> afterBlock = {});

    // The next line, or false once reading has ended (see end()). A line stays valid until the
    // next call.
    bool next(std::string_view& line) {
        for (;;) {
            while (feeds_ == 0) {
                window_ += Window;
                if (window_ >= size_) {
                    break;
                }
                feeds_ = newlineBits64(block_.get() + window_);
            }
            if (feeds_ != 0) {
                const std::size_t feed =
                    window_ + static_cast<std::size_t>(std::countr_zero(feeds_));
                feeds_ &= feeds_ - 1;
                const char* const begin = block_.get() + pos_;
                const std::size_t size = feed - pos_;
                pos_ = feed + 1;
                if (carry_.empty()) {
                    line = std::string_view(begin, size);
                    return true;
                }
                return joined(begin, size, line);
            }
            if (!carryOn()) {
                return finish(line);
            }
        }
    }

    End end() const { return end_; }

    // The size of the blocks read.
    static constexpr std::size_t BlockSize = std::size_t{64} * 1024;

private:
    // The bytes whose line feeds one mask holds. The block has as many zero bytes after its
    // data, so that the last window reads no line feed past the data (and at least ChunkSize).
    static constexpr std::size_t Window = 64;
    static_assert(Window >= ChunkSize && BlockSize % Window == 0);

    // A line whose start runs past the last block: its end, of `size` bytes at `begin`, added.
    bool joined(const char* begin, std::size_t size, std::string_view& line);
    // No line feed in the rest of the block: keeps it and reads the next. False when there is
    // none, or the line has grown too long.
    bool carryOn();
    // Reading has ended: the unfinished last line, if any and if reading ended at the input's
    // end, is handed out.
    bool finish(std::string_view& line);
    // The line put together in carry_, moved to held_ and followed by ChunkSize zero bytes.
    std::string_view hold();
    bool refill();

    std::streambuf* source_;
    std::unique_ptr<char[]> block_;
    std::size_t pos_ = 0;      // where the next line begins
    std::size_t size_ = 0;     // of the data in the block
    std::size_t window_ = 0;   // where the window of feeds_ begins
    std::uint64_t feeds_ = 0;  // the line feeds of the window not handed out yet
    std::string carry_;        // the start of a line that runs past the block
    std::string held_;         // a line put together from several blocks
    std::function<void()> afterBlock_;
    End end_ = End::None;
};

}  // namespace zelk::sim
