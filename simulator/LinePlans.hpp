#pragma once

// What the short lines of a script came to, kept to answer them when they come again: a
// script mostly repeats a handful of lines. A line gets a plan when it is read the second
// time, and only if its command allows it (Command::planning) and the plan fits its fixed
// room; any other line is parsed and run afresh every time.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>

#include "ByteMasks.hpp"
#include "Commands.hpp"
#include "Tokenizer.hpp"

namespace zelk::sim {

// The plan of one short line, whatever its number.
struct LinePlan {
    enum class Kind : std::uint8_t {
        Free,         // no plan
        Unplannable,  // parsed and run afresh each time: its command or its answer forbids it
        NoTokens,     // nothing to do
        Rejected,     // the ERROR line's text (a rejection depends on the line's text alone)
        Event,        // a plain event: its action and word
        Tokens,       // the line's tokens for its handler
        ByState,      // as Handler, and the answers in the last two states the line met
    };

    // The longest line planned: what sameLeadingBytes32 compares.
    static constexpr std::size_t LongestLine = 32;

    // Whether this is the plan of `line`, whose storage goes on for ChunkSize bytes.
    bool holds(std::string_view line) const {
        return kind != Kind::Free && line.size() == size &&
               sameLeadingBytes32(line.data(), text.data(), size);
    }

    // Takes `line` (at most LongestLine bytes) and its tokens, views into it. Returns false,
    // keeping nothing, for a longer line.
    bool record(std::string_view line, const TokenList& tokens);

    // The tokens as views into `line`, which holds() this plan.
    void tokensOf(std::string_view line, TokenList& tokens) const {
        tokens.clear();
        for (std::size_t i = 0; i < tokenCount; ++i) {
            tokens.push_back(i < TokenList::Capacity ? line.substr(tokenAt[i], tokenSize[i])
                                                     : std::string_view());
        }
    }

    // An answer of a ByState line in the state of `code`, with what its reply said.
    struct Answer {
        std::uint64_t code = 0;
        bool known = false;  // whether the members below are an answer
        bool failed = false;
        std::uint8_t assertedAt = 0;  // the asserted field's place in the line, if any
        std::uint8_t assertedSize = 0;
        PlannedText text;
    };
    // The answer kept for `code`, if any.
    const Answer* answerIn(std::uint64_t code) const {
        for (const Answer& answer : answers) {
            if (answer.known && answer.code == code) {
                return &answer;
            }
        }
        return nullptr;
    }
    // The slot for a new answer: the older of the two.
    Answer& nextAnswer() {
        Answer& slot = answers[olderAnswer];
        olderAnswer ^= 1U;
        return slot;
    }

    std::array<char, LongestLine> text{};  // the line, zeros after it
    std::size_t size = 0;
    Kind kind = Kind::Free;
    std::size_t tokenCount = 0;
    std::array<std::uint8_t, TokenList::Capacity> tokenAt{};
    std::array<std::uint8_t, TokenList::Capacity> tokenSize{};
    const Command* command = nullptr;  // Event, Handler, ByState
    EventAction event = nullptr;       // Event
    Handler handler = nullptr;         // Handler
    PlannedText rejection;             // Rejected: what follows the line number, line feed included
    std::array<Answer, 2> answers{};   // ByState: a script mostly goes back and forth
    std::size_t olderAnswer = 0;
};

// The plans of the short lines read lately. Direct-mapped on a hash of the line's text; a
// line that meets another in its slot takes it.
class LinePlans {
public:
    // A hash of `line` (at most LinePlan::LongestLine bytes, storage as holds() wants): of
    // its bytes, those past its end cleared, and its size. Never 0, which the slots keep for
    // no line.
    static std::uint64_t hash(std::string_view line) {
        static_assert(LinePlan::LongestLine == 32, "the hash reads two blocks of 16 bytes");
        std::uint64_t low = 0;
        std::uint64_t high = 0;
#if ZELK_SSE2
        // Two blocks, each cleared past the end by a window into 32 set bytes and 32 clear.
        const char* const keep = KeepBytes.data() + LinePlan::LongestLine - line.size();
        const auto load = [](const char* at) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        };
        const __m128i first = _mm_and_si128(load(line.data()), load(keep));
        const __m128i second = _mm_and_si128(load(line.data() + 16), load(keep + 16));
        const __m128i both = _mm_xor_si128(first, _mm_shuffle_epi32(second, 0x4E));
        low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(both));
        high = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(both, both)));
