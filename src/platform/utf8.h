#pragma once
// Well-formed UTF-8, byte by byte: for text whose bytes may be anything (a log written by
// another program, a command line in another encoding), to tell a character from a stray
// byte. Header only, so the tools beside the program share it.
#include <cstddef>
#include <string_view>

namespace platform {

// The well-formed sequences by their lead byte: how long they are, and the range of their
// second byte (every later byte is 0x80 to 0xBF).
struct Utf8Lead {
    unsigned char first, last;  // the lead bytes
    std::size_t length;
    unsigned char low, high;  // the second byte
};
inline constexpr Utf8Lead kUtf8Leads[] = {
    {0xC2, 0xDF, 2, 0x80, 0xBF},
    {0xE0, 0xE0, 3, 0xA0, 0xBF},  // no overlong forms
    {0xE1, 0xEC, 3, 0x80, 0xBF},
    {0xED, 0xED, 3, 0x80, 0x9F},  // no surrogates
    {0xEE, 0xEF, 3, 0x80, 0xBF},
    {0xF0, 0xF0, 4, 0x90, 0xBF},  // no overlong forms
    {0xF1, 0xF3, 4, 0x80, 0xBF},
    {0xF4, 0xF4, 4, 0x80, 0x8F},  // nothing past U+10FFFF
};

// The length of the well-formed UTF-8 sequence that starts at `at` (1 for ASCII), 0 when
// the byte there starts none: a continuation byte of its own, a lead byte without its
// continuation bytes, an overlong form, a surrogate or a code point past U+10FFFF.
constexpr std::size_t utf8SequenceLength(std::string_view text, std::size_t at) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (byte(at) < 0x80) return 1;
    for (const Utf8Lead& lead : kUtf8Leads) {
        if (byte(at) < lead.first || byte(at) > lead.last) continue;
        if (at + lead.length > text.size() || byte(at + 1) < lead.low || byte(at + 1) > lead.high) return 0;
        for (std::size_t i = at + 2; i < at + lead.length; ++i)
            if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
        return lead.length;
    }
    return 0;
}

}  // namespace platform
