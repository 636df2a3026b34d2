#include "platform/text.h"

#include <algorithm>

namespace platform {

std::string_view trimmedLeading(std::string_view text, std::string_view drop) noexcept {
    return text.substr(std::min(text.find_first_not_of(drop), text.size()));
}

std::string_view trimmedTrailing(std::string_view text, std::string_view drop) noexcept {
    const std::size_t last = text.find_last_not_of(drop);
    return text.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

std::string_view trimmed(std::string_view text, std::string_view drop) noexcept {
    return trimmedTrailing(trimmedLeading(text, drop), drop);
}

std::string lowerAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = lowerAscii(c);
    return result;
}

std::string upperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = upperAscii(c);
    return result;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) noexcept {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

}  // namespace platform
