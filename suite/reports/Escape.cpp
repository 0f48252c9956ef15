#include "Escape.hpp"

#include <cstdint>

namespace zelk::suite {
namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at `text[pos]`, or 0 if there is none.
std::size_t sequenceLength(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(pos);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    std::uint8_t low = 0x80;   // the range of the second byte, which rules out overlong
    std::uint8_t high = 0xBF;  // forms, surrogates and values beyond U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (pos + length > text.size() || byte(pos + 1) < low || byte(pos + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Calls `ascii(ch)` for each ASCII byte and appends every valid multi-byte sequence as it
// stands; a bad byte becomes U+FFFD.
template <typename Ascii>
std::string transform(std::string_view text, Ascii ascii, bool xml = false) {
    std::string out;
    out.reserve(text.size() + 8);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t length = sequenceLength(text, pos);
        if (length == 0) {
            out += Replacement;
            pos += 1;
        } else if (length == 1) {
            ascii(out, text[pos]);
            pos += 1;
        } else {
            const std::string_view sequence = text.substr(pos, length);
            // U+FFFE and U+FFFF are not XML characters either.
            const bool xmlForbidden =
                xml && (sequence == "\xEF\xBF\xBE" || sequence == "\xEF\xBF\xBF");
            out += xmlForbidden ? Replacement : sequence;
            pos += length;
        }
    }
    return out;
}

void appendXml(std::string& out, char ch, bool attribute) {
    switch (ch) {
        case '&':
            out += "&amp;";
            return;
        case '<':
            out += "&lt;";
            return;
        case '>':
            out += "&gt;";
            return;
        case '"':
            out += "&quot;";
            return;
        case '\'':
            out += "&apos;";
            return;
        case '\t':
            out += attribute ? "&#9;" : "\t";
            return;
        case '\n':
            out += attribute ? "&#10;" : "\n";
            return;
        case '\r':
            out += "&#13;";  // a raw CR would be read back as a line feed
            return;
        default:
            break;
    }
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) {
        out += Replacement;  // XML 1.0 has no way to write these
        return;
    }
    out += ch;
}

}  // namespace

std::string toValidUtf8(std::string_view text) {
    return transform(text, [](std::string& out, char ch) { out += ch; });
}

std::string xmlText(std::string_view text) {
    return transform(
        text, [](std::string& out, char ch) { appendXml(out, ch, false); }, true);
}

std::string xmlAttribute(std::string_view text) {
    return transform(
        text, [](std::string& out, char ch) { appendXml(out, ch, true); }, true);
}

}  // namespace zelk::suite
