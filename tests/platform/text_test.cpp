// Trimming and ASCII case folding: only the characters asked for go, only ASCII letters
// change case, and bytes of other scripts pass through untouched.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/text.h"

namespace {

using platform::kBlanks;
using platform::kSpaces;
using platform::kWhitespace;

TEST(Text, TrimsOnlyTheCharactersAsked) {
    const struct {
        std::string_view text;
        std::string_view drop;
        std::string_view both, leading, trailing;
    } cases[] = {
        {" \t a b \t ", kBlanks, "a b", "a b \t ", " \t a b"},
        {"\tx \t", kSpaces, "\tx \t", "\tx \t", "\tx \t"},
        {" \tx\t ", kSpaces, "\tx\t", "\tx\t ", " \tx\t"},
        {"\r\n\v\f x y\r\n", kWhitespace, "x y", "x y\r\n", "\r\n\v\f x y"},
        {"line\r\n", kBlanks, "line\r\n", "line\r\n", "line\r\n"},
        {"   ", kSpaces, "", "", ""},
        {"", kBlanks, "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::trimmed(c.text, c.drop), c.both) << '"' << c.text << '"';
        EXPECT_EQ(platform::trimmedLeading(c.text, c.drop), c.leading) << '"' << c.text << '"';
        EXPECT_EQ(platform::trimmedTrailing(c.text, c.drop), c.trailing) << '"' << c.text << '"';
    }
}

// The crash handler copies a trimmed part over the text it came from: even an empty
// result must point into that text.
TEST(Text, AnEmptyTrimStaysInsideTheText) {
    const std::string blanks = "    ";
    for (const std::string_view part :
         {platform::trimmed(blanks, kSpaces), platform::trimmedLeading(blanks, kSpaces),
          platform::trimmedTrailing(blanks, kSpaces)}) {
        EXPECT_TRUE(part.empty());
        EXPECT_GE(part.data(), blanks.data());
        EXPECT_LE(part.data(), blanks.data() + blanks.size());
    }
}

TEST(Text, FoldsTheCaseOfAsciiLettersOnly) {
    // UTF-8 text, Latin-1 bytes, then the signs that border 'A'..'Z' and 'a'..'z'.
    EXPECT_EQ(platform::lowerAscii("Größe Ärger"), "größe Ärger");
    EXPECT_EQ(platform::upperAscii("Größe Ärger"), "GRößE ÄRGER");
    EXPECT_EQ(platform::lowerAscii("\xC4\xD6\xDC"), "\xC4\xD6\xDC");
    EXPECT_EQ(platform::upperAscii("\xE4\xF6\xFC\xFF"), "\xE4\xF6\xFC\xFF");
    EXPECT_EQ(platform::lowerAscii("@AZ[`az{"), "@az[`az{");
    EXPECT_EQ(platform::upperAscii("@AZ[`az{"), "@AZ[`AZ{");
}

TEST(Text, ComparesIgnoringTheCaseOfAsciiLettersOnly) {
    const struct {
        std::string_view a, b;
        bool equal;
    } cases[] = {
        {"sDecimal", "SDECIMAL", true}, {"Intl", "intl", true},          {"", "", true},
        {"intl", "intl ", false},       {"intl", "int", false},          {"@", "`", false},
        {"\xC4", "\xE4", false},        {"\xC3\x84", "\xC3\xA4", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::equalIgnoringCase(c.a, c.b), c.equal) << '"' << c.a << "\" vs \"" << c.b << '"';
        EXPECT_EQ(platform::equalIgnoringCase(c.b, c.a), c.equal) << '"' << c.b << "\" vs \"" << c.a << '"';
    }
}

}  // namespace