#else
        for (std::size_t i = 0; i < line.size(); ++i) {
            const auto byte = static_cast<std::uint64_t>(static_cast<unsigned char>(line[i]));
            (i % 16 < 8 ? low : high) ^= byte << (8 * (i % 8));
        }
#endif
        // One multiplication mixes every bit into the top ones, which choose the slot.
        return ((low ^ std::rotl(high, 29) ^ line.size()) * 0x9E3779B97F4A7C15U) | 1U;
    }

    // The slot of the lines of `hash`: the hash of the line planned there, the hash of the last
    // line seen there without a plan, and where its plan goes. The hashes are kept apart from
    // the plans, so that a line without one is told so from a small table.
    struct Slot {
        std::uint64_t& planned;
        std::uint64_t& sighted;
        std::size_t index;
    };
    Slot slotOf(std::uint64_t hash) {
        const auto index = static_cast<std::size_t>(hash >> (64 - SlotBits));
        return {planned_[index], sighted_[index], index};
    }
    // The plan made in `slot`.
    LinePlan& plan(const Slot& slot) {
        return *std::launder(reinterpret_cast<LinePlan*>(storage_.get() + Size * slot.index));
    }
    // A new plan in `slot`, in place of what was there.
    LinePlan& newPlan(const Slot& slot) {
        return *std::construct_at(reinterpret_cast<LinePlan*>(storage_.get() + Size * slot.index));
    }

    // Whether to look the next short line up. After Patience lookups in a row that found no
    // plan, only one short line in Stride is looked up, until one is found again: a script
    // that never repeats a line then costs next to nothing, and one that starts repeating
    // lines is soon answered from plans again.
    bool lookUpNext() {
        if (skip_ == 0) {
            return true;
        }
        --skip_;
        return false;
    }
    void found() { misses_ = 0; }
    void missed() {
        if (++misses_ >= Patience) {
            skip_ = Stride - 1;
        }
    }

private:
    // 32 set bytes, then 32 clear ones.
    static constexpr std::array<char, 64> KeepBytes = [] {
        std::array<char, 64> bytes{};
        for (std::size_t i = 0; i < 32; ++i) {
            bytes[i] = static_cast<char>(0xFF);
        }
        return bytes;
    }();
    static constexpr std::size_t Patience = 64;
    static constexpr std::size_t Stride = 16;
    std::size_t misses_ = 0;  // lookups in a row that found no plan
    std::size_t skip_ = 0;    // short lines still to go before the next lookup
    static constexpr unsigned SlotBits = 8;
    static constexpr std::size_t Slots = std::size_t{1} << SlotBits;
    // 0: no line yet. A slot's plan is read only once made, when planned_ holds a hash.
    std::array<std::uint64_t, Slots> planned_{};
    std::array<std::uint64_t, Slots> sighted_{};
    // Room for a plan in each slot, left untouched (and so not even mapped) until a plan is
    // made there: a short script touches a few of them. Plans need no destruction.
    static constexpr std::size_t Size = sizeof(LinePlan);
    static_assert(std::is_trivially_destructible_v<LinePlan>);
    static_assert(alignof(LinePlan) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
    std::unique_ptr<std::byte[]> storage_ =
        std::make_unique_for_overwrite<std::byte[]>(Size * Slots);
};

}  // namespace zelk::sim
