#pragma once

// Words looked up in any letter case, each naming one value: the script commands and their
// aliases, the expect fields and their alias.

#include <array>
#include <cstddef>
#include <string_view>

#include "AsciiCase.hpp"

namespace zelk::sim {

// An open-addressed hash table on a word's length and its first and last letters, so that a
// lookup compares one word, seldom two, and an unknown word mostly none. A word matching the
// spelling it was added with is settled by one exact comparison; any other is compared with
// equalsIgnoringCase.
template <typename T, std::size_t Slots>
class WordIndex {
public:
    // Adds a word that is neither empty nor there already. Returns false, adding nothing, when
    // the table already holds Slots / 2 words: a free slot must always be near, and a lookup
    // must always meet one.
    constexpr bool add(std::string_view word, const T* value) {
        if (word.empty() || size_ >= Slots / 2) {
            return false;
        }
        std::size_t slot = slotOf(word);
        while (!slots_[slot].word.empty()) {
            slot = (slot + 1) % Slots;
        }
        slots_[slot] = {word, value};
        ++size_;
        return true;
    }

    // What `word` names, or null.
    constexpr const T* find(std::string_view word) const {
        if (word.empty()) {
            return nullptr;
        }
        for (std::size_t slot = slotOf(word);; slot = (slot + 1) % Slots) {
            const Slot& candidate = slots_[slot];
            if (candidate.word.empty()) {
                return nullptr;
            }
            if (word == candidate.word || equalsIgnoringCase(word, candidate.word)) {
                return candidate.value;
            }
        }
    }

    constexpr std::size_t size() const { return size_; }

private:
    struct Slot {
        std::string_view word;  // empty: a free slot
        const T* value = nullptr;
    };

    static constexpr std::size_t slotOf(std::string_view word) {
        const auto letter = [](char ch) {
            return static_cast<std::size_t>(static_cast<unsigned char>(lowerAscii(ch)));
        };
        return (word.size() * 131 + letter(word.front()) * 31 + letter(word.back())) % Slots;
    }

    std::array<Slot, Slots> slots_{};
    std::size_t size_ = 0;
};

}  // namespace zelk::sim
