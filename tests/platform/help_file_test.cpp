#include "platform/help_file.h"

#include <gmock/gmock.h>

#include <sstream>

#include "platform/app_object.h"
#include "support/scoped_services.h"
#include "support/temp_folder.h"

namespace {

using testsupport::TempFolder;

constexpr const char* kHelpText =
    "Notes before the first topic belong to none.\r\n"
    "[7]\r\n"
    "Out of memory\r\n"
    "\r\n"
    "First line of the body.\r\n"
    "  Indented second line.\r\n"
    "\r\n"
    "  [ 12 ]\r\n"
    "[12a]\n"
    "  [270]  \n"
    "Help\n"
    "Opens help.\n"
    "[270]\n"
    "A second topic 270, never shown\n"
    "[-1]\n"
    "Negative\n";

std::optional<platform::HelpTopic> topic(int32_t context) {
    std::istringstream in(kHelpText);
    return platform::findHelpTopic(in, context);
}

TEST(HelpFile, ATopicIsItsTitleAndTheLinesUpToTheNextTopic) {
    const auto found = topic(7);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->context, 7);
    EXPECT_EQ(found->title, "Out of memory");
    // "[ 12 ]" and "[12a]" are no topic lines: they are text of topic 7.
    EXPECT_EQ(found->body, "First line of the body.\n  Indented second line.\n\n  [ 12 ]\n[12a]");
}

TEST(HelpFile, TopicLinesMayHaveBlanksAroundAndTheFirstTopicOfANumberWins) {
    const auto found = topic(270);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->title, "Help");
    EXPECT_EQ(found->body, "Opens help.");
    EXPECT_EQ(topic(-1)->title, "Negative");
}

TEST(HelpFile, NumbersWithoutATopicAndTheNotesFindNothing) {
    EXPECT_FALSE(topic(12));
    EXPECT_FALSE(topic(0));
    std::istringstream empty("");
    EXPECT_FALSE(platform::findHelpTopic(empty, 7));
}

TEST(HelpFile, ParagraphsAreRewrappedAndListLinesKept) {
    const struct {
        std::string body;
        std::string shown;
    } cases[] = {
        {"One paragraph\nover two lines.", "One paragraph over two lines."},
        {"First.\n\n\nSecond.", "First.\n\nSecond."},
        {"Choose:\n- this\n- that, which goes\non here\n  an example",
         "Choose:\n- this\n- that, which goes on here\n  an example"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::reflowHelpText(c.body), c.shown) << c.body;
}

TEST(HelpFile, LookUpSaysWhyThereIsNoTopic) {
    const TempFolder folder;
    const std::string file = folder.write("app.hlp", kHelpText);
    const struct {
        std::string file;
        int32_t context;
        platform::HelpLookup status;
    } cases[] = {
        {file, 7, platform::HelpLookup::Found},
        {file, 8, platform::HelpLookup::TopicMissing},
        {folder / "missing.hlp", 7, platform::HelpLookup::FileMissing},
        {folder.path(), 7, platform::HelpLookup::FileMissing},  // a folder is no help file
        {"", 7, platform::HelpLookup::NoFile},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::lookUpHelpTopic(c.file, c.context).status, c.status) << c.file;
}

TEST(HelpFile, ABareNameIsLookedForInTheApplicationFolder) {
    const TempFolder folder;
    folder.write("app.hlp", kHelpText);
    testsupport::ScopedServices services;
    services->app = platform::AppObject(folder.path(), "Morrowset");
    const auto found = platform::lookUpHelpTopic("app.hlp", 270);
    EXPECT_EQ(found.status, platform::HelpLookup::Found);
    EXPECT_EQ(found.path, folder / "app.hlp");
}

}  // namespace
