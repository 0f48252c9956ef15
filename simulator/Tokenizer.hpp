#pragma once

// Cutting a script line into tokens: the comment that runs from the first '#' to the end of
// the line, the white-space separated tokens of what is left, and the quick test that
// settles most lines without tokens (blank lines and comments) at a glance.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ByteMasks.hpp"

namespace zelk::sim {

// `line` cut at its first '#', as a view into `line`; white space before the '#' stays.
constexpr std::string_view stripCommentView(std::string_view line) {
    return line.substr(0, line.find('#'));
}

// Whether `line`, whose storage goes on for ChunkSize bytes after it, has no tokens for
// certain: it is all white space, or its first other byte begins a comment. False may also
// mean that it is empty, or that its first 33 bytes are white space and it goes on.
inline bool blankOrCommentLine(std::string_view line) {
    static_assert(ChunkSize >= 32);
    // Most lines begin with their first token: that byte settles it.
    // (One table lookup, not two tests: comment lines and blank ones come in any order.)
    static constexpr std::array<bool, 256> MayBeginNoToken = [] {
        std::array<bool, 256> table = BlankBytes;
        table['#'] = true;
        return table;
    }();
    if (!MayBeginNoToken[static_cast<unsigned char>(*line.data())]) {
        return false;
    }
    // The first byte that is not white space, or byte 32 (in the line or its padding) if the
    // first 32 are. Either way, a '#' there begins a comment after nothing but white space.
    auto first = static_cast<std::size_t>(std::countr_zero(nonBlankBits16(line.data()) | 0x10000U));
    if (first == 16) {
        first +=
            static_cast<std::size_t>(std::countr_zero(nonBlankBits16(line.data() + 16) | 0x10000U));
    }
    return (static_cast<unsigned>(first >= line.size()) |
            static_cast<unsigned>(line.data()[first] == '#')) != 0;
}

// The white-space separated tokens of `line`, never empty ones, as views into `line` (valid
// while `line` is), into `tokens` (cleared first, then push_back of each) so that a caller
// can reuse its storage. The one tokenizer: split below and the script runner use it.
//
// Each block of 16 bytes is read into a bit mask of its token bytes, and the tokens begin
// and end where that mask changes, found with bit operations, not byte by byte. A Padded
// line is read so to its end, its last block cut off at the end of the line; of any other,
// the bytes after the last whole block are read one by one.
template <typename Tokens>
void splitInto(std::string_view line, Tokens& tokens, Storage storage = Storage::Exact) {
    constexpr std::size_t Block = 16;
    tokens.clear();
    const char* const data = line.data();
    const std::size_t size = line.size();
    const char* start = nullptr;  // of the token being read, if one is open
    std::size_t at = 0;
    const std::size_t blocks = storage == Storage::Padded ? size : size - size % Block;
    for (; at < blocks; at += Block) {
        unsigned words = nonBlankBits16(data + at);
        if (size - at < Block) {
            words &= (1U << (size - at)) - 1;  // the line's end ends any token
        }
        const unsigned before = start != nullptr ? 1U : 0U;
        // Bit i: byte i starts a token or is the first byte after one. They alternate.
        unsigned edges = (words ^ ((words << 1) | before)) & 0xFFFFU;
        // The offset of the lowest edge left, taken off.
        const auto lowestEdge = [](unsigned& bits) {
            const auto offset = static_cast<std::size_t>(std::countr_zero(bits));
            bits &= bits - 1;
            return offset;
        };
        if (start != nullptr && edges != 0) {  // the token begun in an earlier block ends here
            const char* const end = data + at + lowestEdge(edges);
            tokens.push_back(std::string_view(start, static_cast<std::size_t>(end - start)));
            start = nullptr;
        }
        while (edges != 0) {
            const char* const first = data + at + lowestEdge(edges);
            if (edges == 0) {  // the token runs on into the next block
                start = first;
                break;
            }
            const char* const end = data + at + lowestEdge(edges);
            tokens.push_back(std::string_view(first, static_cast<std::size_t>(end - first)));
        }
    }
    const char* pos = data + std::min(at, size);
    const char* const end = data + size;
    for (;;) {
        if (start == nullptr) {
            while (pos != end && isBlank(*pos)) {
                ++pos;
            }
            if (pos == end) {
                return;
            }
            start = pos;
        }
        while (pos != end && !isBlank(*pos)) {
            ++pos;
        }
        tokens.push_back(std::string_view(start, static_cast<std::size_t>(pos - start)));
        start = nullptr;
    }
}

// The first few tokens of a line, and how many there are in all, without allocating: no
// script command reads more than its first four tokens, but every error counts them all.
class TokenList {
public:
    static constexpr std::size_t Capacity = 4;

    void clear() { count_ = 0; }
    void push_back(std::string_view token) {
        if (count_ < Capacity) {
            views_[count_] = token;
        }
        ++count_;
    }
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Token `index`, below size(); an empty view at or past Capacity. (The runner's indexes
    // are constants, so the check is settled when it is compiled.)
    std::string_view operator[](std::size_t index) const {
        return index < Capacity ? views_[index] : std::string_view();
    }

private:
    std::array<std::string_view, Capacity> views_{};
    std::size_t count_ = 0;
};

// The tokens of `line` as strings.
std::vector<std::string> split(const std::string& line);

// `line` without its comment, as a string.
inline std::string stripComment(const std::string& line) {
    return std::string(stripCommentView(line));
}

}  // namespace zelk::sim
