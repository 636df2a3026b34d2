#pragma once
// Trimming and ASCII case folding, for every part of the program. Only the 26 ASCII
// letters change case: every other byte (digits, punctuation, UTF-8 sequences) stays as
// it is, whatever the locale. Nothing here allocates except the functions that return a
// std::string, so the string_view ones may run inside a signal handler.
#include <string>
#include <string_view>

namespace platform {

// Sets of characters to trim.
inline constexpr std::string_view kSpaces = " ";
inline constexpr std::string_view kBlanks = " \t";
inline constexpr std::string_view kWhitespace = " \t\n\v\f\r";

// `text` without the characters of `drop` at its start, its end, or both. The result is a
// part of `text` (an empty one included), so it may be copied over text before it.
std::string_view trimmedLeading(std::string_view text, std::string_view drop) noexcept;
std::string_view trimmedTrailing(std::string_view text, std::string_view drop) noexcept;
std::string_view trimmed(std::string_view text, std::string_view drop) noexcept;

constexpr char lowerAscii(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char upperAscii(char c) noexcept {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string lowerAscii(std::string_view text);
std::string upperAscii(std::string_view text);

// True when `a` and `b` are the same but for the case of ASCII letters.
bool equalIgnoringCase(std::string_view a, std::string_view b) noexcept;

}  // namespace platform
