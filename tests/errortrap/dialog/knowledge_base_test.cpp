// The Check button: the knowledge-base index "allmskb.txt" in the Windows directory,
// searched for articles about the error shown.
#include <QLabel>
#include <QPushButton>
#include <optional>

#include "support/dialog_test_support.h"

namespace wardline::testing {
namespace {

constexpr const char* kNoMatch =
    "No matching article was found. Try searching the knowledge base for the error number.";
constexpr const char* kHeading =
    "The following knowledge base article(s) may contain information to assist you:\r\n";
constexpr const char* kNoIndex = "Cannot find allmskb.txt -- assistance not available.";

struct SearchCase {
    const char* name;
    std::optional<std::string> index;  // nullopt: no index file
    const char* errNo;                 // ErrNo's caption
    std::string expected;
};

const SearchCase kCases[] = {
    {"standard text in any letter case", "Q100 Type Mismatch when reading a date\r\n", " 13",
     std::string(kHeading) + "\r\n - Q100 Type Mismatch when reading a date"},
    {"error, a blank and the number", "Q101 Error 13 from a form\r\n", " 13",
     std::string(kHeading) + "\r\n - Q101 Error 13 from a form"},
    {"the number starts a longer number", "Q102 ERROR 130 in setup\r\n", " 13",
     std::string(kHeading) + "\r\n - Q102 ERROR 130 in setup"},
    {"the number alone or without the blank", "Q103 Error13 and 13 alone\r\n", " 13", kNoMatch},
    {"the article identifier is not searched", "Overflow Q104\r\n", " 6", kNoMatch},
    {"a line without a blank is searched whole", "OVERFLOW-IN-TIMER\r\n", " 6",
     std::string(kHeading) + "\r\n - OVERFLOW-IN-TIMER"},
    {"hits in file order", "Q1 file not found twice\r\nQ2 unrelated\r\nQ3 error 53 in a batch file\n", " 53",
     std::string(kHeading) + "\r\n - Q1 file not found twice\r\n - Q3 error 53 in a batch file"},
    {"an empty index", "", " 13", kNoMatch},
    {"no index", std::nullopt, " 13", kNoIndex},
};

// The Windows directory is a scratch folder.
class KnowledgeBaseTest : public DialogTest, public ::testing::WithParamInterface<SearchCase> {
protected:
    TempFolder scratch;
    ScopedEnv windir{"WINDIR", scratch.path()};
};

TEST_P(KnowledgeBaseTest, ChecksTheIndexForTheErrorShown) {
    const SearchCase& c = GetParam();
    if (c.index) scratch.write("allmskb.txt", *c.index);
    enterDevelopmentEnvironment();
    frmWARDLINE form(dialogInputFor(currentRuntime()));
    form.controls().ErrNo->setText(c.errNo);
    form.controls().cmdWWW->click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, c.expected);
    if (c.index) {
        EXPECT_EQ(ui.messages[0].style, kOkOnly | kInformation);
        EXPECT_EQ(ui.messages[0].title, "Wardline");
    } else {
        EXPECT_EQ(ui.messages[0].style, kOkOnly);
        EXPECT_EQ(ui.messages[0].title, "");  // the application's title
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, KnowledgeBaseTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SearchCase>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

using KnowledgeBaseFileTest = KnowledgeBaseTest;

TEST_F(KnowledgeBaseFileTest, TheIndexIsFoundWithoutRegardToTheCaseOfItsName) {
    scratch.write("AllMsKb.TXT", "Q5 Error 13 again\r\n");
    enterDevelopmentEnvironment();
    frmWARDLINE form(dialogInputFor(currentRuntime()));
    form.controls().ErrNo->setText(" 13");
    form.controls().cmdWWW->click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, std::string(kHeading) + "\r\n - Q5 Error 13 again");
}

TEST_F(KnowledgeBaseFileTest, OutsideTheDevelopmentEnvironmentTheButtonDoesNothing) {
    scratch.write("allmskb.txt", "Q5 Error 13 again\r\n");
    frmWARDLINE form(dialogInputFor(currentRuntime()));
    form.controls().ErrNo->setText(" 13");
    form.controls().cmdWWW->click();
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(KnowledgeBaseFileTest, WithoutWindirTheIndexIsLookedForInEtc) {
    ::unsetenv("WINDIR");
    EXPECT_EQ(frmWARDLINE::pfSys(), "/etc");
}

}  // namespace
}  // namespace wardline::testing
