#pragma once
// Well-formed UTF-8, byte by byte: for text whose bytes may be anything (a log written by
// another program, a command line in another encoding), to tell a character from a stray
// byte. Header only, so the tools beside the program share it.
#include <cstddef>
#include <string_view>

namespace platform {

// The length of the well-formed UTF-8 sequence that starts at `at` (1 for ASCII), 0 when
// the byte there starts none: a continuation byte of its own, a lead byte without its
// continuation bytes, an overlong form, a surrogate or a code point past U+10FFFF.
constexpr std::size_t utf8SequenceLength(std::string_view text, std::size_t at) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead == 0xE0) length = 3, low = 0xA0;   // no overlong forms
    else if (lead == 0xED) length = 3, high = 0x9F;  // no surrogates
    else if (lead >= 0xE1 && lead <= 0xEF) length = 3;
    else if (lead == 0xF0) length = 4, low = 0x90;
    else if (lead == 0xF4) length = 4, high = 0x8F;  // nothing past U+10FFFF
    else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
    else return 0;
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = at + 2; i < at + length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

}  // namespace platform
